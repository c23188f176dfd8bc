#include "addin/base/ui/WindowScale.h"

namespace kv {

namespace {
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

// Looked up, not linked: older systems have no per-monitor DPI.
GetDpiForWindowFn DpiForWindowFunction() {
    static const GetDpiForWindowFn fn = [] {
        HMODULE user = ::GetModuleHandleW(L"user32.dll");
        return user ? reinterpret_cast<GetDpiForWindowFn>(
                          reinterpret_cast<void*>(::GetProcAddress(user, "GetDpiForWindow")))
                    : nullptr;
    }();
    return fn;
}
}  // namespace

int WindowDpi(HWND window) {
    if (window) {
        if (GetDpiForWindowFn fn = DpiForWindowFunction()) {
            const UINT dpi = fn(window);
            if (dpi > 0) return static_cast<int>(dpi);
        }
    }
    HDC screen = ::GetDC(nullptr);
    if (!screen) return kBaseDpi;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

HANDLE LoadPictureForDpi(HMODULE module, int id, UINT type, int dpi, UINT flags) {
    const int scaled = PictureResourceId(id, dpi);
    if (scaled != id) {
        if (HANDLE h = ::LoadImageW(module, MAKEINTRESOURCEW(scaled), type, 0, 0, flags)) return h;
    }
    return ::LoadImageW(module, MAKEINTRESOURCEW(id), type, 0, 0, flags);
}

UniqueFont CreateUiFont(int height96, int weight, bool italic, const wchar_t* face, int dpi) {
    return UniqueFont(::CreateFontW(ScalePx(height96, dpi), 0, 0, 0, weight, italic ? TRUE : FALSE, FALSE, FALSE,
                                    HANGUL_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                    DEFAULT_PITCH | FF_DONTCARE, face));
}

bool HighContrastOn() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    if (!::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0)) return false;
    return (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

}  // namespace kv
