#include "addin/widgets/pane/ListLayout.h"

#include <algorithm>

#include "addin/base/ui/Scale.h"

namespace kv {

// Code page 949.
const char kPicksHeaderCaption[] = "\xB9\xAB\xB7\xE1 \xC7\xFD\xC5\xC3 \xBC\xAD\xBD\xC4";
const char kPicksHeaderTooltip[] =
    "\xB8\xC5\xC0\xCF \xC1\xA4\xC8\xB8\xBF\xF8 \xBC\xAD\xBD\xC4 3\xB0\xC7\xB0\xFA \xB8\xC5\xC1\xD6 \xC7\xC1\xB8\xAE"
    "\xB9\xCC\xBE\xF6 \xBC\xAD\xBD\xC4 3\xB0\xC7\xC0\xBB \xB9\xAB\xB7\xE1\xB7\xCE \xC1\xA6\xB0\xF8\xC7\xD8\xB5\xE5"
    "\xB8\xB3\xB4\xCF\xB4\xD9.";
const char kResultsHeaderCaption[] = "\xBC\xAD\xBD\xC4 \xB0\xCB\xBB\xF6 \xB0\xE1\xB0\xFA";
const char kResultsHeaderTooltip[] =
    "\xB0\xCB\xBB\xF6 \xB0\xE1\xB0\xFA \xB9\xD7 \xBF\xAC\xB0\xFC \xBC\xAD\xBD\xC4\xC0\xBB \xC1\xA6\xB0\xF8\xC7\xD8"
    "\xB5\xE5\xB8\xB3\xB4\xCF\xB4\xD9.";
const char kMoreResultsCaption[] = "\xB4\xF5 \xB8\xB9\xC0\xBA \xB0\xCB\xBB\xF6 \xB0\xE1\xB0\xFA \xBA\xB8\xB1\xE2 >>";
const char kNoTemplatesText[] =
    "\xB9\xAB\xB7\xE1 \xBC\xAD\xBD\xC4\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9\r\n\r\n\xC3\xDF\xC3\xB5 "
    "\xBC\xAD\xBD\xC4"
    "\xC0\xBB \xC0\xCC\xBF\xEB\xC7\xD8 \xC1\xD6\xBC\xBC\xBF\xE4";
const char kNetworkMessage[] =
    "\xC0\xCE\xC5\xCD\xB3\xDD \xBF\xAC\xB0\xE1 \xBB\xF3\xC5\xC2\xB0\xA1 \xBF\xC3\xB9\xD9\xB8\xA3\xC1\xF6 \xBE\xCA\xB0"
    "\xC5\xB3\xAA\r\n\xBC\xAD\xB9\xF6\xBF\xA1 \xC1\xA2\xBC\xD3 \xC7\xD2 \xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.\n"
    "\xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9 \xBF\xAC\xB0\xE1\xBB\xF3\xC5\xC2\xB8\xA6 \xC8\xAE\xC0\xCE\xC7\xCF\xBD\xC3\xB0"
    "\xC5\xB3\xAA\r\n\xC0\xE1\xBD\xC3\xC8\xC4\xBF\xA1 \xB4\xD9\xBD\xC3 \xBD\xC3\xB5\xB5\xC7\xCF\xBD\xC3\xB1\xE6 \xB9"
    "\xD9\xB6\xF8\xB4\xCF\xB4\xD9";

const std::array<int, kListChildCount> kListChildIds = {
    kIdPicksHeader,     IDC_LIST_DAILY_1,   IDC_LIST_DAILY_2,    IDC_LIST_DAILY_3,   kIdPicksSeparator,
    IDC_LIST_WEEKLY_1,  IDC_LIST_WEEKLY_2,  IDC_LIST_WEEKLY_3,   kIdResultsHeader,   IDC_LIST_FREE_1,
    IDC_LIST_FREE_2,    IDC_LIST_FREE_3,    kIdResultsSeparator, IDC_LIST_MEMBER_1,  IDC_LIST_MEMBER_2,
    IDC_LIST_MEMBER_3,  IDC_LIST_MEMBER_4,  IDC_LIST_MEMBER_5,   IDC_LIST_MEMBER_6,  IDC_LIST_MEMBER_7,
    IDC_LIST_MEMBER_8,  IDC_LIST_MEMBER_9,  IDC_LIST_MEMBER_10,  IDC_LIST_MEMBER_11, IDC_LIST_MEMBER_12,
    IDC_LIST_MEMBER_13, IDC_LIST_MEMBER_14, IDC_LIST_MEMBER_15,  IDC_LIST_MEMBER_16, IDC_LIST_MEMBER_17,
    IDC_LIST_MEMBER_18, IDC_LIST_MEMBER_19, IDC_LIST_MEMBER_20,  kIdMoreResults,     kIdMessageBox,
};

int ListChildIndex(int controlId) {
    for (int i = 0; i < kListChildCount; ++i) {
        if (kListChildIds[i] == controlId) return i;
    }
    return -1;
}

int SlotOfControl(int id) {
    if (id >= kIdDailyFirst && id < kIdDailyFirst + 3) return kDailyFirst + (id - kIdDailyFirst);
    if (id >= kIdWeeklyFirst && id < kIdWeeklyFirst + 3) return kWeeklyFirst + (id - kIdWeeklyFirst);
    if (id >= kIdFreeFirst && id < kIdFreeFirst + kFreeSlots) return kFreeFirst + (id - kIdFreeFirst);
    if (id >= kIdMemberFirst && id < kIdMemberFirst + kMemberSlots) return kMemberFirst + (id - kIdMemberFirst);
    return -1;
}

int ControlOfSlot(int slot) {
    if (slot < 0 || slot >= kItemCount) return -1;
    if (slot < kWeeklyFirst) return kIdDailyFirst + slot;
    if (slot < kFreeFirst) return kIdWeeklyFirst + (slot - kWeeklyFirst);
    if (slot < kMemberFirst) return kIdFreeFirst + (slot - kFreeFirst);
    return kIdMemberFirst + (slot - kMemberFirst);
}

namespace {

constexpr int kRow = 30;
constexpr int kHeaderHeight = 20;

class Builder {
public:
    Builder(ListLayout* out, const ListState& state, int dpi) : out_(out), state_(state), dpi_(dpi) {
        for (int i = 0; i < kListChildCount; ++i) out_->children[i].id = kListChildIds[i];
    }
    ChildLayout& at(int id) { return out_->children[ListChildIndex(id)]; }
    // x and w in the window's pixels; y and h in 96-DPI pixels. Both edges are scaled, not the
    // height, so that rows stacked at 96 DPI stay stacked without gaps or overlaps at any scale.
    void place(int id, int x, int y, int w, int h) {
        ChildLayout& c = at(id);
        c.placed = true;
        const int top = ScalePx(y, dpi_);
        c.rect = Rect{x, top, std::max(0, w), std::max(0, ScalePx(y + h, dpi_) - top)};
    }
    // Caption, images and shade of an entry button from its slot.
    void entry(int id, bool withSecondImage, bool dimmable) {
        const int slot = SlotOfControl(id);
        const TemplateItem& item = state_.items[slot];
        ChildLayout& c = at(id);
        c.hasContent = true;
        c.caption = item.title;
        c.image1 = item.image1;
        c.image2 = withSecondImage ? item.image2 : 0;
        c.shade = state_.summary.selected == slot + 1 ? kShadeSelected : kShadeEntry;
        c.dimmed = dimmable && item.enabled != 1;
        c.visible = item.visible == 1;
    }
    void header(int id, const char* caption, bool open) {
        ChildLayout& c = at(id);
        c.visible = true;
        c.hasContent = true;
        c.caption = caption;
        c.icon = open ? kIconSectionOpen : kIconSectionClosed;
        c.shade = kShadeHeader;
    }

private:
    ListLayout* out_;
    const ListState& state_;
    int dpi_;
};

}  // namespace

ListLayout LayoutList(int width, int height, int scrollBarWidth, const ListState& state, int dpi) {
    ListLayout out;
    Builder b(&out, state, dpi);
    // Vertical positions below are 96-DPI values (Builder::place scales them); widths and the
    // column rule work on the window's own pixels.
    const int columnStep = ScalePx(400, dpi);
    const int columnGap = ScalePx(4, dpi);
    const ResultSummary& s = state.summary;
    int W = std::max(0, width);

    // The content height is estimated before placing, to know whether a scroll bar takes
    // part of the width. The estimate is the list's own rule: it counts whole rows only and
    // gives up beyond four columns.
    {
        int estimate = state.picksOpen ? 220 : 40;
        if (state.resultsOpen) {
            const int columns = W / columnStep + 1;
            const int entries = s.freeCount + s.memberCount;
            const int more = s.moreResults == 1 ? 1 : 0;
            if (columns <= 4) estimate += (entries / columns + more) * kRow;
        }
        if (height < ScalePx(estimate, dpi)) {
            W = std::max(0, W - scrollBarWidth);
            out.scrollBar = true;
        }
    }
    out.width = W;

    b.place(kIdPicksHeader, 0, 1, W, kHeaderHeight);
    b.header(kIdPicksHeader, kPicksHeaderCaption, state.picksOpen != 0);

    int y0 = 21;
    if (state.picksOpen) {
        b.place(kIdMessageBox, 0, 21, W, 60);
        static constexpr int kPickY[kPickSlots] = {21, 51, 81, 112, 142, 172};
        for (int slot = 0; slot < kPickSlots; ++slot) {
            const int id = ControlOfSlot(slot);
            b.place(id, 0, kPickY[slot], W, kRow);
            b.entry(id, false, false);
        }
        b.place(kIdPicksSeparator, 0, 111, W, 1);
        b.at(kIdPicksSeparator).visible = true;
        y0 = 202;
    }

    b.place(kIdResultsHeader, 0, y0, W, kHeaderHeight);
    b.header(kIdResultsHeader, kResultsHeaderCaption, state.resultsOpen != 0);

    int c = y0;
    if (state.resultsOpen) {
        c = y0 + kHeaderHeight;
        for (int k = 1; k <= kFreeSlots; ++k) {
            const int id = kIdFreeFirst + (k - 1);
            if (s.freeCount >= k) {
                c = y0 + kHeaderHeight + kRow * (k - 1);
                b.place(id, 0, c, W, kRow);
            }
            b.entry(id, true, true);
        }
        if (s.freeCount >= 1) {
            b.place(kIdResultsSeparator, 0, c + kRow, W, 1);
            b.at(kIdResultsSeparator).visible = true;
            c += 31;
        }

        const int columns = W / columnStep + 1;
        const int columnWidth = W / columns;
        int inRow = 0;
        for (int n = 1; n <= kMemberSlots; ++n) {
            const int id = kIdMemberFirst + (n - 1);
            if (n <= s.memberCount) {
                int x = 0;
                if (n == 1) {
                    inRow = 1;
                } else if (inRow < columns) {
                    x = columnWidth * inRow + columnGap;
                    ++inRow;
                } else {
                    c += kRow;
                    inRow = 1;
                }
                b.place(id, x, c, columnWidth, kRow);
            }
            b.entry(id, true, true);
        }

        ChildLayout& more = b.at(kIdMoreResults);
        more.hasContent = true;
        more.caption = kMoreResultsCaption;
        more.shade = kShadeEntry;
        if (s.moreResults == 1) {
            b.place(kIdMoreResults, 0, c + kRow, W, kRow);
            more.visible = true;
            c += 60;
        }
    }

    // The text follows the flag of this layout: once the service answers again, an empty
    // daily list says that there are no templates, not that the network is down.
    out.messageText = s.lastRequestSucceeded == 0 ? kNetworkMessage : kNoTemplatesText;
    ChildLayout& message = b.at(kIdMessageBox);
    message.hasContent = true;
    message.caption = out.messageText;
    message.shade = kShadeEntry;
    if (state.picksOpen && state.items[kDailyFirst].visible != 1) {
        message.visible = true;
        if (s.lastRequestSucceeded == 0) b.at(kIdFreeFirst + 2).visible = false;
    }

    out.contentHeight = ScalePx(c + kRow, dpi);
    return out;
}

PaneLayout LayoutPane(int width, int height, int dpi) {
    auto size = [](int v) { return std::max(0, v); };
    auto px = [dpi](int v) { return ScalePx(v, dpi); };
    // Edges from the 96-DPI layout, scaled one by one: the list ends where the banner begins.
    const int bannerTop = height - px(30);
    PaneLayout p;
    p.searchBox = Rect{px(2), px(4), size(width - px(42)), px(20) - px(4)};
    p.searchButton = Rect{width - px(40), 0, px(40), px(20)};
    p.list = Rect{0, px(21), size(width), size(bannerTop - px(21))};
    p.banner = Rect{0, bannerTop, size(width), px(30)};
    return p;
}

int ScrollLine(int contentHeight) {
    return std::max(1, contentHeight / 100);
}
int ScrollPage(int contentHeight) {
    return std::max(1, contentHeight / 10);
}
int ClampScroll(int position, int contentHeight, int viewHeight) {
    return std::max(0, std::min(position, contentHeight - viewHeight));
}

}  // namespace kv
