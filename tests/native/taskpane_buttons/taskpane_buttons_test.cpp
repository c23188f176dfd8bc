// Shade palettes and pixels, the palette bitmap block, and image and caption placement of the
// skinned buttons. Expected values are worked out by hand from the shading rules.
#include <gtest/gtest.h>

#include <cstring>

#include "addin/base/ui/ButtonPlacement.h"
#include "addin/base/ui/Scale.h"
#include "addin/base/ui/ShadePalette.h"
#include "addin/base/ui/xDib.h"

namespace kv {

// Found by the test framework's printer through the types' namespace.
static void PrintTo(const Rgb& c, std::ostream* o) {
    *o << "(" << int(c.red) << ", " << int(c.green) << ", " << int(c.blue) << ")";
}
static void PrintTo(const IntRect& r, std::ostream* o) {
    *o << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

TEST(ShadePalette, EntriesOfEveryPalette) {
    struct Case {
        int kind;  // 0 = the hover palette
        int index;
        Rgb expected;
    } cases[] = {
        {0, 0, {255, 251, 215}},  {0, 1, {255, 250, 214}},    {0, 127, {255, 218, 104}},  {0, 128, {255, 217, 103}},
        {0, 255, {255, 215, 84}}, {9, 0, {255, 255, 255}},    {9, 128, {255, 255, 255}},  {9, 255, {255, 255, 255}},
        {10, 0, {214, 232, 255}}, {10, 127, {214, 232, 255}}, {10, 128, {213, 231, 254}}, {10, 255, {171, 194, 222}},
        {11, 0, {252, 233, 159}}, {11, 127, {252, 196, 140}}, {11, 128, {252, 195, 139}}, {11, 255, {248, 144, 44}},
    };
    for (const Case& c : cases) {
        Palette p{};
        if (c.kind == 0)
            p = HoverPalette();
        else
            ASSERT_TRUE(NormalPalette(c.kind, &p)) << c.kind;
        EXPECT_EQ(p[c.index], c.expected) << "kind " << c.kind << " entry " << c.index;
    }
}

TEST(ShadePalette, UnknownKindIsRefusedAndLeavesThePalette) {
    for (int kind : {0, 8, 12, -10}) {
        Palette p{};
        p[3] = Rgb{1, 2, 3};
        EXPECT_FALSE(NormalPalette(kind, &p)) << kind;
        EXPECT_EQ(p[3], (Rgb{1, 2, 3}));
    }
}

TEST(ShadePalette, HoverPixels) {
    struct Case {
        int i, j, width, height, expected;
    } cases[] = {
        // Height 1 and 2: all frame.
        {0, 0, 5, 1, 255},
        {0, 2, 5, 1, 255},
        {0, 4, 5, 1, 255},
        {1, 2, 5, 2, 255},
        // The frame of a 10 x 30 picture.
        {0, 4, 10, 30, 255},
        {29, 4, 10, 30, 255},
        {12, 0, 10, 30, 255},
        {12, 9, 10, 30, 255},
        // Inside, n = 30: lower half (i + 5) * 255 / 30, upper half (30 - i) * 255 / 60.
        {1, 1, 10, 30, 51},
        {15, 4, 10, 30, 170},
        {16, 4, 10, 30, 59},
        {28, 8, 10, 30, 8},
        // n = 20 (a header): the step at the middle row.
        {10, 5, 300, 20, 165},
        {11, 5, 300, 20, 57},
        // n = 3: the one inside row.
        {1, 1, 3, 3, 85},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HoverPixel(c.i, c.j, c.width, c.height), c.expected)
            << "row " << c.i << " col " << c.j << " of " << c.width << " x " << c.height;
}

TEST(ShadePalette, NormalPixels) {
    struct Case {
        int kind, i, j, width, height, expected;
    } cases[] = {
        {10, 0, 0, 10, 30, 255}, {10, 0, 5, 10, 30, 255}, {10, 1, 0, 10, 30, 0},
        {10, 29, 5, 10, 30, 0},  {11, 0, 5, 10, 30, 255}, {11, 15, 4, 10, 30, 170},
        {11, 16, 4, 10, 30, 59}, {9, 0, 0, 10, 30, 0},    {9, 15, 4, 10, 30, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NormalPixel(c.kind, c.i, c.j, c.width, c.height), c.expected)
            << "kind " << c.kind << " row " << c.i << " col " << c.j;
}

TEST(ShadeBuild, PicturesAreBottomUpWithTheirPalettes) {
    CxDib normal, hover;
    ASSERT_TRUE(BuildShade(kShadeBlue, 5, 4, &normal, &hover));
    for (const CxDib* d : {&normal, &hover}) {
        EXPECT_EQ(d->width(), 5);
        EXPECT_EQ(d->height(), 4);
        EXPECT_EQ(d->bits(), 8);
        EXPECT_EQ(d->stride(), 8u);
        const uint8_t* h = d->Info();
        EXPECT_EQ(Le32(h + 8), 4u) << "positive height: rows stored bottom-up";
    }
    // Row 0 is the bottom line: the darker line of kind 10.
    for (int j = 0; j < 5; ++j) {
        EXPECT_EQ(normal.Row(0)[j], 255) << j;
        EXPECT_EQ(normal.Row(3)[j], 0) << j;
    }
    EXPECT_EQ(normal.PaletteIndex(0), (Rgb{214, 232, 255}));
    EXPECT_EQ(normal.PaletteIndex(255), (Rgb{171, 194, 222}));
    EXPECT_EQ(hover.PaletteIndex(255), (Rgb{255, 215, 84}));
    // Inside of a 4-row hover picture: n = 4, row 1 -> (1 + 0) * 255 / 4, row 2 -> (2 + 0) * 255 / 4.
    EXPECT_EQ(hover.Row(1)[2], 63);
    EXPECT_EQ(hover.Row(2)[2], 127);
    EXPECT_EQ(hover.Row(3)[2], 255);
}

TEST(ShadeBuild, KindNineIsWhiteWhateverTheSize) {
    const int sizes[][2] = {{1, 1}, {7, 3}, {40, 20}, {300, 30}};
    for (const auto& s : sizes) {
        CxDib normal, hover;
        ASSERT_TRUE(BuildShade(kShadeWhite, s[0], s[1], &normal, &hover));
        for (int i = 0; i < s[1]; ++i)
            for (int j = 0; j < s[0]; ++j)
                ASSERT_EQ(normal.PaletteIndex(normal.Row(i)[j]), (Rgb{255, 255, 255})) << s[0] << "x" << s[1];
    }
}

TEST(ShadeBuild, HeightOneHoverIsAllFrame) {
    CxDib normal, hover;
    ASSERT_TRUE(BuildShade(kShadeOrange, 6, 1, &normal, &hover));
    for (int j = 0; j < 6; ++j) {
        EXPECT_EQ(hover.Row(0)[j], 255);
        EXPECT_EQ(normal.Row(0)[j], 255);
    }
}

TEST(ShadeBuild, BadKindOrSizeLeavesBothEmpty) {
    const int cases[][3] = {{12, 10, 10}, {10, 0, 10}, {10, 10, 0}, {11, -3, 5}, {9, CxDib::kMaxSide + 1, 2}};
    for (const auto& c : cases) {
        CxDib normal, hover;
        ASSERT_TRUE(normal.Create(2, 2, 8));
        EXPECT_FALSE(BuildShade(c[0], c[1], c[2], &normal, &hover)) << c[0] << " " << c[1] << "x" << c[2];
        EXPECT_TRUE(normal.empty());
        EXPECT_TRUE(hover.empty());
    }
}

TEST(Dib, BitsRoundUpAndStrideIsWholeWords) {
    struct Case {
        int width, bits, expectBits, expectPalette;
        size_t expectStride;
    } cases[] = {
        {1, 1, 1, 2, 4},   {33, 1, 1, 2, 8},  {5, 2, 4, 16, 4},   {9, 4, 4, 16, 8},  {3, 5, 8, 256, 4},
        {5, 8, 8, 256, 8}, {3, 9, 24, 0, 12}, {4, 24, 24, 0, 12}, {1, 24, 24, 0, 4},
    };
    for (const Case& c : cases) {
        CxDib d;
        ASSERT_TRUE(d.Create(c.width, 3, c.bits)) << c.width << " " << c.bits;
        EXPECT_EQ(d.bits(), c.expectBits) << c.bits;
        EXPECT_EQ(d.paletteSize(), c.expectPalette) << c.bits;
        EXPECT_EQ(d.stride(), c.expectStride) << c.width << " x " << c.bits;
        EXPECT_EQ(d.pixelBytes(), c.expectStride * 3);
        // One block: header, palette, pixels; the header says the same.
        EXPECT_EQ(d.Pixels() - d.Info(), static_cast<std::ptrdiff_t>(40 + 4 * c.expectPalette));
        EXPECT_EQ(Le32(d.Info()), 40u);
        EXPECT_EQ(Le32(d.Info() + 4), static_cast<uint32_t>(c.width));
        EXPECT_EQ(d.Info()[14], c.expectBits);
        EXPECT_EQ(Le32(d.Info() + 20), c.expectStride * 3);
    }
}

TEST(Dib, RefusesBadSizesAndBits) {
    const int cases[][3] = {
        {0, 1, 8}, {1, 0, 8},  {-1, 5, 8}, {5, -1, 8}, {CxDib::kMaxSide + 1, 1, 8}, {1, CxDib::kMaxSide + 1, 8},
        {4, 4, 0}, {4, 4, 25}, {4, 4, 32}};
    for (const auto& c : cases) {
        CxDib d;
        EXPECT_FALSE(d.Create(c[0], c[1], c[2])) << c[0] << "x" << c[1] << " " << c[2];
        EXPECT_TRUE(d.empty());
        EXPECT_EQ(d.Pixels(), nullptr);
        EXPECT_EQ(d.Row(0), nullptr);
    }
}

TEST(Dib, PaletteRowsFillAndCopy) {
    CxDib d;
    ASSERT_TRUE(d.Create(3, 2, 8));
    d.SetPaletteIndex(0, 1, 2, 3);
    d.SetPaletteIndex(255, Rgb{9, 8, 7});
    d.SetPaletteIndex(256, 100, 100, 100);  // beyond the palette: ignored
    d.SetPaletteIndex(-1, 100, 100, 100);
    EXPECT_EQ(d.PaletteIndex(0), (Rgb{1, 2, 3}));
    EXPECT_EQ(d.PaletteIndex(255), (Rgb{9, 8, 7}));
    EXPECT_EQ(d.PaletteIndex(256), Rgb{});
    // Stored as the platform's blue, green, red, reserved.
    EXPECT_EQ(d.Info()[40], 3);
    EXPECT_EQ(d.Info()[42], 1);

    EXPECT_EQ(d.Row(2), nullptr);
    EXPECT_EQ(d.Row(-1), nullptr);
    EXPECT_EQ(d.Row(1) - d.Row(0), 4);
    d.Fill(0x5A);
    for (size_t k = 0; k < d.pixelBytes(); ++k) ASSERT_EQ(d.Pixels()[k], 0x5A);

    CxDib copy;
    copy.CopyFrom(d);
    EXPECT_EQ(copy.width(), 3);
    EXPECT_EQ(copy.bits(), 8);
    EXPECT_EQ(0, std::memcmp(copy.Info(), d.Info(), 40 + 1024 + d.pixelBytes()));
    CxDib empty;
    copy.CopyFrom(empty);
    EXPECT_TRUE(copy.empty());

    CxDib trueColour;
    ASSERT_TRUE(trueColour.Create(2, 2, 24));
    trueColour.SetPaletteIndex(0, 1, 2, 3);  // no palette at 24 bits
    EXPECT_EQ(trueColour.PaletteIndex(0), Rgb{});
    EXPECT_EQ(trueColour.Pixels() - trueColour.Info(), 40);
}

TEST(Placement, ImageAndCaptionAreaPerAlignment) {
    const IntRect item{0, 0, 100, 30};
    struct Case {
        const char* name;
        IntRect item;
        int w, h;
        bool caption;
        int align;
        bool pressed;
        IntRect image, captionArea;
    } cases[] = {
        {"left, caption", item, 20, 20, true, 0, false, {3, 5, 23, 25}, {23, 0, 100, 30}},
        {"left, alone", item, 20, 20, false, 0, false, {40, 5, 60, 25}, item},
        {"top, caption", item, 20, 20, true, 1, false, {40, 3, 60, 23}, {0, 20, 100, 30}},
        {"top, alone", item, 20, 20, false, 1, false, {40, 5, 60, 25}, item},
        {"right, caption", item, 20, 20, true, 2, false, {77, 5, 97, 25}, {0, 0, 77, 30}},
        {"right, alone", item, 20, 20, false, 2, false, {40, 5, 60, 25}, item},
        {"unknown alignment as left", item, 20, 20, true, 5, false, {3, 5, 23, 25}, {23, 0, 100, 30}},
        {"pressed moves the image only", item, 20, 20, true, 0, true, {4, 6, 24, 26}, {23, 0, 100, 30}},
        {"no image", item, 0, 0, true, 2, true, {0, 0, 0, 0}, item},
        {"header icon", {0, 0, 300, 20}, 32, 16, true, 2, false, {265, 2, 297, 18}, {0, 0, 265, 20}},
        {"shrunk item", {1, 1, 99, 29}, 20, 20, true, 0, false, {4, 5, 24, 25}, {24, 1, 99, 29}},
    };
    for (const Case& c : cases) {
        const ContentPlacement p = PlaceContent(c.item, c.w, c.h, c.caption, c.align, c.pressed);
        EXPECT_EQ(p.image, c.image) << c.name;
        EXPECT_EQ(p.caption, c.captionArea) << c.name;
    }
}

TEST(Placement, Caption) {
    struct Case {
        const char* name;
        IntRect area;
        int w, h;
        bool pressed, disabled;
        IntRect expected;
    } cases[] = {
        {"enabled: 6 in, 4 back", {23, 0, 100, 30}, 40, 12, false, false, {25, 9, 65, 21}},
        {"disabled stays 6 in", {23, 0, 100, 30}, 40, 12, false, true, {29, 9, 69, 21}},
        {"pressed", {23, 0, 100, 30}, 40, 12, true, false, {26, 10, 66, 22}},
        {"odd height truncates", {0, 0, 50, 29}, 10, 12, false, false, {2, 8, 12, 20}},
        {"multi-line taller than the area", {0, 0, 50, 20}, 10, 36, false, false, {2, -8, 12, 28}},
    };
    for (const Case& c : cases) EXPECT_EQ(PlaceCaption(c.area, c.w, c.h, c.pressed, c.disabled), c.expected) << c.name;
}

// The margins grow with the scale (3 -> 5 at 150%, 6 at 200%; the caption's 6 and 4 -> 9 and 6);
// the pressed nudge stays one pixel.
TEST(Placement, MarginsAtScale) {
    struct Case {
        const char* name;
        int dpi;
        IntRect item;
        int w, h, align;
        bool pressed;
        IntRect image, captionArea;
    } cases[] = {
        {"150% header icon at the right", 144, {0, 0, 450, 45}, 48, 24, 2, false, {397, 10, 445, 34}, {0, 0, 397, 45}},
        {"200% image at the left", 192, {0, 0, 200, 60}, 40, 40, 0, false, {6, 10, 46, 50}, {46, 0, 200, 60}},
        {"200% pressed", 192, {0, 0, 200, 60}, 40, 40, 0, true, {7, 11, 47, 51}, {46, 0, 200, 60}},
        {"150% above", 144, {0, 0, 90, 90}, 30, 30, 1, false, {30, 5, 60, 35}, {0, 30, 90, 90}},
    };
    for (const Case& c : cases) {
        const ContentPlacement p = PlaceContent(c.item, c.w, c.h, true, c.align, c.pressed, c.dpi);
        EXPECT_EQ(p.image, c.image) << c.name;
        EXPECT_EQ(p.caption, c.captionArea) << c.name;
    }
    struct CaptionCase {
        int dpi;
        bool disabled;
        IntRect expected;
    } captions[] = {
        {144, false, {3, 13, 43, 31}},
        {144, true, {9, 13, 49, 31}},
        {192, false, {4, 13, 44, 31}},
        {192, true, {12, 13, 52, 31}},
    };
    for (const CaptionCase& c : captions)
        EXPECT_EQ(PlaceCaption(IntRect{0, 0, 100, 45}, 40, 18, false, c.disabled, c.dpi), c.expected)
            << c.dpi << (c.disabled ? " disabled" : "");
}

// 96-DPI sizes at 100/125/150/200%, the picture copy chosen for a DPI and its resource id.
TEST(Scale, LengthsAndPictures) {
    struct Case {
        int dpi, px, scaled, back, pictureScale, pictureId;
    } cases[] = {
        {96, 30, 30, 30, 100, 226},   {120, 30, 38, 30, 100, 226},     {121, 10, 13, 10, 150, 1226},
        {144, 30, 45, 30, 150, 1226}, {144, 16, 24, 16, 150, 1226},    {192, 16, 32, 16, 200, 2226},
        {169, 3, 5, 3, 200, 2226},    {0, 12, 12, 12, 100, 226},       {-5, 7, 7, 7, 100, 226},
        {144, -3, -5, -3, 150, 1226}, {288, 300, 900, 300, 200, 2226},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScalePx(c.px, c.dpi), c.scaled) << c.dpi << " " << c.px;
        EXPECT_EQ(UnscalePx(ScalePx(c.px, c.dpi), c.dpi), c.back) << c.dpi << " " << c.px;
        EXPECT_EQ(NearestPictureScale(c.dpi), c.pictureScale) << c.dpi;
        EXPECT_EQ(PictureResourceId(226, c.dpi), c.pictureId) << c.dpi;
    }
}

}  // namespace
}  // namespace kv
