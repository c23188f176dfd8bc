// CxDib: a device-independent palette or true-colour bitmap held as one block, laid out as the
// platform's packed DIB (40-byte header, palette, pixels), so Windows draws it as it is
// (DrawDib in ShadeButtonST.cpp). Rows are stored bottom-up: row 0 is the bottom line.
// Portable: no Windows header; the native tests read its pixels and palette directly.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kv {

struct Rgb {
    uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Rgb& o) const { return red == o.red && green == o.green && blue == o.blue; }
};

class CxDib {
public:
    static constexpr size_t kHeaderSize = 40;
    // Largest side accepted, so a hostile size never turns into a huge allocation.
    static constexpr int kMaxSide = 16384;

    // Width and height 1..kMaxSide; bits are rounded up to 1, 4, 8 or 24 (more than 24 is
    // refused). The header, palette and pixels are allocated together and zeroed. False (and
    // an empty picture) on a bad size.
    bool Create(int width, int height, int bits);
    void Clear();  // back to empty

    bool empty() const { return block_.empty(); }
    int width() const { return width_; }
    int height() const { return height_; }
    int bits() const { return bits_; }
    int paletteSize() const { return paletteSize_; }  // 2, 16, 256, or 0 for 24 bits
    size_t stride() const { return stride_; }         // (width * bits + 31) / 32 * 4
    size_t pixelBytes() const { return stride_ * static_cast<size_t>(height_); }

    // Ignored for an index beyond the palette.
    void SetPaletteIndex(int index, uint8_t red, uint8_t green, uint8_t blue);
    void SetPaletteIndex(int index, const Rgb& colour) {
        SetPaletteIndex(index, colour.red, colour.green, colour.blue);
    }
    Rgb PaletteIndex(int index) const;  // black for an index beyond the palette

    // Row i (0 = bottom), stride() bytes; null outside 0..height-1.
    uint8_t* Row(int i);
    const uint8_t* Row(int i) const;
    uint8_t* Pixels() { return empty() ? nullptr : block_.data() + pixelOffset(); }
    const uint8_t* Pixels() const { return empty() ? nullptr : block_.data() + pixelOffset(); }
    // Every pixel byte set to `value`.
    void Fill(uint8_t value);
    // Same size, bits and contents as `other` (empty when it is).
    void CopyFrom(const CxDib& other);

    // The whole block: header + palette (BITMAPINFO layout), then pixels.
    const uint8_t* Info() const { return empty() ? nullptr : block_.data(); }

private:
    size_t pixelOffset() const { return kHeaderSize + static_cast<size_t>(paletteSize_) * 4; }

    std::vector<uint8_t> block_;
    int width_ = 0, height_ = 0, bits_ = 0, paletteSize_ = 0;
    size_t stride_ = 0;
};

}  // namespace kv
