// The keys the task pane examines when the container offers it a keyboard message (the
// control's accelerator translation): Enter searches, the navigation keys stay with the pane,
// everything else is the container's.
#pragma once
#include <cstdint>

namespace kv {

enum class PaneKey {
    Search,       // search as the search button does, then report "not translated"
    KeepInPane,   // report "not translated" without offering it to the container
    OfferToHost,  // the container's accelerator translation decides
};

constexpr unsigned kKeyDownMessage = 0x0100;  // WM_KEYDOWN

PaneKey DecidePaneKey(unsigned message, uintptr_t virtualKey);

}  // namespace kv
