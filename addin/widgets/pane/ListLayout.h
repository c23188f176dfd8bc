// The result list's layout as a pure function: from the window's size and the list's state it
// gives every child's rectangle, visibility, caption, images and shade. CTaskPaneListWnd
// applies the result to its windows; the pane's own children are placed by PaneLayout.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "addin/features/search/TemplateItem.h"
#include "addin/resources/resource.h"

namespace kv {

// Control ids of the result list (dialog template IDD_RESULT_LIST).
constexpr int kIdPicksHeader = IDC_LIST_PICKS_HEADER;
constexpr int kIdResultsHeader = IDC_LIST_RESULTS_HEADER;
constexpr int kIdDailyFirst = IDC_LIST_DAILY_1;    // to IDC_LIST_DAILY_3
constexpr int kIdWeeklyFirst = IDC_LIST_WEEKLY_1;  // to IDC_LIST_WEEKLY_3
constexpr int kIdFreeFirst = IDC_LIST_FREE_1;      // to IDC_LIST_FREE_3
constexpr int kIdMemberFirst = IDC_LIST_MEMBER_1;  // to IDC_LIST_MEMBER_20
constexpr int kIdMoreResults = IDC_LIST_MORE_RESULTS;
constexpr int kIdMessageBox = IDC_LIST_MESSAGE;
constexpr int kIdPicksSeparator = IDC_LIST_PICKS_SEPARATOR;
constexpr int kIdResultsSeparator = IDC_LIST_RESULTS_SEPARATOR;

// Bitmap and icon resources the layout names.
constexpr int kIconSectionOpen = IDI_SECTION_OPEN;
constexpr int kIconSectionClosed = IDI_SECTION_CLOSED;
constexpr uint32_t kImageTransparent = 0x808000;

// Shade styles of the skinned buttons.
constexpr int kShadeEntry = 9;
constexpr int kShadeHeader = 10;
constexpr int kShadeSelected = 11;

// Texts of the list.
extern const char kPicksHeaderCaption[];
extern const char kPicksHeaderTooltip[];
extern const char kResultsHeaderCaption[];
extern const char kResultsHeaderTooltip[];
extern const char kMoreResultsCaption[];
extern const char kNoTemplatesText[];
extern const char kNetworkMessage[];

// The 35 children: 33 buttons and the two separators, in a fixed order.
constexpr int kListChildCount = 35;
extern const std::array<int, kListChildCount> kListChildIds;
// Index of a control id in kListChildIds, -1 for other ids.
int ListChildIndex(int controlId);
// The slot of the item table an entry button shows, -1 for other ids; and back.
int SlotOfControl(int controlId);
int ControlOfSlot(int slot);

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect& o) const { return x == o.x && y == o.y && width == o.width && height == o.height; }
};

// What the layout decides for one child. A field that the layout leaves alone (a hidden
// button keeps its last caption, a button not placed keeps its place) has its flag false.
struct ChildLayout {
    int id = 0;
    bool visible = false;
    bool placed = false;  // rect is meant
    Rect rect;
    bool hasContent = false;  // caption, images, shade and dimmed are meant
    std::string caption;
    int image1 = 0;  // 0: none
    int image2 = 0;
    int icon = 0;  // headers: 221 / 223
    int shade = 0;
    bool dimmed = false;
};

struct ListState {
    int32_t picksOpen = 1;
    int32_t resultsOpen = 1;
    ResultSummary summary;
    ItemTable items;
};

struct ListLayout {
    std::array<ChildLayout, kListChildCount> children;
    int contentHeight = 0;    // the scroll size is 1 x contentHeight
    int width = 0;            // the width the children were laid out for
    bool scrollBar = false;   // the estimate needed a vertical scroll bar
    std::string messageText;  // the message box's text

    const ChildLayout& child(int controlId) const { return children[ListChildIndex(controlId)]; }
};

// width, height: the window's size and scrollBarWidth the vertical scroll bar's width, all in
// the window's pixels at dpi; every rectangle comes back in those pixels (the list's sizes are
// 96-DPI values scaled to dpi).
ListLayout LayoutList(int width, int height, int scrollBarWidth, const ListState& state, int dpi);

// The pane's own children in its client area (width W, height H, in pixels at dpi); negative
// sizes are 0.
struct PaneLayout {
    Rect searchBox;
    Rect searchButton;
    Rect list;
    Rect banner;
};
PaneLayout LayoutPane(int width, int height, int dpi);

// Scroll steps of the list: a line is 1/100 and a page 1/10 of the content height, at least 1
// (so they follow the scale with the content height).
int ScrollLine(int contentHeight);
int ScrollPage(int contentHeight);
// The position after a scroll request, kept within [0, contentHeight - viewHeight].
int ClampScroll(int position, int contentHeight, int viewHeight);

}  // namespace kv
