#include "addin/base/ui/ResourceModule.h"

#include "addin/base/com/ComServer.h"

namespace kv {

HMODULE ResourceModule(HMODULE preferred) {
    if (preferred) return preferred;
    if (HMODULE library = ModuleHandle()) return library;
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ResourceModule), &module);
    return module;
}

}  // namespace kv
