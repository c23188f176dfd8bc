#include "addin/features/membership/MembershipDialogs.h"

#include "addin/base/ui/ResourceModule.h"
#include "addin/features/service/Identity.h"
#include "platform/WinText.h"

namespace kv {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr size_t kVersionTextMax = 15;

// Both boxes end alike: OK and Cancel with their own ids, the close box as Cancel. True for
// those messages (any command counts as handled).
bool EndsTheBox(HWND dialog, UINT message, WPARAM wp) {
    if (message == WM_COMMAND) {
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) ::EndDialog(dialog, LOWORD(wp));
        return true;
    }
    if (message == WM_CLOSE) {
        ::EndDialog(dialog, IDCANCEL);
        return true;
    }
    return false;
}

}  // namespace

// ---- CLogoutDlg ---------------------------------------------------------------------------

CLogoutDlg::CLogoutDlg(HMODULE resources, WebViewOptions::Choice browser)
    : resources_(ResourceModule(resources)), choice_(browser) {}

CLogoutDlg::~CLogoutDlg() = default;

int CLogoutDlg::Run(HWND owner) {
    const INT_PTR result = RunModal(resources_, kDialog, owner);
    browser_.reset();
    return result == IDOK ? IDOK : IDCANCEL;
}

INT_PTR CLogoutDlg::OnMessage(UINT message, WPARAM wp, LPARAM) {
    if (EndsTheBox(dialog_, message, wp)) return TRUE;
    switch (message) {
        case WM_INITDIALOG:
            OnInit();
            // The default focus goes to the OK button.
            return TRUE;
        case WM_DESTROY: browser_.reset(); return FALSE;
        default: return FALSE;
    }
}

void CLogoutDlg::OnInit() {
    // The hidden browser takes the place and id of its placeholder; when none can be made the
    // placeholder simply stays (hidden), and the dialog works the same.
    WebViewOptions o;
    o.visible = false;
    o.events = this;
    o.choice = choice_;
    browser_ = CreateWebViewInPlaceOf(dialog_, kBrowser, o, /*keepPlaceholder=*/true);
}

// ---- CAboutDlg ----------------------------------------------------------------------------

CAboutDlg::CAboutDlg(const std::string& newestVersion, HMODULE resources)
    : newestVersion_(newestVersion.substr(0, kVersionTextMax)), resources_(ResourceModule(resources)) {}

int CAboutDlg::Run(HWND owner) {
    const INT_PTR result = RunModal(resources_, kDialog, owner);
    white_.reset();
    return result == IDOK ? IDOK : IDCANCEL;
}

INT_PTR CAboutDlg::OnMessage(UINT message, WPARAM wp, LPARAM lp) {
    if (EndsTheBox(dialog_, message, wp)) return TRUE;
    switch (message) {
        case WM_INITDIALOG: OnInit(); return TRUE;
        case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(white_.get());
        case WM_CTLCOLORSTATIC: {
            const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lp));
            if (id != kAddinVersionLabel && id != kNewestVersionLabel) return reinterpret_cast<INT_PTR>(white_.get());
            // The two version lines are written in white straight onto the picture.
            HDC dc = reinterpret_cast<HDC>(wp);
            ::SetTextColor(dc, kWhite);
            ::SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
        }
        default: return FALSE;
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
