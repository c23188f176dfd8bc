#include "addin/composition/AddinServices.h"

#include "addin/features/membership/MembershipWin.h"
#include "addin/features/service/ServiceConfig.h"
#include "addin/features/service/Settings.h"
#include "platform/Network.h"
#include "platform/SettingsStore.h"

namespace kv {

void LibraryLogSender::Send(const std::string& target, const std::string& userAgentLine) {
    try {
        ServiceLogSender(SystemNetwork(), LoadServiceConfig(SystemSettings())).Send(target, userAgentLine);
    } catch (...) {}
}

// The membership part's; its about box shows this process's NewestVersion.
MembershipUi& DefaultMembershipUi() {
    static const bool wired = (SetNewestVersionSource(&NewestVersionText), true);
    (void)wired;
    return LibraryMembershipUi();
}

}  // namespace kv
