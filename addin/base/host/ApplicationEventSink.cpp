#include "addin/base/host/ApplicationEventSink.h"

#include <ocidl.h>

namespace kv {

const InterfaceEntry* ApplicationEventSink::Interfaces() {
    static const InterfaceEntry table[] = {KV_INTERFACE(ApplicationEventSink, IDispatch), {}};
    return table;
}

STDMETHODIMP ApplicationEventSink::QueryInterface(REFIID iid, void** out) {
    return ComObject::QueryInterface(IsEqualIID(iid, iid_) ? IID_IDispatch : iid, out);
}

STDMETHODIMP ApplicationEventSink::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP ApplicationEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP ApplicationEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP ApplicationEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                          UINT*) {
    return Guard([&] {
        // The receiver may disconnect while it handles the event; this sink stays alive for it.
        ComPtr<ApplicationEventSink> keep(this);
        if (receiver_) receiver_->OnApplicationEvent(iid_, id, params);
        return S_OK;
    });
}

HRESULT ApplicationEventSink::Connect(IUnknown* source) {
    if (!source) return E_POINTER;
    if (point_) return S_FALSE;
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.putVoid());
    if (FAILED(hr)) return hr;
    ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(iid_, point.put());
    if (FAILED(hr)) return hr;
    if (!point) return E_POINTER;
    DWORD cookie = 0;
    hr = point->Advise(static_cast<IDispatch*>(this), &cookie);
    if (FAILED(hr)) return hr;
    point_ = std::move(point);
    cookie_ = cookie;
    return S_OK;
}

void ApplicationEventSink::Disconnect() {
    receiver_ = nullptr;
    if (point_) point_->Unadvise(cookie_);
    point_.reset();
}

}  // namespace kv
