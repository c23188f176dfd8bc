// The keys the task pane examines when the container offers it a keyboard message (the
// control's accelerator translation): Enter searches, the navigation keys stay with the pane,
// everything else is the container's. Tab, Shift+Tab, the arrows and Space also move the
// focus through the pane's controls and activate the focused one (FocusKeyOf, NextFocusStop).
#pragma once
#include <cstdint>
#include <vector>

namespace kv {

struct ListLayout;

enum class PaneKey {
    Search,       // search as the search button does, then report "not translated"
    KeepInPane,   // report "not translated" without offering it to the container
    OfferToHost,  // the container's accelerator translation decides
};

constexpr unsigned kKeyDownMessage = 0x0100;  // WM_KEYDOWN

PaneKey DecidePaneKey(unsigned message, uintptr_t virtualKey);

// The focus keys: Tab and Shift+Tab through every control, Up and Down (Left, Right too)
// between the list's controls, Space on a button.
enum class FocusKey { None, Next, Previous, Up, Down, Activate };
FocusKey FocusKeyOf(unsigned message, uintptr_t virtualKey, bool shift);

// One control that takes the focus, in tab order; inList: a header, entry or link of the list.
struct FocusStop {
    int id = 0;
    bool inList = false;
};

// What happens at the first or last stop: wrap around, or leave the pane to the container.
enum class FocusEnds { Wrap, Leave };

// The index in stops of the control that gets the focus after key, from the control at
// current (-1: none of them has it). -1 when the focus leaves the pane; current itself when
// nothing moves (arrows outside the list or at its ends, Activate, None).
int NextFocusStop(const std::vector<FocusStop>& stops, int current, FocusKey key, FocusEnds ends);

// The pane's tab order: the search box, the search button, the list's visible headers, entries
// and link from top to bottom, the banner.
std::vector<FocusStop> PaneFocusOrder(const ListLayout& list);

// The scroll position that shows [top, top + height) of the content in a view of viewHeight:
// unchanged when it shows already, otherwise the nearest one that does (the top edge first
// when it is taller than the view).
int ScrollToShow(int scrollPosition, int top, int height, int viewHeight, int contentHeight);

}  // namespace kv
