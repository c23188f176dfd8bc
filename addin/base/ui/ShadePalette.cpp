#include "addin/base/ui/ShadePalette.h"

namespace kv {
namespace {

uint8_t Channel(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Two linear runs A -> B over entries 0..127 and B -> C over 128..255, per channel with
// truncating division.
Palette ThreeColourRun(const Rgb& a, const Rgb& b, const Rgb& c) {
    Palette p{};
    auto mix = [](int x, int y, int t) { return Channel((x * (128 - t) + y * t) / 128); };
    for (int h = 0; h < 128; ++h) p[h] = Rgb{mix(a.red, b.red, h), mix(a.green, b.green, h), mix(a.blue, b.blue, h)};
    for (int k = 1; k <= 128; ++k)
        p[127 + k] = Rgb{mix(b.red, c.red, k), mix(b.green, c.green, k), mix(b.blue, c.blue, k)};
    return p;
}

}  // namespace

Palette HoverPalette() {
    Palette p{};
    for (int h = 0; h < 128; ++h) p[h] = Rgb{255, Channel((32128 - 33 * h) / 128), Channel((27520 - 111 * h) / 128)};
    for (int k = 0; k < 128; ++k)
        p[128 + k] = Rgb{255, Channel((27901 - 3 * k) / 128), Channel((13292 - 20 * k) / 128)};
    return p;
}

bool NormalPalette(int kind, Palette* out) {
    switch (kind) {
        case kShadeWhite: out->fill(Rgb{255, 255, 255}); return true;
        case kShadeBlue: *out = ThreeColourRun({214, 232, 255}, {214, 232, 255}, {171, 194, 222}); return true;
        case kShadeOrange: *out = ThreeColourRun({252, 233, 159}, {253, 196, 140}, {248, 144, 44}); return true;
        default: return false;
    }
}

uint8_t HoverPixel(int i, int j, int width, int height) {
    if (i <= 0 || j <= 0 || i >= height - 1 || j >= width - 1) return 255;
    const int n = height;
    const int v = i > n / 2 ? (n - i) * 255 / (2 * n) : (i + n / 6) * 255 / n;
    return Channel(v);
}

uint8_t NormalPixel(int kind, int i, int j, int width, int height) {
    switch (kind) {
        case kShadeBlue: return i == 0 ? 255 : 0;
        case kShadeOrange: return HoverPixel(i, j, width, height);
        default: return 0;
    }
}

bool BuildShade(int kind, int width, int height, CxDib* normal, CxDib* hover) {
    Palette normalColours;
    if (!NormalPalette(kind, &normalColours) || !normal->Create(width, height, 8) || !hover->Create(width, height, 8)) {
        normal->Clear();
        hover->Clear();
        return false;
    }
    const Palette hoverColours = HoverPalette();
    for (int e = 0; e < 256; ++e) {
        hover->SetPaletteIndex(e, hoverColours[e]);
        normal->SetPaletteIndex(e, normalColours[e]);
    }
    for (int i = 0; i < height; ++i) {
        uint8_t* h = hover->Row(i);
        uint8_t* n = normal->Row(i);
        for (int j = 0; j < width; ++j) {
            h[j] = HoverPixel(i, j, width, height);
            n[j] = NormalPixel(kind, i, j, width, height);
        }
    }
    return true;
}

}  // namespace kv
