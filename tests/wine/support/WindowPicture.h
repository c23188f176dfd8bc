// A window's pixels as it drew them (frame and children), read from its own device context and
// saved as a 24-bit BMP. Under Xvfb this Wine leaves the X copy of some dialogs and owned popups
// black, so a shot of the display would not show them.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "platform/WinHandles.h"

namespace kv::testing {

// Writes window's picture to path. A window only just shown may have no pixels yet: an
// all-black picture is taken again, up to attempts times, with wait() run in between (the
// window's thread paints meanwhile). False when the picture could not be taken or written.
inline bool SaveWindowPicture(HWND window, const std::wstring& path, const std::function<void()>& wait = {},
                              int attempts = 1) {
    RECT r{};
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    UniqueBitmap dib(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    if (!dib || !dc || !bits) return false;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u, size = stride * static_cast<DWORD>(h);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        {
            // The whole window's DC, frame included (a WindowDc is the client area's).
            struct WholeWindowDc {
                HWND w;
                HDC dc;
                ~WholeWindowDc() {
                    if (dc) ReleaseDC(w, dc);
                }
            } source{window, GetWindowDC(window)};
            if (!source.dc) return false;
            SelectedObject selected(dc.get(), dib.get());
            if (!BitBlt(dc.get(), 0, 0, w, h, source.dc, 0, 0, SRCCOPY)) return false;
            GdiFlush();
        }
        const unsigned char* p = static_cast<const unsigned char*>(bits);
        bool black = true;
        for (DWORD i = 0; black && i < size; ++i) black = p[i] == 0;
        if (!black || attempt + 1 == attempts) break;
        if (wait) wait();
    }
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    info.bmiHeader.biSizeImage = size;
    UniqueFile out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return out && WriteFile(out.get(), &file, sizeof file, &written, nullptr) &&
           WriteFile(out.get(), &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
           WriteFile(out.get(), bits, size, &written, nullptr);
}

}  // namespace kv::testing
