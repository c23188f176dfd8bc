#include <gtest/gtest.h>

#include <string>

#include "addin/base/ui/Scale.h"
#include "addin/widgets/pane/ListLayout.h"

namespace kv {
namespace {

constexpr int kScrollBar = 17;

// A finished keyword search: six picks, `free` free and `members` member results.
ListState Searched(int free, int members, int more = 1) {
    ListState s;
    for (int slot = 0; slot < kPickSlots; ++slot) {
        s.items[slot].visible = 1;
        s.items[slot].enabled = 1;
        s.items[slot].title = "pick" + std::to_string(slot);
    }
    for (int k = 0; k < free; ++k) {
        TemplateItem& item = s.items[kFreeFirst + k];
        item.visible = item.enabled = 1;
        item.title = "free" + std::to_string(k);
        item.image1 = kImageExcel1;
        item.image2 = kImageExcel2;
    }
    for (int n = 0; n < members; ++n) {
        TemplateItem& item = s.items[kMemberFirst + n];
        item.visible = item.enabled = 1;
        item.title = "member" + std::to_string(n);
    }
    s.summary.freeCount = free;
    s.summary.memberCount = members;
    s.summary.moreResults = more;
    return s;
}

struct Expect {
    int id;
    bool visible;
    Rect rect;
};

void Check(const ListLayout& layout, const std::vector<Expect>& expected, const char* what) {
    for (const Expect& e : expected) {
        const ChildLayout& c = layout.child(e.id);
        EXPECT_EQ(c.visible, e.visible) << what << ": id " << e.id;
        if (e.visible) {
            EXPECT_TRUE(c.placed) << what << ": id " << e.id;
            EXPECT_EQ(c.rect, e.rect) << what << ": id " << e.id << " at " << c.rect.x << "," << c.rect.y << " "
                                      << c.rect.width << "x" << c.rect.height;
        }
    }
}

TEST(ListLayout, OneColumnAt300) {
    const ListLayout l = LayoutList(300, 700, kScrollBar, Searched(3, 5), kBaseDpi);
    EXPECT_FALSE(l.scrollBar);
    Check(l,
          {{232, true, {0, 1, 300, 20}},
           {259, true, {0, 21, 300, 30}},
           {261, true, {0, 81, 300, 30}},
           {266, true, {0, 111, 300, 1}},
           {262, true, {0, 112, 300, 30}},
           {264, true, {0, 172, 300, 30}},
           {236, true, {0, 202, 300, 20}},
           {233, true, {0, 222, 300, 30}},
           {235, true, {0, 282, 300, 30}},
           {267, true, {0, 312, 300, 1}},
           {237, true, {0, 313, 300, 30}},
           {238, true, {0, 343, 300, 30}},
           {241, true, {0, 433, 300, 30}},
           {242, false, {}},
           {257, true, {0, 463, 300, 30}},
           {258, false, {}}},
          "300");
    EXPECT_EQ(l.contentHeight, 523);
    EXPECT_EQ(l.child(232).icon, kIconSectionOpen);
    EXPECT_EQ(l.child(233).caption, "free0");
    EXPECT_EQ(l.child(233).image1, kImageExcel1);
    EXPECT_EQ(l.child(233).image2, kImageExcel2);
    EXPECT_EQ(l.child(259).image2, 0);  // picks show one image
    EXPECT_EQ(l.child(257).caption, kMoreResultsCaption);
}

TEST(ListLayout, ColumnsAt800AndTheScrollBar) {
    struct Case {
        const char* what;
        int height;
        bool scrollBar;
        int width;
        std::vector<Expect> expected;
    };
    const Case cases[] = {
        // No scroll bar: three columns of 266 at x 0, 270, 536.
        {"800 tall",
         700,
         false,
         800,
         {{237, true, {0, 313, 266, 30}},
          {238, true, {270, 313, 266, 30}},
          {239, true, {536, 313, 266, 30}},
          {240, true, {0, 343, 266, 30}},
          {243, true, {0, 373, 266, 30}},
          {257, true, {0, 403, 800, 30}},
          {236, true, {0, 202, 800, 20}}}},
        // The estimate (220 + (10 / 3 + 1) x 30 = 340) exceeds 300: 783 wide, two columns.
        {"800 short",
         300,
         true,
         783,
         {{237, true, {0, 313, 391, 30}},
          {238, true, {395, 313, 391, 30}},
          {239, true, {0, 343, 391, 30}},
          {243, true, {0, 403, 391, 30}},
          {257, true, {0, 433, 783, 30}},
          {232, true, {0, 1, 783, 20}}}},
        // Exactly the estimate: no scroll bar.
        {"800 at the estimate", 340, false, 800, {{239, true, {536, 313, 266, 30}}}},
    };
    for (const Case& c : cases) {
        const ListLayout l = LayoutList(800, c.height, kScrollBar, Searched(3, 7), kBaseDpi);
        EXPECT_EQ(l.scrollBar, c.scrollBar) << c.what;
        EXPECT_EQ(l.width, c.width) << c.what;
        Check(l, c.expected, c.what);
    }
}

TEST(ListLayout, CollapsedSections) {
    struct Case {
        const char* what;
        int picksOpen, resultsOpen;
        int contentHeight;
        std::vector<Expect> expected;
        int picksIcon, resultsIcon;
    };
    const Case cases[] = {
        {"picks closed",
         0,
         1,
         21 + 20 + 60 + 31 + 30 + 60 + 30,
         {{259, false, {}},
          {264, false, {}},
          {266, false, {}},
          {258, false, {}},
          {236, true, {0, 21, 300, 20}},
          {233, true, {0, 41, 300, 30}},
          {267, true, {0, 131, 300, 1}},
          {237, true, {0, 132, 300, 30}}},
         kIconSectionClosed,
         kIconSectionOpen},
        {"results closed",
         1,
         0,
         232,
         {{259, true, {0, 21, 300, 30}},
          {236, true, {0, 202, 300, 20}},
          {233, false, {}},
          {267, false, {}},
          {237, false, {}},
          {257, false, {}}},
         kIconSectionOpen,
         kIconSectionClosed},
        {"both closed",
         0,
         0,
         51,
         {{236, true, {0, 21, 300, 20}}, {237, false, {}}, {262, false, {}}},
         kIconSectionClosed,
         kIconSectionClosed},
    };
    for (const Case& c : cases) {
        ListState s = Searched(3, 2);
        s.picksOpen = c.picksOpen;
        s.resultsOpen = c.resultsOpen;
        if (!c.picksOpen) s.items[0].visible = 0;  // no message box when the section is closed
        const ListLayout l = LayoutList(300, 700, kScrollBar, s, kBaseDpi);
        Check(l, c.expected, c.what);
        EXPECT_EQ(l.contentHeight, c.contentHeight) << c.what;
        EXPECT_EQ(l.child(232).icon, c.picksIcon) << c.what;
        EXPECT_EQ(l.child(236).icon, c.resultsIcon) << c.what;
    }
}

TEST(ListLayout, MessageBoxFollowsTheLastRequest) {
    struct Case {
        const char* what;
        int dailyVisible;
        int lastRequest;
        bool shown;
        const char* text;
        bool thirdFree;
    };
    const Case cases[] = {
        {"daily picks present", 1, 1, false, kNoTemplatesText, true},
        {"no daily pick", 0, 1, true, kNoTemplatesText, true},
        {"no daily pick, request failed", 0, 0, true, kNetworkMessage, false},
        // The service is back: the text is chosen again, not kept from the failure.
        {"no daily pick, service back", 0, 1, true, kNoTemplatesText, true},
    };
    for (const Case& c : cases) {
        ListState s = Searched(3, 0, 0);
        s.items[0].visible = c.dailyVisible;
        s.summary.lastRequestSucceeded = c.lastRequest;
        const ListLayout l = LayoutList(300, 700, kScrollBar, s, kBaseDpi);
        EXPECT_EQ(l.child(258).visible, c.shown) << c.what;
        EXPECT_EQ(l.messageText, c.text) << c.what;
        EXPECT_EQ(l.child(258).caption, c.text) << c.what;
        EXPECT_EQ(l.child(235).visible, c.thirdFree) << c.what;
        if (c.shown) {
            EXPECT_EQ(l.child(258).rect, (Rect{0, 21, 300, 60})) << c.what;
            EXPECT_EQ(l.child(258).shade, kShadeEntry) << c.what;
        }
    }
}

TEST(ListLayout, MoreResultsLink) {
    struct Case {
        const char* what;
        int free, members, more;
        bool shown;
        int y;
        int contentHeight;
    };
    const Case cases[] = {
        {"keyword, no entries", 0, 0, 1, true, 252, 312},
        {"keyword, one free", 1, 0, 1, true, 283, 343},  // below the separator
        {"no keyword", 3, 4, 0, false, 0, 313 + 90 + 30},
    };
    for (const Case& c : cases) {
        const ListLayout l = LayoutList(300, 2000, kScrollBar, Searched(c.free, c.members, c.more), kBaseDpi);
        EXPECT_EQ(l.child(257).visible, c.shown) << c.what;
        if (c.shown) EXPECT_EQ(l.child(257).rect, (Rect{0, c.y, 300, 30})) << c.what;
        EXPECT_EQ(l.contentHeight, c.contentHeight) << c.what;
        EXPECT_EQ(l.child(267).visible, c.free >= 1) << c.what;
    }
}

TEST(ListLayout, SelectedDimmedAndHiddenEntries) {
    ListState s = Searched(3, 3);
    s.summary.selected = kMemberFirst + 1 + 1;  // the second member result
    s.items[kMemberFirst].enabled = -1;
    s.items[kWeeklyFirst].enabled = 0;    // picks are never dimmed
    s.items[kFreeFirst + 1].visible = 0;  // counted but empty: placed, not shown
    const ListLayout l = LayoutList(300, 700, kScrollBar, s, kBaseDpi);
    EXPECT_EQ(l.child(238).shade, kShadeSelected);
    EXPECT_EQ(l.child(237).shade, kShadeEntry);
    EXPECT_EQ(l.child(259).shade, kShadeEntry);
    EXPECT_TRUE(l.child(237).dimmed);
    EXPECT_FALSE(l.child(238).dimmed);
    EXPECT_FALSE(l.child(262).dimmed);
    EXPECT_FALSE(l.child(234).visible);
    EXPECT_EQ(l.child(232).shade, kShadeHeader);
    EXPECT_EQ(l.child(236).caption, kResultsHeaderCaption);

    s.summary.selected = 1;
    EXPECT_EQ(LayoutList(300, 700, kScrollBar, s, kBaseDpi).child(259).shade, kShadeSelected);
}

TEST(ListLayout, ControlIdsAndSlots) {
    for (int slot = 0; slot < kItemCount; ++slot) {
        EXPECT_EQ(SlotOfControl(ControlOfSlot(slot)), slot);
        EXPECT_GE(ListChildIndex(ControlOfSlot(slot)), 0);
    }
    for (int id : {232, 236, 257, 258, 266, 267, 0, 1001}) EXPECT_EQ(SlotOfControl(id), -1) << id;
    EXPECT_EQ(ControlOfSlot(29), -1);
    EXPECT_EQ(ListChildIndex(1118), -1);
}

TEST(PaneLayout, ClientSizeAndClamping) {
    struct Case {
        int width, height;
        Rect box, button, list, banner;
    };
    const Case cases[] = {
        {300, 700, {2, 4, 258, 16}, {260, 0, 40, 20}, {0, 21, 300, 649}, {0, 670, 300, 30}},
        {800, 51, {2, 4, 758, 16}, {760, 0, 40, 20}, {0, 21, 800, 0}, {0, 21, 800, 30}},
        {30, 20, {2, 4, 0, 16}, {-10, 0, 40, 20}, {0, 21, 30, 0}, {0, -10, 30, 30}},
    };
    for (const Case& c : cases) {
        const PaneLayout p = LayoutPane(c.width, c.height, kBaseDpi);
        EXPECT_EQ(p.searchBox, c.box) << c.width << "x" << c.height;
        EXPECT_EQ(p.searchButton, c.button) << c.width << "x" << c.height;
        EXPECT_EQ(p.list, c.list) << c.width << "x" << c.height;
        EXPECT_EQ(p.banner, c.banner) << c.width << "x" << c.height;
    }
}

// A 96-DPI rectangle at dpi, edge by edge.
Rect Scaled(const Rect& r, int dpi) {
    const int x = ScalePx(r.x, dpi), y = ScalePx(r.y, dpi);
    return Rect{x, y, ScalePx(r.x + r.width, dpi) - x, ScalePx(r.y + r.height, dpi) - y};
}

// The list laid out at a scale is the 96-DPI list scaled: the same children shown, rows exactly
// on the scaled edges (stacked rows keep touching); columns within two 96-DPI pixels, since the
// width is divided in the window's pixels while the 96-DPI layout drops the fraction.
TEST(ListLayout, EveryStateAtEveryScale) {
    struct Case {
        const char* what;
        int width, height;
        ListState state;
    };
    ListState collapsed = Searched(3, 2);
    collapsed.picksOpen = 0;
    collapsed.items[0].visible = 0;
    ListState message = Searched(3, 0, 0);
    message.items[0].visible = 0;
    message.summary.lastRequestSucceeded = 0;
    const Case cases[] = {
        {"300 one column", 300, 700, Searched(3, 5)}, {"800 three columns", 800, 700, Searched(3, 7)},
        {"800 scroll bar", 800, 300, Searched(3, 7)}, {"picks closed", 300, 700, collapsed},
        {"network message", 300, 700, message},       {"no free results", 300, 2000, Searched(0, 0, 1)},
    };
    for (const Case& c : cases) {
        const ListLayout base = LayoutList(c.width, c.height, kScrollBar, c.state, kBaseDpi);
        for (int dpi : {96, 120, 144, 168, 192}) {
            const std::string what = std::string(c.what) + " at " + std::to_string(dpi);
            const ListLayout l =
                LayoutList(ScalePx(c.width, dpi), ScalePx(c.height, dpi), ScalePx(kScrollBar, dpi), c.state, dpi);
            EXPECT_EQ(l.scrollBar, base.scrollBar) << what;
            EXPECT_EQ(l.contentHeight, ScalePx(base.contentHeight, dpi)) << what;
            EXPECT_EQ(l.messageText, base.messageText) << what;
            for (size_t i = 0; i < l.children.size(); ++i) {
                const ChildLayout& got = l.children[i];
                const ChildLayout& was = base.children[i];
                EXPECT_EQ(got.visible, was.visible) << what << ": id " << got.id;
                EXPECT_EQ(got.placed, was.placed) << what << ": id " << got.id;
                EXPECT_EQ(got.caption, was.caption) << what << ": id " << got.id;
                if (!got.placed) continue;
                const Rect want = Scaled(was.rect, dpi);
                EXPECT_EQ(got.rect.y, want.y) << what << ": id " << got.id;
                EXPECT_EQ(got.rect.height, want.height) << what << ": id " << got.id;
                const int slack = ScalePx(2, dpi);
                EXPECT_NEAR(got.rect.x, want.x, slack) << what << ": id " << got.id;
                EXPECT_NEAR(got.rect.x + got.rect.width, want.x + want.width, slack) << what << ": id " << got.id;
            }
        }
    }
}

// Where rounding decides: halves go up, 125% rows alternate 38 and 37 pixels without gaps, the
// 1-pixel separator grows only at 200%, columns split the window's own width, and the scroll
// bar comes exactly one pixel below the scaled estimate.
TEST(ListLayout, RoundingAtScale) {
    struct Case {
        const char* what;
        int dpi, width, height;
        std::vector<Expect> expected;
        int contentHeight;
        bool scrollBar;
    };
    const Case cases[] = {
        {"150%",
         144,
         450,
         1050,
         {{232, true, {0, 2, 450, 30}},
          {259, true, {0, 32, 450, 45}},
          {266, true, {0, 167, 450, 1}},
          {262, true, {0, 168, 450, 45}},
          {236, true, {0, 303, 450, 30}},
          {257, true, {0, 695, 450, 45}}},
         785,
         false},
        {"125%",
         120,
         375,
         875,
         {{232, true, {0, 1, 375, 25}},
          {259, true, {0, 26, 375, 38}},
          {260, true, {0, 64, 375, 37}},
          {261, true, {0, 101, 375, 38}},
          {266, true, {0, 139, 375, 1}}},
         654,
         false},
        {"200%", 192, 600, 1400, {{266, true, {0, 222, 600, 2}}, {233, true, {0, 444, 600, 60}}}, 1046, false},
        {"150% at 800: three columns of 400",
         144,
         1200,
         1050,
         {{237, true, {0, 470, 400, 45}}, {238, true, {406, 470, 400, 45}}, {239, true, {806, 470, 400, 45}}},
         695,
         false},
        // The estimate at 96 DPI is 220 + (10 / 3 + 1) x 30 = 340: 510 at 150%.
        {"150% at the estimate", 144, 1200, 510, {{239, true, {806, 470, 400, 45}}}, 695, false},
        {"150% below the estimate", 144, 1200, 509, {{238, true, {593, 470, 587, 45}}}, 740, true},
    };
    for (const Case& c : cases) {
        const int members = c.width > 1000 ? 7 : 5;
        const ListLayout l = LayoutList(c.width, c.height, 26, Searched(3, members), c.dpi);
        Check(l, c.expected, c.what);
        EXPECT_EQ(l.contentHeight, c.contentHeight) << c.what;
        EXPECT_EQ(l.scrollBar, c.scrollBar) << c.what;
    }
}

TEST(PaneLayout, AtEveryScale) {
    struct Case {
        int dpi, width, height;
        Rect box, button, list, banner;
    };
    const Case cases[] = {
        {96, 300, 700, {2, 4, 258, 16}, {260, 0, 40, 20}, {0, 21, 300, 649}, {0, 670, 300, 30}},
        {144, 450, 1050, {3, 6, 387, 24}, {390, 0, 60, 30}, {0, 32, 450, 973}, {0, 1005, 450, 45}},
        {192, 600, 1400, {4, 8, 516, 32}, {520, 0, 80, 40}, {0, 42, 600, 1298}, {0, 1340, 600, 60}},
        // 125%: 2.5 and 52.5 round up; the list still ends where the banner begins.
        {120, 375, 875, {3, 5, 322, 20}, {325, 0, 50, 25}, {0, 26, 375, 811}, {0, 837, 375, 38}},
        {144, 40, 60, {3, 6, 0, 24}, {-20, 0, 60, 30}, {0, 32, 40, 0}, {0, 15, 40, 45}},
    };
    for (const Case& c : cases) {
        const PaneLayout p = LayoutPane(c.width, c.height, c.dpi);
        const std::string what = std::to_string(c.dpi) + " " + std::to_string(c.width) + "x" + std::to_string(c.height);
        EXPECT_EQ(p.searchBox, c.box) << what;
        EXPECT_EQ(p.searchButton, c.button) << what;
        EXPECT_EQ(p.list, c.list) << what;
        EXPECT_EQ(p.banner, c.banner) << what;
    }
}

TEST(ListScroll, StepsAndBounds) {
    EXPECT_EQ(ScrollLine(523), 5);
    EXPECT_EQ(ScrollPage(523), 52);
    EXPECT_EQ(ScrollLine(40), 1);
    EXPECT_EQ(ScrollPage(5), 1);
    EXPECT_EQ(ClampScroll(-5, 523, 400), 0);
    EXPECT_EQ(ClampScroll(500, 523, 400), 123);
    EXPECT_EQ(ClampScroll(50, 300, 400), 0);  // content shorter than the view
}

}  // namespace
}  // namespace kv
