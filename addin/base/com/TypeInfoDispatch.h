// IDispatch answered from type information, written once for every dual or dispatch
// interface of this module: the control framework's and the add-in object's.
//
// DispatchPart<I> implements IDispatch for interface I. The final class says where I's type
// information comes from (TypeInfoFor); Invoke calls through it on the object unless the
// final class routes the call itself (InvokeFor).
#pragma once
#include <windows.h>
#include <oleauto.h>

namespace kv {

// Calls member id of self through typeInfo. For the dispatch half of a dual interface the call
// goes through its vtable half, which ITypeInfo::Invoke needs.
HRESULT InvokeThroughTypeInfo(ITypeInfo* typeInfo, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept;

// The type information of iid from a type library in this module's resources: 1 the first,
// 2 and on the others ("<module>\\2"). Loaded at each call; callers keep what they use.
HRESULT ModuleTypeInfo(int typeLibraryIndex, REFIID iid, ITypeInfo** info) noexcept;

template <class I>
class DispatchPart : public I {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return TypeInfoFor(__uuidof(I), info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* info = nullptr;
        HRESULT hr = TypeInfoFor(__uuidof(I), &info);
        if (FAILED(hr)) return hr;
        hr = ::DispGetIDsOfNames(info, names, count, ids);
        info->Release();
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return InvokeFor(__uuidof(I), id, flags, params, result, exception, argumentError);
    }

protected:
    // I's type information with a reference for the caller; a failure is the caller's answer.
    virtual HRESULT TypeInfoFor(REFIID iid, ITypeInfo** info) = 0;
    // By default the member of I on this object.
    virtual HRESULT InvokeFor(REFIID iid, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception, UINT* argumentError) {
        ITypeInfo* info = nullptr;
        HRESULT hr = TypeInfoFor(iid, &info);
        if (FAILED(hr)) return hr;
        hr = InvokeThroughTypeInfo(info, static_cast<I*>(this), id, flags, params, result, exception, argumentError);
        info->Release();
        return hr;
    }
};

}  // namespace kv
