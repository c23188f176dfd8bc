// The library's COM registration: the registry entries of its two creatable classes (the
// add-in object and the task-pane control) and its type library, and their removal. The
// writing itself is the shared registration writer's (kvcom).
#pragma once
#include <windows.h>

#include <string>

#include "addin/base/com/ComRegistration.h"
#include "addin/features/service/Settings.h"

namespace kv {

// Writes every class entry (class keys removed and rewritten, ProgIDs merged) and registers
// the type library embedded in module. Returns the first failure, or S_OK.
HRESULT RegisterComServer(HMODULE module);

// Removes what RegisterComServer wrote and unregisters the type library. Entries that are
// already gone count as removed, so unregistering twice succeeds.
HRESULT UnregisterComServer();

// New identifiers from UuidCreate, as StringFromGUID2 writes them.
class SystemUuidSource : public UuidSource {
public:
    bool NewUuidText(std::string* text) override;
};

}  // namespace kv
