// The module the add-in's windows take their resources from and register their window classes
// in. Windows only.
#pragma once
#include <windows.h>

namespace kv {

// preferred when a caller names one; else the library's own module (ModuleHandle(), set from
// DllMain); else, in a test program that links the code without a DllMain, the module that
// holds this code.
HMODULE ResourceModule(HMODULE preferred = nullptr);

}  // namespace kv
