#include "addin/office/AddinServices.h"

#include "addin/membership/MembershipWin.h"

namespace kv {

// The membership part's; its about box shows this process's NewestVersion.
MembershipUi& DefaultMembershipUi() {
    static const bool wired = (SetNewestVersionSource(&NewestVersionText), true);
    (void)wired;
    return LibraryMembershipUi();
}

}  // namespace kv
