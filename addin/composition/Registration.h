// The library's COM classes: one table of its two creatable classes (the add-in object and the
// task-pane control) from which DllGetClassObject creates them and DllRegisterServer writes
// their registry entries and the type library's, and their removal. The factory and the
// writing itself are the shared ones (kvcom).
#pragma once
#include <windows.h>

#include <string>

#include "addin/base/com/ComRegistration.h"
#include "addin/features/service/Settings.h"

namespace kv {

// DllGetClassObject's answer: a class factory for one of the library's classes,
// CLASS_E_CLASSNOTAVAILABLE for any other class id.
HRESULT GetComClassObject(REFCLSID clsid, REFIID iid, void** object);

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
