#include "tools/hostsim/core/RibbonLayout.h"

#include <algorithm>

namespace hostsim {
namespace {

struct Ctx {
    const TextWidth& textWidth;
    const std::function<bool(const RibbonNode&)>& visible;
    const RibbonMetrics& m;
    RibbonLayoutResult& out;
};

int ControlWidth(const Ctx& c, const RibbonNode& n) {
    const std::string& label = n.Attr("label");
    bool hasImage = n.Has("getImage") || n.Has("imageMso") || n.Has("image");
    switch (n.kind) {
        case RibbonKind::Label: return std::max(8, c.textWidth(label) + 4);
        case RibbonKind::EditBox: {
            const std::string& sizer = n.Attr("sizeString");
            int box = sizer.empty() ? 80 : c.textWidth(sizer) + 8;
            return (label.empty() ? 0 : c.textWidth(label) + 4) + box;
        }
        case RibbonKind::CheckBox: return 20 + c.textWidth(label);
        case RibbonKind::Button:
            if (label.empty()) return hasImage ? 24 : 24;
            return (hasImage ? 22 : 8) + c.textWidth(label) + 6;
        case RibbonKind::Separator: return 6;
        default: return 0;
    }
}

// Places one row-sized control or a box at (x, y); returns its width and height in rows.
struct Size {
    int width;
    int rows;
};

Size MeasureBox(const Ctx& c, const RibbonNode& box);

Size Measure(const Ctx& c, const RibbonNode& n) {
    if (n.kind == RibbonKind::Box) return MeasureBox(c, n);
    return {ControlWidth(c, n), 1};
}

Size MeasureBox(const Ctx& c, const RibbonNode& box) {
    bool vertical = box.Attr("boxStyle") == "vertical";
    Size s{0, vertical ? 0 : 1};
    for (const auto& child : box.children) {
        if (!c.visible(child)) continue;
        Size cs = Measure(c, child);
        if (vertical) {
            s.width = std::max(s.width, cs.width);
            s.rows += cs.rows;
        } else {
            s.width += (s.width ? c.m.gap : 0) + cs.width;
            s.rows = std::max(s.rows, cs.rows);
        }
    }
    return s;
}

void Place(const Ctx& c, const RibbonNode& n, int x, int y);

void PlaceBox(const Ctx& c, const RibbonNode& box, int x, int y) {
    bool vertical = box.Attr("boxStyle") == "vertical";
    for (const auto& child : box.children) {
        if (!c.visible(child)) continue;
        Size cs = Measure(c, child);
        Place(c, child, x, y);
        if (vertical)
            y += cs.rows * c.m.rowHeight;
        else
            x += cs.width + c.m.gap;
    }
}

void Place(const Ctx& c, const RibbonNode& n, int x, int y) {
    if (n.kind == RibbonKind::Box) {
        PlaceBox(c, n, x, y);
        return;
    }
    PlacedControl p;
    p.node = &n;
    p.rect = {x, y + 1, ControlWidth(c, n), c.m.rowHeight - 2};
    c.out.controls.push_back(p);
}

// Lays out one group's content from `x`; returns the group's width.
int LayoutGroup(const Ctx& c, const RibbonNode& group, int x, int top) {
    const int start = x;
    int colWidth = 0, rowsUsed = 0;
    auto closeColumn = [&]() {
        if (colWidth > 0) x += colWidth + c.m.gap;
        colWidth = 0;
        rowsUsed = 0;
    };
    const RibbonNode* launcher = nullptr;
    for (const auto& child : group.children) {
        if (child.kind == RibbonKind::DialogBoxLauncher) {
            launcher = &child;
            continue;
        }
        if (!c.visible(child)) continue;
        if (child.kind == RibbonKind::Button && child.Attr("size") == "large") {
            closeColumn();
            PlacedControl p;
            p.node = &child;
            p.large = true;
            int w = std::max(44, c.textWidth(child.Attr("label")) + 10);
            p.rect = {x, top, w, c.m.rows * c.m.rowHeight};
            c.out.controls.push_back(p);
            x += w + c.m.gap;
            continue;
        }
        Size s = Measure(c, child);
        int rows = std::min(std::max(s.rows, 1), c.m.rows);
        if (rowsUsed + rows > c.m.rows) closeColumn();
        Place(c, child, x, top + rowsUsed * c.m.rowHeight);
        colWidth = std::max(colWidth, s.width);
        rowsUsed += rows;
    }
    closeColumn();
    int width = std::max(x - start - c.m.gap, 0);
    int labelWidth = c.textWidth(group.Attr("label")) + 8 + (launcher ? c.m.launcherSize + 2 : 0);
    width = std::max(width, labelWidth);
    if (launcher) {
        for (const auto& b : launcher->children) {
            PlacedControl p;
            p.node = &b;
            int ly = top + c.m.rows * c.m.rowHeight + (c.m.groupLabelHeight - c.m.launcherSize) / 2;
            p.rect = {start + width - c.m.launcherSize, ly, c.m.launcherSize, c.m.launcherSize};
            c.out.controls.push_back(p);
            break;  // one launcher button per group
        }
    }
    return width;
}

void CollectTabs(const RibbonNode& n, std::vector<const RibbonNode*>& tabs) {
    if (n.kind == RibbonKind::Tab) {
        tabs.push_back(&n);
        return;
    }
    for (const auto& c : n.children) CollectTabs(c, tabs);
}

}  // namespace

RibbonLayoutResult LayoutRibbon(const RibbonNode& root, int left, const TextWidth& textWidth,
                                const std::function<bool(const RibbonNode&)>& visible, const RibbonMetrics& metrics) {
    RibbonLayoutResult out;
    Ctx c{textWidth, visible, metrics, out};
    std::vector<const RibbonNode*> tabs;
    CollectTabs(root, tabs);
    int hx = left;
    for (const RibbonNode* tab : tabs) {
        if (!visible(*tab)) continue;
        PlacedControl p;
        p.node = tab;
        p.rect = {hx, 0, textWidth(tab->Attr("label")) + 16, metrics.headerHeight};
        out.tabs.push_back(p);
        hx += p.rect.width + 2;
    }
    int x = left + metrics.gap;
    const int top = metrics.headerHeight + metrics.gap;
    if (!out.tabs.empty()) {
        for (const auto& group : out.tabs.front().node->children) {
            if (group.kind != RibbonKind::Group || !visible(group)) continue;
            int w = LayoutGroup(c, group, x + metrics.gap, top);
            PlacedControl g;
            g.node = &group;
            g.rect = {x, top - 2, w + 2 * metrics.gap, metrics.rows * metrics.rowHeight + metrics.groupLabelHeight + 2};
            out.groups.push_back(g);
            x += g.rect.width + metrics.gap;
        }
    }
    out.width = std::max(x, hx) - left;
    return out;
}

}  // namespace hostsim
