#include "addin/base/ui/ButtonPlacement.h"

namespace kv {

ContentPlacement PlaceContent(const IntRect& item, int imageWidth, int imageHeight, bool hasCaption, int align,
                              bool pressed, int dpi) {
    ContentPlacement out;
    const int margin = ScalePx(3, dpi);
    out.caption = item;
    if (imageWidth <= 0 || imageHeight <= 0) return out;

    const int w = imageWidth, h = imageHeight;
    const int centreX = item.left + (item.width() - w) / 2;
    const int centreY = item.top + (item.height() - h) / 2;
    int x = centreX, y = centreY;
    switch (align) {
        case 1:  // above the caption
            if (hasCaption) {
                y = item.top + margin;
                out.caption.top += h;
            }
            break;
        case 2:  // right of the caption
            if (hasCaption) {
                x = item.right - w - margin;
                out.caption.right = x;
            }
            break;
        default:  // left of the caption
            if (hasCaption) {
                x = item.left + margin;
                out.caption.left += w + margin;
            }
            break;
    }
    if (pressed) {
        ++x;
        ++y;
    }
    out.image = IntRect{x, y, x + w, y + h};
    return out;
}

IntRect PlaceCaption(const IntRect& area, int textWidth, int textHeight, bool pressed, bool disabled, int dpi) {
    const int shift = pressed ? 1 : 0;
    const int left = area.left + ScalePx(6, dpi) - (disabled ? 0 : ScalePx(4, dpi)) + shift;
    const int top = area.top + (area.height() - textHeight) / 2 + shift;
    return IntRect{left, top, left + textWidth, top + textHeight};
}

}  // namespace kv
