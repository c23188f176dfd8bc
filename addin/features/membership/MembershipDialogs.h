// The login-complete dialog (CLogoutDlg, dialog 137) and the about box (CAboutDlg, dialog 242).
// Both are modal, live on their caller's stack for one run and keep nothing afterwards.
// Windows only.
//
//     CLogoutDlg done;  done.Run(::GetActiveWindow());       // 1 OK; 2 Escape, close box
//     CAboutDlg about("0.9.9.7");  about.Run(owner);          // the newest version, or ""
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "addin/features/webview/WebView.h"
#include "platform/WinHandles.h"

namespace kv {

class CLogoutDlg : private WebViewEvents {
public:
    static constexpr int kDialog = 137;
    static constexpr int kBitmap = 265;
    static constexpr int kBrowser = 213;

    // resources: the module holding dialog 137 and bitmap 265 (null: this library). browser:
    // which kind of hidden browser to try; none at all is no fault.
    explicit CLogoutDlg(HMODULE resources = nullptr,
                        WebViewOptions::Choice browser = WebViewOptions::Choice::Automatic);
    ~CLogoutDlg() override;
    CLogoutDlg(const CLogoutDlg&) = delete;
    CLogoutDlg& operator=(const CLogoutDlg&) = delete;

    // 1 for OK, 2 for Escape, the close box or a dialog that could not be created.
    int Run(HWND owner);

    HWND dialog() const { return dialog_; }
    // The hidden browser, null where none could be created.
    WebView* browser() { return browser_.get(); }

private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    INT_PTR OnMessage(UINT message, WPARAM wp, LPARAM lp);
    void OnInit();
    // The browser is not used: nothing is loaded into it, so there is nothing to answer.
    void DocumentComplete(WebView&) override {}

    HMODULE resources_;
    WebViewOptions::Choice choice_;
    HWND dialog_ = nullptr;
    std::unique_ptr<WebView> browser_;
};

class CAboutDlg {
public:
    static constexpr int kDialog = 242;
    static constexpr int kBitmap = 270;
    static constexpr int kAddinVersionLabel = 226;
    static constexpr int kNewestVersionLabel = 224;

    // newestVersion: narrow text, the version the service last announced in this process
    // (empty when no check has run); shown as it is, at most 15 bytes.
    explicit CAboutDlg(const std::string& newestVersion, HMODULE resources = nullptr);
    CAboutDlg(const CAboutDlg&) = delete;
    CAboutDlg& operator=(const CAboutDlg&) = delete;

    // 1 for OK (also Enter); 2 for Escape or a dialog that could not be created.
    int Run(HWND owner);

    HWND dialog() const { return dialog_; }

private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    INT_PTR OnMessage(UINT message, WPARAM wp, LPARAM lp);
    void OnInit();

    std::string newestVersion_;
    HMODULE resources_;
    HWND dialog_ = nullptr;
    UniqueBrush white_;
};

// The module that holds this code (and so the dialogs when linked into the add-in library).
HMODULE MembershipModule();

}  // namespace kv
