// The generic part of an in-process COM server: the module handle, the count of live objects
// and server locks, and one class factory over a table of creatable classes. Each library keeps
// its own table and calls ServeClassObject and CanUnloadModule from its exports.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <cstddef>

namespace kv {

// Creates an instance of one class; outer is the controlling unknown when aggregated (a class
// that cannot be aggregated answers CLASS_E_NOAGGREGATION). Must not throw.
using CreateInstanceFunction = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);

// One creatable class of a library: how it is made (DllGetClassObject) and what registration
// writes for it (DllRegisterServer, ComRegistration.h). A library keeps one table of these.
struct ClassEntry {
    const CLSID* clsid;
    CreateInstanceFunction create;
    const wchar_t* description;               // default value of the class and ProgID keys
    const wchar_t* progId;                    // e.g. "Vendor.Class.1"
    const wchar_t* versionIndependentProgId;  // e.g. "Vendor.Class", with CurVer = progId
    bool control;                             // Control, ToolboxBitmap32, MiscStatus and Version entries
    int toolboxBitmap;                        // bitmap resource of ToolboxBitmap32 ("path, id"), controls only
    DWORD miscStatus;                         // MiscStatus\1, controls only
};

// Set once from DllMain (DLL_PROCESS_ATTACH).
void SetModuleHandle(HMODULE module);
HMODULE ModuleHandle();

// Every COM object of the library counts itself in for its lifetime, so the library stays
// loaded while any object or lock is outstanding.
void ModuleAddRef();
void ModuleRelease();
LONG ModuleCount();

// The body of DllGetClassObject: a class factory for the entry of table whose class id is
// clsid, CLASS_E_CLASSNOTAVAILABLE for any other.
HRESULT ServeClassObject(const ClassEntry* table, size_t count, REFCLSID clsid, REFIID iid, void** object) noexcept;

// The body of DllCanUnloadNow.
HRESULT CanUnloadModule() noexcept;

}  // namespace kv
