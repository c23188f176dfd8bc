// Calls through this module's type information, for every class that answers IDispatch from
// it through DispatchPart (TypeInfoDispatch.h): the add-in object and the control framework.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include "platform/WinHandles.h"

namespace kv {

// Calls member id of self through typeInfo. For the dispatch half of a dual interface the call
// goes through its vtable half, which ITypeInfo::Invoke needs.
HRESULT InvokeThroughTypeInfo(ITypeInfo* typeInfo, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept;

// The type information of iid (an interface or a class) from a type library in this module's
// resources: 1 the first, 2 and on the others ("<module>\\2"). Loaded at each call; callers
// keep what they use.
HRESULT ModuleTypeInfo(int typeLibraryIndex, REFIID iid, ITypeInfo** info) noexcept;

// The bodies of IDispatch's methods for an object that describes one interface. load(ITypeInfo**)
// gives that interface's type information with a reference; it is called only when a call
// needs it, and its failure is the call's answer.
inline HRESULT AnswerTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

template <class Load>
HRESULT AnswerTypeInfo(UINT index, ITypeInfo** info, Load&& load) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return load(info);
}

template <class Load>
HRESULT AnswerIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids, Load&& load) {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    const HRESULT hr = load(info.put());
    return FAILED(hr) ? hr : DispGetIDsOfNames(info.get(), names, count, ids);
}

// Invoke's body once the interface id is checked: member id of self (the interface's pointer).
template <class Load>
HRESULT InvokeLoaded(void* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                     UINT* argumentError, Load&& load) {
    ComPtr<ITypeInfo> info;
    const HRESULT hr = load(info.put());
    if (FAILED(hr)) return hr;
    return InvokeThroughTypeInfo(info.get(), self, id, flags, params, result, exception, argumentError);
}

}  // namespace kv
