#include "addin/base/com/ComObject.h"

#include <string>

#include "addin/base/com/ComRegistration.h"
#include "addin/base/com/TypeInfoCalls.h"

namespace kv {

HRESULT QueryInterfaceTable(void* object, const InterfaceEntry* table, REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!object || !table || !table[0].iid) return E_NOINTERFACE;
    const InterfaceEntry* found = iid == IID_IUnknown ? table : nullptr;
    for (const InterfaceEntry* entry = table; !found && entry->iid; ++entry) {
        if (*entry->iid == iid) found = entry;
    }
    if (!found) return E_NOINTERFACE;
    auto* unknown = reinterpret_cast<IUnknown*>(static_cast<char*>(object) + found->offset);
    unknown->AddRef();
    *out = unknown;
    return S_OK;
}

HRESULT InvokeThroughTypeInfo(ITypeInfo* typeInfo, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept {
    if (!typeInfo || !self) return E_POINTER;
    return Guard([&]() -> HRESULT {
        ComPtr<ITypeInfo> vtable;
        HREFTYPE ref = 0;
        if (FAILED(typeInfo->GetRefTypeOfImplType(-1, &ref)) || FAILED(typeInfo->GetRefTypeInfo(ref, vtable.put()))) {
            vtable = ComPtr<ITypeInfo>(typeInfo);  // a pure dispatch or vtable description already
        }
        return vtable->Invoke(self, id, flags, params, result, exception, argumentError);
    });
}

HRESULT ModuleTypeInfo(int typeLibraryIndex, REFIID iid, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (typeLibraryIndex < 1) return TYPE_E_CANTLOADLIBRARY;
    return Guard([&]() -> HRESULT {
        std::wstring path = ModulePath(ModuleHandle());
        if (typeLibraryIndex > 1) path += L"\\" + std::to_wstring(typeLibraryIndex);
        ComPtr<ITypeLib> lib;
        const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put());
        if (FAILED(hr)) return hr;
        return lib->GetTypeInfoOfGuid(iid, info);
    });
}

}  // namespace kv
