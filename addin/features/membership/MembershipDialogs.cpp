#include "addin/features/membership/MembershipDialogs.h"

#include "addin/base/ui/PlacePicture.h"
#include "addin/base/ui/ResourceModule.h"
#include "addin/features/service/Identity.h"
#include "platform/WinText.h"

namespace kv {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr size_t kVersionTextMax = 15;
// Places the picture again after the system has rescaled the dialog for a new DPI.
constexpr UINT kPlacePicture = WM_APP + 42;

// The dialog's picture (its SS_BITMAP static) made for its place at the dialog's DPI.
void PlacePicture(HWND dialog, HMODULE resources, int bitmap, UniqueBitmap* held) {
    for (HWND c = ::GetWindow(dialog, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if ((::GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP) continue;
        RECT place{};
        ::GetClientRect(c, &place);
        SetStaticPicture(c, PictureForPlace(resources, bitmap, WindowDpi(dialog), SIZE{place.right, place.bottom}),
                         held);
        return;
    }
}

// Both boxes follow a change of DPI: the suggested rectangle, then the picture for the
// rescaled place. True for WM_DPICHANGED.
bool FollowsDpi(HWND dialog, UINT message, LPARAM lp) {
    if (message != WM_DPICHANGED) return false;
    if (const auto* r = reinterpret_cast<const RECT*>(lp)) {
        ::SetWindowPos(dialog, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::PostMessageW(dialog, kPlacePicture, 0, 0);
    return true;
}

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

INT_PTR CLogoutDlg::OnMessage(UINT message, WPARAM wp, LPARAM lp) {
    if (EndsTheBox(dialog_, message, wp)) return TRUE;
    if (FollowsDpi(dialog_, message, lp)) return FALSE;
    switch (message) {
        case kPlacePicture: PlacePicture(dialog_, resources_, kBitmap, &picture_); return TRUE;
        case WM_CTLCOLORDLG:
            // High contrast: the system's window colour around the picture.
            return highContrast_ && highContrast_() ? reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_WINDOW))
                                                    : FALSE;
        case WM_INITDIALOG:
            OnInit();
            // The default focus goes to the OK button.
            return TRUE;
        case WM_DESTROY: browser_.reset(); return FALSE;
        default: return FALSE;
    }
}

void CLogoutDlg::OnInit() {
    PlacePicture(dialog_, resources_, kBitmap, &picture_);
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
    if (FollowsDpi(dialog_, message, lp)) return FALSE;
    switch (message) {
        case WM_INITDIALOG: OnInit(); return TRUE;
        case kPlacePicture: PlacePicture(dialog_, resources_, kBitmap, &picture_); return TRUE;
        case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(white_.get());
        case WM_CTLCOLORSTATIC: {
            const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lp));
            if (id != kAddinVersionLabel && id != kNewestVersionLabel) return reinterpret_cast<INT_PTR>(white_.get());
            if (highContrastOn_) {
                // The version lines on their own ground in the system's colours.
                HDC dc = reinterpret_cast<HDC>(wp);
                ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
                ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<INT_PTR>(white_.get());
            }
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
    highContrastOn_ = highContrast_ && highContrast_();
    white_.reset(::CreateSolidBrush(highContrastOn_ ? ::GetSysColor(COLOR_WINDOW) : kWhite));
    PlacePicture(dialog_, resources_, kBitmap, &picture_);
}

}  // namespace kv
