#include "addin/widgets/pane/PaneKeys.h"

#include <algorithm>

#include "addin/widgets/pane/ListLayout.h"

namespace kv {
namespace {

constexpr uintptr_t kTab = 9, kSpace = 32, kLeft = 37, kUp = 38, kRight = 39, kDown = 40;

int Step(int size, int from, int by, FocusEnds ends) {
    const int to = from + by;
    if (to >= 0 && to < size) return to;
    if (ends == FocusEnds::Leave) return -1;
    return (to + size) % size;
}

}  // namespace

PaneKey DecidePaneKey(unsigned message, uintptr_t virtualKey) {
    if (message != kKeyDownMessage) return PaneKey::OfferToHost;
    if (virtualKey == 13) return PaneKey::Search;
    // Page Up, Page Down, End, Home and the four arrows.
    if (virtualKey >= 33 && virtualKey <= 40) return PaneKey::KeepInPane;
    return PaneKey::OfferToHost;
}

FocusKey FocusKeyOf(unsigned message, uintptr_t virtualKey, bool shift) {
    if (message != kKeyDownMessage) return FocusKey::None;
    switch (virtualKey) {
        case kTab: return shift ? FocusKey::Previous : FocusKey::Next;
        case kUp:
        case kLeft: return FocusKey::Up;
        case kDown:
        case kRight: return FocusKey::Down;
        case kSpace: return FocusKey::Activate;
        default: return FocusKey::None;
    }
}

int NextFocusStop(const std::vector<FocusStop>& stops, int current, FocusKey key, FocusEnds ends) {
    const int size = static_cast<int>(stops.size());
    if (size == 0) return key == FocusKey::Next || key == FocusKey::Previous ? -1 : current;
    const bool known = current >= 0 && current < size;
    switch (key) {
        case FocusKey::Next: return known ? Step(size, current, 1, ends) : 0;
        case FocusKey::Previous: return known ? Step(size, current, -1, ends) : size - 1;
        case FocusKey::Up:
        case FocusKey::Down: {
            // The arrows walk the list only, and stop at its first and last control.
            if (!known || !stops[current].inList) return current;
            const int next = current + (key == FocusKey::Down ? 1 : -1);
            return next >= 0 && next < size && stops[next].inList ? next : current;
        }
        default: return current;
    }
}

std::vector<FocusStop> PaneFocusOrder(const ListLayout& list) {
    std::vector<FocusStop> stops{{IDC_PANE_SEARCH_BOX, false}, {IDC_PANE_SEARCH_BUTTON, false}};
    std::vector<const ChildLayout*> shown;
    for (const ChildLayout& child : list.children) {
        const bool takesFocus =
            child.id != kIdPicksSeparator && child.id != kIdResultsSeparator && child.id != kIdMessageBox;
        if (takesFocus && child.visible) shown.push_back(&child);
    }
    // Top to bottom as the user sees them (rows share a y only side by side: left first).
    std::stable_sort(shown.begin(), shown.end(), [](const ChildLayout* a, const ChildLayout* b) {
        return a->rect.y != b->rect.y ? a->rect.y < b->rect.y : a->rect.x < b->rect.x;
    });
    for (const ChildLayout* child : shown) stops.push_back({child->id, true});
    stops.push_back({IDC_PANE_BANNER, false});
    return stops;
}

int ScrollToShow(int scrollPosition, int top, int height, int viewHeight, int contentHeight) {
    int position = scrollPosition;
    if (top + height > position + viewHeight) position = top + height - viewHeight;
    if (top < position) position = top;
    return ClampScroll(position, contentHeight, viewHeight);
}

}  // namespace kv
