#include "addin/base/ui/Scale.h"

#include <cstdint>
#include <cstdlib>

namespace kv {

namespace {
int Normal(int dpi) {
    return dpi > 0 ? dpi : kBaseDpi;
}

int MulDivRound(int value, int num, int den) {
    const int64_t product = static_cast<int64_t>(value) * num;
    const int64_t half = den / 2;
    const int64_t q = (product >= 0 ? product + half : product - half) / den;
    return static_cast<int>(q);
}
}  // namespace

int ScalePx(int px, int dpi) {
    return MulDivRound(px, Normal(dpi), kBaseDpi);
}

int UnscalePx(int px, int dpi) {
    return MulDivRound(px, kBaseDpi, Normal(dpi));
}

int NearestPictureScale(int dpi) {
    const int percent = Normal(dpi) * 100 / kBaseDpi;
    if (percent <= 125) return 100;
    if (percent <= 175) return 150;
    return 200;
}

int PictureResourceId(int id, int dpi) {
    switch (NearestPictureScale(dpi)) {
        case 150: return id + kPicture150Offset;
        case 200: return id + kPicture200Offset;
        default: return id;
    }
}

}  // namespace kv
