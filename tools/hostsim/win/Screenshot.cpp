// A 24-bit BMP of a window as it is on the screen.
#include <vector>

#include "tools/hostsim/win/Host.h"

namespace hostsim {

bool SaveWindowBitmap(HWND hwnd, const std::wstring& path) {
    RECT r;
    if (!GetWindowRect(hwnd, &r)) return false;
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0 || w > 8192 || h > 8192) return false;
    kv::WindowDc screen(nullptr);
    kv::UniqueMemoryDc mem(CreateCompatibleDC(screen.get()));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;  // bottom-up, as BMP files store rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    kv::UniqueGdiObject dib(CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !bits) return false;
    {
        kv::SelectedObject sel(mem.get(), dib.get());
        if (!BitBlt(mem.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY)) return false;
    }
    GdiFlush();
    DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) / 4) * 4;
    DWORD imageSize = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + imageSize;
    kv::UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file.get(), &fh, sizeof fh, &written, nullptr) &&
              WriteFile(file.get(), &bi.bmiHeader, sizeof bi.bmiHeader, &written, nullptr) &&
              WriteFile(file.get(), bits, imageSize, &written, nullptr) && written == imageSize;
    return ok;
}

}  // namespace hostsim
