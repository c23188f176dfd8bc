// The login-complete dialog (CLogoutDlg, dialog IDD_LOGIN_COMPLETE) and the about box (CAboutDlg,
// dialog IDD_ABOUT).
// Both are modal, live on their caller's stack for one run and keep nothing afterwards.
// Windows only.
//
//     CLogoutDlg done;  done.Run(::GetActiveWindow());       // 1 OK; 2 Escape, close box
//     CAboutDlg about("0.9.9.7");  about.Run(owner);          // the newest version, or ""
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "addin/base/ui/DialogBase.h"
#include "addin/base/ui/WindowScale.h"
#include "addin/features/webview/WebView.h"
#include "addin/resources/resource.h"
#include "platform/WinHandles.h"

namespace kv {

// The login-complete dialog.
class CLogoutDlg : public DialogBase, private WebViewEvents {
public:
    static constexpr int kDialog = IDD_LOGIN_COMPLETE;
    static constexpr int kBitmap = IDB_LOGIN_COMPLETE;
    static constexpr int kBrowser = IDC_LOGIN_COMPLETE_BROWSER;

    // resources: the module holding the dialog and its bitmap (null: this library). browser:
    // which kind of hidden browser to try; none at all is no fault.
    explicit CLogoutDlg(HMODULE resources = nullptr,
                        WebViewOptions::Choice browser = WebViewOptions::Choice::Automatic);
    ~CLogoutDlg() override;

    // 1 for OK, 2 for Escape, the close box or a dialog that could not be created.
    int Run(HWND owner);

    // The hidden browser, null where none could be created.
    WebView* browser() { return browser_.get(); }

    // Where the high-contrast setting is read (tests stand in for the system's answer).
    void SetHighContrastQuery(bool (*query)()) { highContrast_ = query; }

private:
    INT_PTR OnMessage(UINT message, WPARAM wp, LPARAM lp) override;
    void OnInit();
    // The browser is not used: nothing is loaded into it, so there is nothing to answer.
    void DocumentComplete(WebView&) override {}

    HMODULE resources_;
    WebViewOptions::Choice choice_;
    std::unique_ptr<WebView> browser_;
    bool (*highContrast_)() = &HighContrastOn;
    UniqueBitmap picture_;
};

// The about box.
class CAboutDlg : public DialogBase {
public:
    static constexpr int kDialog = IDD_ABOUT;
    static constexpr int kBitmap = IDB_ABOUT;
    static constexpr int kAddinVersionLabel = IDC_ABOUT_ADDIN_VERSION;
    static constexpr int kNewestVersionLabel = IDC_ABOUT_NEWEST_VERSION;

    // newestVersion: narrow text, the version the service last announced in this process
    // (empty when no check has run); shown as it is, at most 15 bytes.
    explicit CAboutDlg(const std::string& newestVersion, HMODULE resources = nullptr);

    // 1 for OK (also Enter); 2 for Escape or a dialog that could not be created.
    int Run(HWND owner);

    // Where the high-contrast setting is read (tests stand in for the system's answer).
    void SetHighContrastQuery(bool (*query)()) { highContrast_ = query; }

private:
    INT_PTR OnMessage(UINT message, WPARAM wp, LPARAM lp) override;
    void OnInit();

    std::string newestVersion_;
    HMODULE resources_;
    UniqueBrush white_;
    bool (*highContrast_)() = &HighContrastOn;
    bool highContrastOn_ = false;
    UniqueBitmap picture_;
};

}  // namespace kv
