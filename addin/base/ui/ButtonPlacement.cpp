#include "addin/base/ui/ButtonPlacement.h"

namespace kv {

ContentPlacement PlaceContent(const IntRect& item, int imageWidth, int imageHeight, bool hasCaption, int align,
                              bool pressed) {
    ContentPlacement out;
    out.caption = item;
    if (imageWidth <= 0 || imageHeight <= 0) return out;

    const int w = imageWidth, h = imageHeight;
    const int centreX = item.left + (item.width() - w) / 2;
    const int centreY = item.top + (item.height() - h) / 2;
    int x = centreX, y = centreY;
    switch (align) {
        case 1:  // above the caption
            if (hasCaption) {
                y = item.top + 3;
                out.caption.top += h;
            }
            break;
        case 2:  // right of the caption
            if (hasCaption) {
                x = item.right - w - 3;
                out.caption.right = x;
            }
            break;
        default:  // left of the caption
            if (hasCaption) {
                x = item.left + 3;
                out.caption.left += w + 3;
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

IntRect PlaceCaption(const IntRect& area, int textWidth, int textHeight, bool pressed, bool disabled) {
    const int shift = pressed ? 1 : 0;
    const int left = area.left + 6 - (disabled ? 0 : 4) + shift;
    const int top = area.top + (area.height() - textHeight) / 2 + shift;
    return IntRect{left, top, left + textWidth, top + textHeight};
}

}  // namespace kv
