// Positions of the ribbon's controls inside the ribbon strip: tabs side by side in a header row,
// the first tab's groups side by side below, each group filling columns of three rows.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "tools/hostsim/core/RibbonModel.h"

namespace hostsim {

struct LayoutRect {
    int left = 0, top = 0, width = 0, height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
};

struct PlacedControl {
    const RibbonNode* node = nullptr;
    LayoutRect rect;
    bool large = false;  // a large button: image above its label
};

struct RibbonMetrics {
    int headerHeight = 24;  // row of tab captions
    int rowHeight = 24;
    int rows = 3;
    int groupLabelHeight = 18;
    int gap = 4;
    int launcherSize = 14;
    int stripHeight() const { return headerHeight + gap + rows * rowHeight + groupLabelHeight + gap; }
};

struct RibbonLayoutResult {
    std::vector<PlacedControl> tabs;      // tab captions in the header row
    std::vector<PlacedControl> groups;    // group frames (label at the bottom)
    std::vector<PlacedControl> controls;  // everything that becomes a window
    int width = 0;
};

// Measures a UTF-8 text in pixels in the ribbon's font.
using TextWidth = std::function<int(const std::string&)>;

// Lays out the tabs of `root` starting at x = `left`. Controls for which `visible` answers
// false take no room. Only the first tab's groups are shown (one tab per add-in).
RibbonLayoutResult LayoutRibbon(const RibbonNode& root, int left, const TextWidth& textWidth,
                                const std::function<bool(const RibbonNode&)>& visible,
                                const RibbonMetrics& metrics = {});

}  // namespace hostsim
