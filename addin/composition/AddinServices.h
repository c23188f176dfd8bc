// What the add-in object hands to other subsystems: the update check at start-up complete, the
// login popup and the about box. Each is a small interface with a library default; the add-in
// object takes them by reference so a test or a later build can put other ones in.
#pragma once
#include <windows.h>

#include <string>

#include "TarnwickLib_h.h"
#include "addin/features/membership/MembershipWin.h"
#include "addin/features/service/Identity.h"
#include "addin/features/service/UsageLog.h"

namespace kv {

// The library's usage log and reports: to wherever the "service" setting points, read at each
// send; a request that cannot be sent is lost without affecting the caller.
class LibraryLogSender final : public LogSender {
public:
    void Send(const std::string& target, const std::string& userAgentLine) override;
};

// The self-update at start-up complete, once the add-in object has found the control of the
// active window's pane (and the host is newer than version 11).
// identity is the installation's, for the "update" usage log.
class UpdateTrigger {
public:
    virtual ~UpdateTrigger() = default;
    virtual void Run(ISimTaskPane& control, const Identity& identity) = 0;
};

// The library's self-update (LibraryUpdateTrigger.cpp): the version check through the control
// and the library replacement.
UpdateTrigger& DefaultUpdateTrigger();
// NewestVersion as text: empty until a version check got an answer.
std::string NewestVersionText();
// The login popup and the about box (addin/features/membership).
MembershipUi& DefaultMembershipUi();

}  // namespace kv
