#include "addin/composition/AddinServices.h"

#include "addin/features/membership/MembershipWin.h"

namespace kv {

// The membership part's; its about box shows this process's NewestVersion.
MembershipUi& DefaultMembershipUi() {
    static const bool wired = (SetNewestVersionSource(&NewestVersionText), true);
    (void)wired;
    return LibraryMembershipUi();
}

}  // namespace kv
