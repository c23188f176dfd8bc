#include "addin/features/membership/MembershipDialogs.h"

#include "addin/features/service/Identity.h"
#include "platform/WinText.h"

namespace kv {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr size_t kVersionTextMax = 15;

// Runs a dialog method; nothing leaves a dialog procedure.
template <typename F>
INT_PTR Guarded(F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

HMODULE MembershipModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&MembershipModule), &module);
    return module;
}

// ---- CLogoutDlg ---------------------------------------------------------------------------

CLogoutDlg::CLogoutDlg(HMODULE resources, WebViewOptions::Choice browser)
    : resources_(resources ? resources : MembershipModule()), choice_(browser) {}

CLogoutDlg::~CLogoutDlg() = default;

int CLogoutDlg::Run(HWND owner) {
    const INT_PTR result = ::DialogBoxParamW(resources_, MAKEINTRESOURCEW(kDialog), owner, DialogProc,
                                             reinterpret_cast<LPARAM>(this));
    dialog_ = nullptr;
    browser_.reset();
    return result == IDOK ? IDOK : IDCANCEL;
}

INT_PTR CALLBACK CLogoutDlg::DialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<CLogoutDlg*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CLogoutDlg*>(lp);
        ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        if (!self) return TRUE;
        self->dialog_ = dialog;
    }
    if (!self) return FALSE;
    return Guarded([&] { return self->OnMessage(message, wp, lp); });
}

INT_PTR CLogoutDlg::OnMessage(UINT message, WPARAM wp, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnInit();
            // The default focus goes to the OK button.
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) ::EndDialog(dialog_, LOWORD(wp));
            return TRUE;
        case WM_CLOSE:
            ::EndDialog(dialog_, IDCANCEL);
            return TRUE;
        case WM_DESTROY:
            browser_.reset();
            return FALSE;
        default:
            return FALSE;
    }
}

void CLogoutDlg::OnInit() {
    // The hidden browser takes the place and id of its placeholder; when none can be made the
    // placeholder simply stays (hidden), and the dialog works the same.
    HWND placeholder = ::GetDlgItem(dialog_, kBrowser);
    WebViewOptions o;
    o.parent = dialog_;
    if (placeholder) {
        ::GetWindowRect(placeholder, &o.rect);
        ::MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&o.rect), 2);
    }
    o.visible = false;
    o.events = this;
    o.choice = choice_;
    browser_ = CreateWebView(o);
    if (browser_ && browser_->window()) {
        if (placeholder) ::DestroyWindow(placeholder);
        ::SetWindowLongPtrW(browser_->window(), GWLP_ID, kBrowser);
    }
}

// ---- CAboutDlg ----------------------------------------------------------------------------

CAboutDlg::CAboutDlg(const std::string& newestVersion, HMODULE resources)
    : newestVersion_(newestVersion.substr(0, kVersionTextMax)), resources_(resources ? resources : MembershipModule()) {}

int CAboutDlg::Run(HWND owner) {
    const INT_PTR result = ::DialogBoxParamW(resources_, MAKEINTRESOURCEW(kDialog), owner, DialogProc,
                                             reinterpret_cast<LPARAM>(this));
    dialog_ = nullptr;
    white_.reset();
    return result == IDOK ? IDOK : IDCANCEL;
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<CAboutDlg*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CAboutDlg*>(lp);
        ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        if (!self) return TRUE;
        self->dialog_ = dialog;
    }
    if (!self) return FALSE;
    return Guarded([&] { return self->OnMessage(message, wp, lp); });
}

INT_PTR CAboutDlg::OnMessage(UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_INITDIALOG:
            OnInit();
            return TRUE;
        case WM_CTLCOLORDLG:
            return reinterpret_cast<INT_PTR>(white_.get());
        case WM_CTLCOLORSTATIC: {
            const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lp));
            if (id != kAddinVersionLabel && id != kNewestVersionLabel) return reinterpret_cast<INT_PTR>(white_.get());
            // The two version lines are written in white straight onto the picture.
            HDC dc = reinterpret_cast<HDC>(wp);
            ::SetTextColor(dc, kWhite);
            ::SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
        }
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) ::EndDialog(dialog_, LOWORD(wp));
            return TRUE;
        case WM_CLOSE:
            ::EndDialog(dialog_, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

void CAboutDlg::OnInit() {
    std::wstring own, newest;
    AnsiToWide(kAddinVersion, &own);
    // A version text that is not valid in the code page shows as nothing rather than garbage.
    AnsiToWide(newestVersion_, &newest);
    ::SetDlgItemTextW(dialog_, kAddinVersionLabel, own.c_str());
    ::SetDlgItemTextW(dialog_, kNewestVersionLabel, newest.c_str());
    white_.reset(::CreateSolidBrush(kWhite));
}

}  // namespace kv
