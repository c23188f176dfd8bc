// A 24-bit BMP of a window as it is on the screen.
#include <vector>

#include "tools/hostsim/win/Host.h"

namespace hostsim {

bool SaveWindowBitmap(HWND hwnd, const std::wstring& path) {
  RECT r;
  if (!GetWindowRect(hwnd, &r)) return false;
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0 || w > 8192 || h > 8192) return false;
  WindowDC screen(nullptr);
  MemoryDC mem(screen.Get());
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;  // bottom-up, as BMP files store rows
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  GdiObject dib(CreateDIBSection(screen.Get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dib || !bits) return false;
  {
    SelectObjectScope sel(mem.Get(), dib.Get());
    if (!BitBlt(mem.Get(), 0, 0, w, h, screen.Get(), r.left, r.top, SRCCOPY)) return false;
  }
  GdiFlush();
  DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) / 4) * 4;
  DWORD imageSize = stride * static_cast<DWORD>(h);
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
  fh.bfSize = fh.bfOffBits + imageSize;
  KernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.Get() == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file.Get(), &fh, sizeof fh, &written, nullptr) &&
            WriteFile(file.Get(), &bi.bmiHeader, sizeof bi.bmiHeader, &written, nullptr) &&
            WriteFile(file.Get(), bits, imageSize, &written, nullptr) && written == imageSize;
  return ok;
}

}  // namespace hostsim
