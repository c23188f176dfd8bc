#include "addin/widgets/pane/PaneKeys.h"

namespace kv {

PaneKey DecidePaneKey(unsigned message, uintptr_t virtualKey) {
    if (message != kKeyDownMessage) return PaneKey::OfferToHost;
    if (virtualKey == 13) return PaneKey::Search;
    // Page Up, Page Down, End, Home and the four arrows.
    if (virtualKey >= 33 && virtualKey <= 40) return PaneKey::KeepInPane;
    return PaneKey::OfferToHost;
}

}  // namespace kv
