// The membership part as the popup and the add-in object use it (Windows only):
//   - PopupMembership, the popup's LoginSubmitter: the steps of MemberLogin.h on the popup's
//     fields and its hidden login browser, with their message boxes and the login-complete
//     dialog;
//   - LibraryMembershipUi(), the ribbon's login popup and about box for the add-in object.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "addin/features/membership/MemberLogin.h"
#include "addin/features/popup/PreviewLayer.h"
#include "addin/features/service/ServiceConfig.h"

namespace kv {

// The modal dialogs the ribbon opens, owned by the host's active window.
class MembershipUi {
public:
    virtual ~MembershipUi() = default;
    // The plain member login: the preview popup with the given login level, no template.
    virtual void ShowLogin(HWND owner, int loginLevel) = 0;
    virtual void ShowAbout(HWND owner) = 0;
};

class PopupMembership final : public LoginSubmitter {
public:
    // config: where the logout page lives. resources: the module with dialog 137 (null: this
    // library); browser: the login-complete dialog's hidden browser kind.
    explicit PopupMembership(const ServiceConfig& config, HMODULE resources = nullptr,
                             WebViewOptions::Choice browser = WebViewOptions::Choice::Automatic);

    // Button 215.
    Outcome Submit(PopupLogin& popup) override;
    // A completion of the hidden browser while the pending action is 1.
    void AnswerLoaded(PopupLogin& popup) override;
    // Button 226, and a completion while the pending action is 2; both always handled here.
    bool StartLogout(PopupLogin& popup) override;
    bool LogoutLoaded(PopupLogin& popup) override;

    // The last outcomes, for whoever drives the popup in a test.
    SubmitOutcome lastSubmit() const { return lastSubmit_; }
    CompletionOutcome lastCompletion() const { return lastCompletion_; }

private:
    ServiceConfig config_;
    HMODULE resources_;
    WebViewOptions::Choice browser_;
    SubmitOutcome lastSubmit_ = SubmitOutcome::Busy;
    CompletionOutcome lastCompletion_ = CompletionOutcome::Ignored;
};

// The text of a notice as the message box shows it: text, caption, icon flags.
void ShowNotice(HWND owner, LoginNotice notice);

// The add-in object's login popup and about box. The about box's second line comes from
// newestVersion (narrow text; empty when no update check has run), asked at each opening.
MembershipUi& LibraryMembershipUi();
void SetNewestVersionSource(std::function<std::string()> newestVersion);

}  // namespace kv
