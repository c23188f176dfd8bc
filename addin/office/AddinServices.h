// What the add-in object hands to other subsystems: the update check at start-up complete, the
// login popup and the about box. Each is a small interface with a library default; the add-in
// object takes them by reference so a test or a later build can put other ones in.
#pragma once
#include <windows.h>

#include <string>

#include "TarnwickLib_h.h"
#include "addin/service/Identity.h"

namespace kv {

// The self-update at start-up complete, once the add-in object has found the control of the
// active window's pane (and the host is newer than version 11).
// identity is the installation's, for the "update" usage log.
class UpdateTrigger {
public:
    virtual ~UpdateTrigger() = default;
    virtual void Run(ISimTaskPane& control, const Identity& identity) = 0;
};

// The modal dialogs the ribbon opens, owned by the host's active window.
class MembershipUi {
public:
    virtual ~MembershipUi() = default;
    // The plain member login: the preview popup with the given login level, no template.
    virtual void ShowLogin(HWND owner, int loginLevel) = 0;
    virtual void ShowAbout(HWND owner) = 0;
};

// The library's self-update (LibraryUpdateTrigger.cpp): the version check through the control
// and the library replacement.
UpdateTrigger& DefaultUpdateTrigger();
// NewestVersion as text: empty until a version check got an answer.
std::string NewestVersionText();
// The login popup and the about box (addin/membership).
MembershipUi& DefaultMembershipUi();

}  // namespace kv
