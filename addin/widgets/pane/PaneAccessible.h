// What a screen reader hears of the pane's windows: each window answers the accessibility
// question (WM_GETOBJECT for its client object) with the system's object for it, whose name,
// role, description, value and expanded or collapsed state come from the pane at the time of
// the question. Everything else (position, focus, default action) stays the system's.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace kv {

struct AccessibleText {
    std::wstring name;
    std::wstring description;
    std::wstring value;
    long role = 0;  // ROLE_SYSTEM_*; 0 keeps the system's
    enum class Expanded { None, Open, Closed } expanded = Expanded::None;
};

using AccessibleSource = std::function<AccessibleText()>;

// Until the window goes. False when window is null or cannot be subclassed.
bool AttachAccessible(HWND window, AccessibleSource source);

}  // namespace kv
