#include "addin/features/popup/CertDlg.h"

#include <cstdlib>

namespace kv {
namespace {

HMODULE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

}  // namespace

void CentreWindowOver(HWND window, HWND owner) {
    RECT mine{}, over{};
    ::GetWindowRect(window, &mine);
    if (!owner || !::GetWindowRect(owner, &over)) ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    const int w = mine.right - mine.left, h = mine.bottom - mine.top;
    const int x = over.left + ((over.right - over.left) - w) / 2;
    const int y = over.top + ((over.bottom - over.top) - h) / 2;
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

CCertDlg::CCertDlg(HMODULE resources) : resources_(resources ? resources : ThisModule()) {}

bool CCertDlg::Show(HWND owner) {
    Destroy();
    owner_ = owner;
    window_.reset(::CreateDialogParamW(resources_, MAKEINTRESOURCEW(kDialog), owner, DialogProc,
                                       reinterpret_cast<LPARAM>(this)));
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

void CCertDlg::OnInit(HWND dialog) {
    CentreWindowOver(dialog, owner_);
    UniqueBitmap bitmap(static_cast<HBITMAP>(::LoadImageW(resources_, MAKEINTRESOURCEW(kBitmap), IMAGE_BITMAP, 0, 0, 0)));
    int width = kFallbackWidth, height = kFallbackHeight;
    BITMAP info{};
    if (bitmap && ::GetObjectW(bitmap.get(), sizeof info, &info) == sizeof info && info.bmWidth > 0 && info.bmHeight > 0) {
        width = info.bmWidth;
        height = std::abs(info.bmHeight);
    }
    // The picture is the dialog's background; the brush keeps its own copy of the pixels.
    if (bitmap) brush_.reset(::CreatePatternBrush(bitmap.get()));
    ::SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CCertDlg::DialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<CCertDlg*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            self = reinterpret_cast<CCertDlg*>(lp);
            ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
            if (self) self->OnInit(dialog);
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (self && self->brush_) return reinterpret_cast<INT_PTR>(self->brush_.get());
            return FALSE;
        case WM_COMMAND:
            if (self && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
                self->Destroy();
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace kv
