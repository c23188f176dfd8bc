#include "addin/base/ui/WindowScale.h"

namespace kv {

namespace {

// Looked up, not linked: older systems have no per-monitor DPI.
template <typename Fn>
Fn UserFunction(const char* name) {
    HMODULE user = ::GetModuleHandleW(L"user32.dll");
    return user ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user, name))) : nullptr;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

GetDpiForWindowFn DpiForWindowFunction() {
    static const auto fn = UserFunction<GetDpiForWindowFn>("GetDpiForWindow");
    return fn;
}

}  // namespace

int WindowDpi(HWND window) {
    if (window) {
        if (const GetDpiForWindowFn fn = DpiForWindowFunction()) {
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

int SystemMetricForDpi(int index, int dpi) {
    static const auto forDpi = UserFunction<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (forDpi && dpi > 0) return forDpi(index, static_cast<UINT>(dpi));
    return ::GetSystemMetrics(index);
}

bool HighContrastOn() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    if (!::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0)) return false;
    return (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

}  // namespace kv
