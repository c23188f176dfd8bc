#include "addin/features/popup/CertDlg.h"

#include <cstdlib>

#include "addin/base/ui/ResourceModule.h"

namespace kv {

void CentreWindowOver(HWND window, HWND owner) {
    RECT mine{}, over{};
    ::GetWindowRect(window, &mine);
    if (!owner || !::GetWindowRect(owner, &over)) ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    const int w = mine.right - mine.left, h = mine.bottom - mine.top;
    const int x = over.left + ((over.right - over.left) - w) / 2;
    const int y = over.top + ((over.bottom - over.top) - h) / 2;
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

CCertDlg::CCertDlg(HMODULE resources) : resources_(ResourceModule(resources)) {}

bool CCertDlg::Show(HWND owner) {
    Destroy();
    owner_ = owner;
    window_.reset(CreateModeless(resources_, kDialog, owner));
    if (!window_) return false;
    ::ShowWindow(window_.get(), SW_SHOWNOACTIVATE);
    // The fetch that follows keeps the thread busy: paint now.
    ::UpdateWindow(window_.get());
    return true;
}

void CCertDlg::Destroy() {
    window_.reset();
    brush_.reset();
}

void CCertDlg::OnInit() {
    CentreWindowOver(dialog_, owner_);
    UniqueBitmap bitmap(
        static_cast<HBITMAP>(::LoadImageW(resources_, MAKEINTRESOURCEW(kBitmap), IMAGE_BITMAP, 0, 0, 0)));
    int width = kFallbackWidth, height = kFallbackHeight;
    BITMAP info{};
    if (bitmap && ::GetObjectW(bitmap.get(), sizeof info, &info) == sizeof info && info.bmWidth > 0 &&
        info.bmHeight > 0) {
        width = info.bmWidth;
        height = std::abs(info.bmHeight);
    }
    // The picture is the dialog's background; the brush keeps its own copy of the pixels.
    if (bitmap) brush_.reset(::CreatePatternBrush(bitmap.get()));
    ::SetWindowPos(dialog_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CCertDlg::OnMessage(UINT message, WPARAM wp, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: OnInit(); return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (brush_) return reinterpret_cast<INT_PTR>(brush_.get());
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
                Destroy();
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

}  // namespace kv
