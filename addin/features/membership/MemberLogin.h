// The member login and logout of the preview popup, without windows: what its log-in and
// log-out buttons do with the hidden browser's login page, and how the hidden browser's
// document completions are judged. MembershipWin.h puts these steps behind the popup's
// LoginSubmitter; the tests drive them through a scripted LoginPopupPort.
//
// The pending action only ever says what the next completion of the hidden browser answers:
//   - it becomes pending::kLogin once "login_submit" has really been clicked (an unloaded
//     page, or one without the element, sends nothing and leaves it pending::kNone), and
//     pending::kLogout once the logout page's load has started;
//   - it goes back to pending::kNone before any message box or dialog is shown, so a
//     completion that arrives inside that box's modal loop (the login page's reload) is ignored.
#pragma once
#include <cstdint>
#include <string>

#include "addin/features/popup/PreviewPlan.h"
#include "addin/features/service/Identity.h"
#include "addin/resources/resource.h"

namespace kv {

// The popup's two login fields (dialog IDD_PREVIEW_POPUP).
namespace login_field {
constexpr int kId = IDC_POPUP_ID;
constexpr int kPassword = IDC_POPUP_PASSWORD;
}  // namespace login_field

// Element ids of the service's login page.
constexpr char kPageId[] = "id";
constexpr char kPagePassword[] = "pwd";
constexpr char kPageInstallId[] = "PID";
constexpr char kPageDistributionCode[] = "bms_code";
constexpr char kPageSubmit[] = "login_submit";
// The answer page's whole body text when the service accepted the login.
constexpr char kLoginAccepted[] = "ok";

// The message boxes of the login and logout, owned by the popup.
enum class LoginNotice { MissingId, MissingPassword, Refused, LoggedOut, LogoutUnreachable };

struct NoticeText {
    const char* text;     // UTF-8
    const char* caption;  // UTF-8
    bool error;           // error icon, else the information icon
};
NoticeText TextOf(LoginNotice notice);

// What the steps act on: the popup's fields and pending action, its hidden login browser, its
// message boxes and the login-complete dialog. Field texts and input values are narrow text in
// the thread's code page; the body text is UTF-8.
class LoginPopupPort {
public:
    virtual ~LoginPopupPort() = default;
    // Field 211 or 212, at most 249 bytes.
    virtual std::string FieldText(int id) = 0;
    virtual int pendingAction() const = 0;
    virtual void SetPendingAction(int action) = 0;

    // The hidden browser.
    virtual bool PageHasDocument() = 0;
    // False when the element is missing or not an input.
    virtual bool SetPageInput(const char* id, const std::string& value) = 0;
    // False when the element is missing.
    virtual bool ClickPage(const char* id) = 0;
    // False when there is no document or body, or its text cannot be read.
    virtual bool PageBodyText(std::string* text) = 0;
    virtual bool NavigateLoginPage() = 0;
    virtual bool NavigateLogoutPage() = 0;

    // Modal, owned by the popup.
    virtual void Notify(LoginNotice notice) = 0;
    virtual void FocusIdField() = 0;
    // The login-complete dialog, modal, owned by the thread's active window.
    virtual void ShowLoginComplete() = 0;
    // Ends the popup with 1 or 2.
    virtual void End(int result) = 0;
};

enum class SubmitOutcome {
    Busy,             // an answer is still awaited: nothing done
    MissingId,        // message shown, nothing sent
    MissingPassword,  // message shown, nothing sent
    NoPage,           // the login page has not loaded: nothing sent, no message
    NoSubmit,         // the page has no "login_submit": the inputs were filled, nothing sent
    Submitted,        // the form was sent; pending action 1
};

// Button 215.
SubmitOutcome SubmitLogin(LoginPopupPort& popup, const Identity& identity);

enum class LogoutOutcome { Busy, Started, Unreachable };

// Button 226. The logout page's load is started (pending action 2); a load that cannot even
// start says so at once and leaves the pending action 0.
LogoutOutcome StartLogout(LoginPopupPort& popup);

enum class CompletionOutcome {
    Ignored,           // pending action 0 (the login page's own load, a reload)
    LoggedIn,          // login-complete dialog shown, popup ended with 1
    Refused,           // wrong id or password (or no readable answer): message, focus, reload
    LoggedOut,         // the logout page loaded: message, popup ended with 1
    LogoutUnreachable  // the logout page did not load: message, the popup stays
};

// The hidden browser's top-level document has completed (also after a failed load).
CompletionOutcome OnLoginBrowserComplete(LoginPopupPort& popup);

}  // namespace kv
