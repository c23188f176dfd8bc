// Where a skinned button draws its image and caption: pure arithmetic over rectangles, shared
// by the Windows button (ButtonST.cpp) and the native tests.
#pragma once
#include "addin/base/ui/Scale.h"

namespace kv {

// A rectangle in button client pixels, right and bottom exclusive (as a Win32 RECT).
struct IntRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const IntRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

// What one owner-draw request says about the button, plus its own hover mark.
struct ButtonDrawState {
    bool pressed = false;
    bool focused = false;
    bool disabled = false;
    bool mouseOver = false;
};

struct ContentPlacement {
    IntRect image;    // where the image goes (its own size), empty when there is none
    IntRect caption;  // the area left for the caption
};

// Places an image of `imageWidth` x `imageHeight` (0 x 0 for none) inside `item` for
// alignment 0 (image left of the caption), 1 (above) or 2 (right); a pressed image moves by
// (1, 1). Any other alignment is treated as 0 (callers never store one). The 3-pixel margins are
// 96-DPI values, scaled to dpi.
ContentPlacement PlaceContent(const IntRect& item, int imageWidth, int imageHeight, bool hasCaption, int align,
                              bool pressed, int dpi = kBaseDpi);

// The caption's rectangle for a text of `textWidth` x `textHeight` inside `area`: 6 pixels from
// the left and centred vertically, 4 pixels back to the left unless disabled; a pressed caption
// moves by (1, 1). The 6 and 4 pixels are 96-DPI values, scaled to dpi.
IntRect PlaceCaption(const IntRect& area, int textWidth, int textHeight, bool pressed, bool disabled,
                     int dpi = kBaseDpi);

}  // namespace kv
