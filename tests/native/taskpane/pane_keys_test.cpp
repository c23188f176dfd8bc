// The keys the pane keeps, searches on or offers to the container.
#include <gtest/gtest.h>

#include "addin/widgets/pane/ListLayout.h"
#include "addin/widgets/pane/PaneKeys.h"

namespace kv {
namespace {

TEST(PaneKeys, EnterSearchesNavigationStaysEverythingElseIsTheHosts) {
    constexpr unsigned kKeyUp = 0x0101, kChar = 0x0102, kSysKeyDown = 0x0104;
    struct Case {
        unsigned message;
        uintptr_t key;
        PaneKey expected;
    };
    const Case cases[] = {
        {kKeyDownMessage, 13, PaneKey::Search},       {kKeyDownMessage, 33, PaneKey::KeepInPane},
        {kKeyDownMessage, 34, PaneKey::KeepInPane},   {kKeyDownMessage, 35, PaneKey::KeepInPane},
        {kKeyDownMessage, 36, PaneKey::KeepInPane},   {kKeyDownMessage, 37, PaneKey::KeepInPane},
        {kKeyDownMessage, 40, PaneKey::KeepInPane},   {kKeyDownMessage, 32, PaneKey::OfferToHost},
        {kKeyDownMessage, 41, PaneKey::OfferToHost},  {kKeyDownMessage, 9, PaneKey::OfferToHost},
        {kKeyDownMessage, 'A', PaneKey::OfferToHost}, {kKeyDownMessage, 27, PaneKey::OfferToHost},
        {kKeyUp, 13, PaneKey::OfferToHost},           {kChar, 13, PaneKey::OfferToHost},
        {kSysKeyDown, 13, PaneKey::OfferToHost},      {kKeyUp, 37, PaneKey::OfferToHost},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecidePaneKey(c.message, c.key), c.expected) << "message " << c.message << " key " << c.key;
    }
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

TEST(PaneFocus, KeysThatMoveOrActivate) {
    constexpr unsigned kKeyUp = 0x0101;
    struct Case {
        unsigned message;
        uintptr_t key;
        bool shift;
        FocusKey expected;
    };
    const Case cases[] = {
        {kKeyDownMessage, 9, false, FocusKey::Next},
        {kKeyDownMessage, 9, true, FocusKey::Previous},
        {kKeyDownMessage, 38, false, FocusKey::Up},
        {kKeyDownMessage, 37, false, FocusKey::Up},
        {kKeyDownMessage, 40, true, FocusKey::Down},
        {kKeyDownMessage, 39, false, FocusKey::Down},
        {kKeyDownMessage, 32, false, FocusKey::Activate},
        {kKeyDownMessage, 13, false, FocusKey::None},
        {kKeyDownMessage, 'A', false, FocusKey::None},
        {kKeyUp, 9, false, FocusKey::None},
        {kKeyUp, 32, false, FocusKey::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FocusKeyOf(c.message, c.key, c.shift), c.expected) << "message " << c.message << " key " << c.key;
    }
}

TEST(PaneFocus, NextStopWrapsLeavesAndKeepsArrowsInTheList) {
    // box, button, header, entry, entry, banner
    const std::vector<FocusStop> stops{{1, false}, {2, false}, {3, true}, {4, true}, {5, true}, {6, false}};
    struct Case {
        int current;
        FocusKey key;
        FocusEnds ends;
        int expected;
    };
    const Case cases[] = {
        {0, FocusKey::Next, FocusEnds::Wrap, 1},       {1, FocusKey::Next, FocusEnds::Wrap, 2},
        {5, FocusKey::Next, FocusEnds::Wrap, 0},       {5, FocusKey::Next, FocusEnds::Leave, -1},
        {0, FocusKey::Previous, FocusEnds::Wrap, 5},   {0, FocusKey::Previous, FocusEnds::Leave, -1},
        {3, FocusKey::Previous, FocusEnds::Leave, 2},  {-1, FocusKey::Next, FocusEnds::Leave, 0},
        {-1, FocusKey::Previous, FocusEnds::Leave, 5}, {2, FocusKey::Down, FocusEnds::Wrap, 3},
        {4, FocusKey::Down, FocusEnds::Wrap, 4},       {2, FocusKey::Up, FocusEnds::Wrap, 2},
        {4, FocusKey::Up, FocusEnds::Leave, 3},        {0, FocusKey::Down, FocusEnds::Wrap, 0},
        {5, FocusKey::Up, FocusEnds::Wrap, 5},         {-1, FocusKey::Down, FocusEnds::Wrap, -1},
        {3, FocusKey::Activate, FocusEnds::Wrap, 3},   {9, FocusKey::Next, FocusEnds::Wrap, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NextFocusStop(stops, c.current, c.key, c.ends), c.expected)
            << "from " << c.current << " key " << static_cast<int>(c.key);
    }
    EXPECT_EQ(NextFocusStop({}, -1, FocusKey::Next, FocusEnds::Wrap), -1);
    EXPECT_EQ(NextFocusStop({}, -1, FocusKey::Down, FocusEnds::Wrap), -1);
}

TEST(PaneFocus, OrderFollowsTheVisibleListTopToBottom) {
    ListLayout list;
    for (int i = 0; i < kListChildCount; ++i) list.children[i].id = kListChildIds[i];
    auto show = [&](int id, int y) {
        ChildLayout& c = list.children[ListChildIndex(id)];
        c.visible = true;
        c.rect = Rect{0, y, 100, 20};
    };
    show(kIdPicksHeader, 0);
    show(kIdDailyFirst, 20);
    show(kIdPicksSeparator, 40);  // never a stop
    show(kIdResultsHeader, 60);
    show(kIdMemberFirst + 1, 100);
    show(kIdMemberFirst, 80);
    show(kIdMoreResults, 120);
    show(kIdMessageBox, 140);  // a message, not a stop
    const std::vector<FocusStop> stops = PaneFocusOrder(list);
    const std::vector<int> expected{IDC_PANE_SEARCH_BOX, IDC_PANE_SEARCH_BUTTON, kIdPicksHeader,
                                    kIdDailyFirst,       kIdResultsHeader,       kIdMemberFirst,
                                    kIdMemberFirst + 1,  kIdMoreResults,         IDC_PANE_BANNER};
    ASSERT_EQ(stops.size(), expected.size());
    for (size_t i = 0; i < stops.size(); ++i) {
        EXPECT_EQ(stops[i].id, expected[i]) << "stop " << i;
        EXPECT_EQ(stops[i].inList, i >= 2 && i + 1 < stops.size()) << "stop " << i;
    }
}

TEST(PaneFocus, ScrollShowsTheFocusedControl) {
    struct Case {
        int position, top, height, view, content, expected;
    };
    const Case cases[] = {
        {0, 20, 20, 100, 400, 0},       // shown already
        {0, 90, 20, 100, 400, 10},      // below: its bottom edge at the view's
        {200, 150, 20, 100, 400, 150},  // above: its top edge at the view's
        {0, 390, 20, 100, 400, 300},    // past the content: clamped
        {0, 50, 300, 100, 400, 50},     // taller than the view: the top shows
        {0, 10, 20, 500, 400, 0},       // content shorter than the view
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScrollToShow(c.position, c.top, c.height, c.view, c.content), c.expected)
            << "top " << c.top << " at " << c.position;
    }
}

}  // namespace
}  // namespace kv
