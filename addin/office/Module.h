// The library's COM module: its handle, the count of live objects and server locks that
// DllCanUnloadNow answers from, and the table of creatable classes behind DllGetClassObject.
#pragma once
#include <windows.h>
#include <objbase.h>

namespace kv {

// Creates an instance of one class; outer is the controlling unknown when aggregated
// (CLASS_E_NOAGGREGATION for classes that cannot be). Must not throw.
using CreateInstanceFunction = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);

struct ClassEntry {
    const CLSID* clsid;
    CreateInstanceFunction create;
};

HMODULE ModuleHandle();

// Every COM object of the library counts itself in for its lifetime, so the library stays
// loaded while any object or lock is outstanding.
void ModuleAddRef();
void ModuleRelease();
LONG ModuleCount();

}  // namespace kv
