#include "addin/base/ui/PlacePicture.h"

#include "addin/base/ui/WindowScale.h"

namespace kv {

namespace {
// Larger than any screen: a place this big is a fault, not a picture to allocate for.
constexpr LONG kMaxPlaceSide = 8192;
}  // namespace

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof info, &info)) return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight};
}

UniqueBitmap PictureForPlace(HMODULE module, int id, int dpi, SIZE size) {
    if (size.cx <= 0 || size.cy <= 0 || size.cx > kMaxPlaceSide || size.cy > kMaxPlaceSide) return UniqueBitmap();
    UniqueBitmap copy(static_cast<HBITMAP>(LoadPictureForDpi(module, id, IMAGE_BITMAP, dpi, LR_CREATEDIBSECTION)));
    const SIZE drawn = BitmapSize(copy.get());
    if (!copy || (drawn.cx == size.cx && drawn.cy == size.cy)) return copy;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    UniqueBitmap fitted(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDc from(::CreateCompatibleDC(nullptr));
    UniqueMemoryDc to(::CreateCompatibleDC(nullptr));
    if (!fitted || !from || !to) return copy;
    {
        SelectedObject source(from.get(), copy.get());
        SelectedObject target(to.get(), fitted.get());
        ::SetStretchBltMode(to.get(), HALFTONE);
        ::SetBrushOrgEx(to.get(), 0, 0, nullptr);
        ::StretchBlt(to.get(), 0, 0, size.cx, size.cy, from.get(), 0, 0, drawn.cx, drawn.cy, SRCCOPY);
        ::GdiFlush();
    }
    return fitted;
}

void SetStaticPicture(HWND control, UniqueBitmap picture, UniqueBitmap* held) {
    if (!control || !picture || !held) return;
    HBITMAP shown = picture.get();
    HANDLE before =
        reinterpret_cast<HANDLE>(::SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(shown)));
    // The template's own image belongs to whoever replaces it; ours is freed by *held.
    if (before && before != held->get()) UniqueBitmap(static_cast<HBITMAP>(before)).reset();
    *held = std::move(picture);
}

}  // namespace kv
