#include "addin/office/AddinServices.h"

namespace kv {
namespace {

// The login popup and the about box are not built yet.
class NoMembershipUi final : public MembershipUi {
public:
    void ShowLogin(HWND, int) override {}
    void ShowAbout(HWND) override {}
};

}  // namespace

MembershipUi& DefaultMembershipUi() {
    static NoMembershipUi membership;
    return membership;
}

}  // namespace kv
