#include "addin/features/membership/MembershipDialogs.h"
#include "addin/features/membership/MembershipWin.h"
#include "addin/features/service/Addresses.h"
#include "addin/features/service/Settings.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"
#include "platform/WinText.h"

namespace kv {
namespace {

std::wstring WideOf(UINT codePage, const std::string& text) {
    std::wstring wide;
    CodePageToWide(codePage, text, &wide);
    return wide;
}

// The login steps on a running popup: its fields and hidden browser, its message boxes.
class PopupPort final : public LoginPopupPort {
public:
    PopupPort(PopupLogin& popup, const ServiceConfig& config, HMODULE resources, WebViewOptions::Choice browser)
        : p_(popup), config_(config), resources_(resources), browser_(browser) {}

    std::string FieldText(int id) override { return p_.FieldText(id); }
    int pendingAction() const override { return p_.pendingAction(); }
    void SetPendingAction(int action) override { p_.SetPendingAction(action); }

    bool PageHasDocument() override { return p_.loginBrowser() && p_.loginBrowser()->HasDocument(); }
    bool SetPageInput(const char* id, const std::string& value) override {
        WebView* page = p_.loginBrowser();
        if (!page) return false;
        // The typed texts and the identity are in the thread's code page.
        return page->SetInputValue(WideOf(CP_UTF8, id), WideOf(CP_THREAD_ACP, value));
    }
    bool ClickPage(const char* id) override {
        WebView* page = p_.loginBrowser();
        return page && page->Click(WideOf(CP_UTF8, id));
    }
    bool PageBodyText(std::string* text) override {
        WebView* page = p_.loginBrowser();
        std::wstring body;
        if (!page || !page->BodyText(&body)) return false;
        return WideToUtf8(body, text);
    }
    bool NavigateLoginPage() override {
        if (!p_.loginBrowser()) return false;
        p_.ReloadLoginPage();
        return true;
    }
    bool NavigateLogoutPage() override {
        WebView* page = p_.loginBrowser();
        return page && page->Navigate(WideOf(CP_ACP, FullAddress(config_, LogoutPagePath())));
    }

    void Notify(LoginNotice notice) override { ShowNotice(p_.dialog(), notice); }
    void FocusIdField() override {
        // Through the dialog manager, so the default button follows the focus.
        if (HWND field = ::GetDlgItem(p_.dialog(), login_field::kId)) {
            ::SendMessageW(p_.dialog(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
        }
    }
    void ShowLoginComplete() override {
        CLogoutDlg done(resources_, browser_);
        done.Run(::GetActiveWindow());
    }
    void End(int result) override { p_.End(result); }

private:
    PopupLogin& p_;
    const ServiceConfig& config_;
    HMODULE resources_;
    WebViewOptions::Choice browser_;
};

// Set once by the library; read on the host's user-interface thread.
std::function<std::string()> g_newestVersion;

class AddinMembershipUi final : public MembershipUi {
public:
    void ShowLogin(HWND owner, int loginLevel) override {
        const ServiceConfig config = LoadServiceConfig(SystemSettings());
        const Identity identity = LoadSettings(SystemSettings(), std::string()).identity;
        PopupMembership login(config);
        const PopupContext context{config, identity, SystemShell(), login};
        RunLoginPopup(context, owner, loginLevel);
    }
    void ShowAbout(HWND owner) override {
        CAboutDlg about(g_newestVersion ? g_newestVersion() : std::string());
        about.Run(owner);
    }
};

}  // namespace

void ShowNotice(HWND owner, LoginNotice notice) {
    const NoticeText t = TextOf(notice);
    std::wstring text, caption;
    Utf8ToWide(t.text, &text);
    Utf8ToWide(t.caption, &caption);
    ::MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | (t.error ? MB_ICONERROR : MB_ICONINFORMATION));
}

PopupMembership::PopupMembership(const ServiceConfig& config, HMODULE resources, WebViewOptions::Choice browser)
    : config_(config), resources_(resources), browser_(browser) {}

LoginSubmitter::Outcome PopupMembership::Submit(PopupLogin& popup) {
    PopupPort port(popup, config_, resources_, browser_);
    lastSubmit_ = SubmitLogin(port, popup.identity());
    return lastSubmit_ == SubmitOutcome::Submitted ? Outcome::Submitted : Outcome::NotYet;
}

void PopupMembership::AnswerLoaded(PopupLogin& popup) {
    PopupPort port(popup, config_, resources_, browser_);
    lastCompletion_ = OnLoginBrowserComplete(port);
}

bool PopupMembership::StartLogout(PopupLogin& popup) {
    PopupPort port(popup, config_, resources_, browser_);
    kv::StartLogout(port);
    return true;
}

bool PopupMembership::LogoutLoaded(PopupLogin& popup) {
    PopupPort port(popup, config_, resources_, browser_);
    lastCompletion_ = OnLoginBrowserComplete(port);
    return true;
}

MembershipUi& LibraryMembershipUi() {
    static AddinMembershipUi ui;
    return ui;
}

void SetNewestVersionSource(std::function<std::string()> newestVersion) {
    g_newestVersion = std::move(newestVersion);
}

}  // namespace kv
