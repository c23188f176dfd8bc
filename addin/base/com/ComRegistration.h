// The registration writer of an in-process COM server: the registry entries of its classes
// under the classes root and the registration of the type library embedded in the module.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

#include "addin/base/com/ComServer.h"  // ClassEntry
#include "platform/WinText.h"          // GuidText

namespace kv {

// The type library of the module (resource 1 of the module file).
struct TypeLibraryRegistration {
    const GUID* libid;
    WORD major;
    WORD minor;
};

// Writes every class entry (each class key removed first and rewritten, so nothing of an older
// registration lingers; ProgID keys merged) with InprocServer32 = the module's path and
// ThreadingModel "Apartment", then registers the type library from the module file. All steps
// run; the first failure is returned, or S_OK.
HRESULT RegisterClasses(HMODULE module, const ClassEntry* classes, size_t count,
                        const TypeLibraryRegistration& typeLibrary);

// Removes the class and ProgID keys of every class (the classes root's "CLSID" key stays) and
// unregisters the type library. Entries already gone count as removed, so it can run twice.
HRESULT UnregisterClasses(const ClassEntry* classes, size_t count, const TypeLibraryRegistration& typeLibrary);

// The module's own file path; empty when it cannot be read.
std::wstring ModulePath(HMODULE module);

}  // namespace kv
