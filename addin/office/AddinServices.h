// What the add-in object hands to other subsystems: the update check at start-up complete, the
// login popup and the about box. Each is a small interface with a default that does nothing
// until the subsystem behind it is built; the add-in object takes them by reference so a test
// or a later build can put the real ones in.
#pragma once
#include <windows.h>

#include "TarnwickLib_h.h"

namespace kv {

// The self-update at start-up complete, once the add-in object has found the control of the
// active window's pane (and the host is newer than version 11).
class UpdateTrigger {
public:
    virtual ~UpdateTrigger() = default;
    virtual void Run(ISimTaskPane& control) = 0;
};

// The modal dialogs the ribbon opens, owned by the host's active window.
class MembershipUi {
public:
    virtual ~MembershipUi() = default;
    // The plain member login: the preview popup with the given login level, no template.
    virtual void ShowLogin(HWND owner, int loginLevel) = 0;
    virtual void ShowAbout(HWND owner) = 0;
};

// The ones the library uses today: neither does anything yet.
UpdateTrigger& DefaultUpdateTrigger();
MembershipUi& DefaultMembershipUi();

}  // namespace kv
