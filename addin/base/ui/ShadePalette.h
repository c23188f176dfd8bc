// The shade pictures of CShadeButtonST: palettes and pixel values of the normal and the hover
// background, as pure functions (tested natively), and the builder that fills two CxDib.
#pragma once
#include <array>
#include <cstdint>

#include "addin/base/ui/xDib.h"

namespace kv {

// Shade kinds the system uses.
enum ShadeKind : int {
    kShadeWhite = 9,   // white; the warm bump on hover
    kShadeBlue = 10,   // flat light blue with a darker line at the bottom (headers, banner)
    kShadeOrange = 11  // yellow-to-orange band (the selected entry)
};

using Palette = std::array<Rgb, 256>;

// Hover palette: (255, 251, 215) through (255, 217, 103) to (255, 215, 84).
Palette HoverPalette();
// Normal palette of a kind; false for a kind other than 9, 10 or 11 (then *out is untouched).
bool NormalPalette(int kind, Palette* out);

// Pixel value of the hover picture at row i (0 = bottom) and column j of a width x height
// picture: 255 on the outer frame, the warm bump inside.
uint8_t HoverPixel(int i, int j, int width, int height);
// Pixel value of the normal picture (kind 10: 255 on the bottom row, else 0; kind 11: as the
// hover picture; kind 9: 0, its palette is all white).
uint8_t NormalPixel(int kind, int i, int j, int width, int height);

// Builds both 8-bit pictures of width x height for `kind`. False for an unknown kind or a bad
// size; the pictures are then emptied.
bool BuildShade(int kind, int width, int height, CxDib* normal, CxDib* hover);

}  // namespace kv
