#include "addin/office/AddinServices.h"

namespace kv {
namespace {

// The self-update check is not wired to the add-in object yet.
class NoUpdate final : public UpdateTrigger {
public:
    void Run(ISimTaskPane&) override {}
};

// The login popup and the about box are not built yet.
class NoMembershipUi final : public MembershipUi {
public:
    void ShowLogin(HWND, int) override {}
    void ShowAbout(HWND) override {}
};

}  // namespace

UpdateTrigger& DefaultUpdateTrigger() {
    static NoUpdate updates;
    return updates;
}

MembershipUi& DefaultMembershipUi() {
    static NoMembershipUi membership;
    return membership;
}

}  // namespace kv
