// IDispatch answered from type information, written once for every dual or dispatch
// interface of this module: the add-in object's four and the controls' own.
//
// DispatchPart<I> implements IDispatch for interface I. The final class says where I's type
// information comes from (TypeInfoFor); Invoke calls through it on the object unless the
// final class routes the call itself (InvokeFor).
#pragma once
#include <windows.h>
#include <oleauto.h>

#include "addin/base/com/TypeInfoCalls.h"

namespace kv {

template <class I>
class DispatchPart : public I {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return AnswerTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        return AnswerTypeInfo(index, info, [this](ITypeInfo** out) { return TypeInfoFor(__uuidof(I), out); });
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return AnswerIDsOfNames(iid, names, count, ids,
                                [this](ITypeInfo** out) { return TypeInfoFor(__uuidof(I), out); });
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
        return InvokeLoaded(static_cast<I*>(this), id, flags, params, result, exception, argumentError,
                            [this, &iid](ITypeInfo** out) { return TypeInfoFor(iid, out); });
    }
};

}  // namespace kv
