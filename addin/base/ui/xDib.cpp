#include "addin/base/ui/xDib.h"

#include <algorithm>
#include <cstring>

namespace kv {
namespace {

void PutLe(uint8_t* p, uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

int RoundBits(int bits) {
    if (bits <= 0 || bits > 24) return 0;
    if (bits <= 1) return 1;
    if (bits <= 4) return 4;
    if (bits <= 8) return 8;
    return 24;
}

}  // namespace

bool CxDib::Create(int width, int height, int bits) {
    Clear();
    const int rounded = RoundBits(bits);
    if (rounded == 0 || width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return false;
    width_ = width;
    height_ = height;
    bits_ = rounded;
    paletteSize_ = rounded == 24 ? 0 : 1 << rounded;
    stride_ = (static_cast<size_t>(width) * static_cast<size_t>(rounded) + 31) / 32 * 4;
    block_.assign(pixelOffset() + pixelBytes(), 0);

    // BITMAPINFOHEADER, little-endian; a positive height means bottom-up rows.
    uint8_t* h = block_.data();
    PutLe(h + 0, kHeaderSize, 4);
    PutLe(h + 4, static_cast<uint32_t>(width), 4);
    PutLe(h + 8, static_cast<uint32_t>(height), 4);
    PutLe(h + 12, 1, 2);                                    // planes
    PutLe(h + 14, static_cast<uint32_t>(rounded), 2);       // bits per pixel
    PutLe(h + 16, 0, 4);                                    // no compression
    PutLe(h + 20, static_cast<uint32_t>(pixelBytes()), 4);  // image size
    PutLe(h + 32, static_cast<uint32_t>(paletteSize_), 4);  // colours used
    return true;
}

void CxDib::Clear() {
    block_.clear();
    block_.shrink_to_fit();
    width_ = height_ = bits_ = paletteSize_ = 0;
    stride_ = 0;
}

void CxDib::SetPaletteIndex(int index, uint8_t red, uint8_t green, uint8_t blue) {
    if (empty() || index < 0 || index >= paletteSize_) return;
    uint8_t* q = block_.data() + kHeaderSize + static_cast<size_t>(index) * 4;  // RGBQUAD
    q[0] = blue;
    q[1] = green;
    q[2] = red;
    q[3] = 0;
}

Rgb CxDib::PaletteIndex(int index) const {
    if (empty() || index < 0 || index >= paletteSize_) return Rgb{};
    const uint8_t* q = block_.data() + kHeaderSize + static_cast<size_t>(index) * 4;
    return Rgb{q[2], q[1], q[0]};
}

uint8_t* CxDib::Row(int i) {
    if (empty() || i < 0 || i >= height_) return nullptr;
    return block_.data() + pixelOffset() + stride_ * static_cast<size_t>(i);
}

const uint8_t* CxDib::Row(int i) const {
    return const_cast<CxDib*>(this)->Row(i);
}

void CxDib::Fill(uint8_t value) {
    if (empty()) return;
    std::fill(block_.begin() + static_cast<std::ptrdiff_t>(pixelOffset()), block_.end(), value);
}

void CxDib::CopyFrom(const CxDib& other) {
    if (this == &other) return;
    block_ = other.block_;
    width_ = other.width_;
    height_ = other.height_;
    bits_ = other.bits_;
    paletteSize_ = other.paletteSize_;
    stride_ = other.stride_;
}

}  // namespace kv
