// Where a picture of width x height goes in a box: scaled to fit, aspect ratio kept, centred.
#pragma once

namespace kv {

struct FitBox {
    int x = 0, y = 0, width = 0, height = 0;
};

inline FitBox FitImage(int width, int height, int boxWidth, int boxHeight) {
    FitBox box;
    if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0) return box;
    // Compare boxWidth/width with boxHeight/height without rounding.
    if (static_cast<long long>(boxWidth) * height <= static_cast<long long>(boxHeight) * width) {
        box.width = boxWidth;
        box.height = static_cast<int>(static_cast<long long>(height) * boxWidth / width);
    } else {
        box.height = boxHeight;
        box.width = static_cast<int>(static_cast<long long>(width) * boxHeight / height);
    }
    if (box.width < 1) box.width = 1;
    if (box.height < 1) box.height = 1;
    box.x = (boxWidth - box.width) / 2;
    box.y = (boxHeight - box.height) / 2;
    return box;
}

}  // namespace kv
