#include "tools/hostsim/win/Dispatch.h"

#include "tools/hostsim/win/Log.h"

namespace hostsim {

const VARIANT* DispArgs::Get(UINT position, DISPID paramId) const {
    if (!p_ || !p_->rgvarg) return nullptr;
    const VARIANT* found = nullptr;
    for (UINT i = 0; i < p_->cNamedArgs && p_->rgdispidNamedArgs; ++i)
        if (p_->rgdispidNamedArgs[i] == paramId) found = &p_->rgvarg[i];
    if (!found) {
        UINT positional = p_->cArgs - p_->cNamedArgs;
        if (position < positional) found = &p_->rgvarg[p_->cArgs - 1 - position];
    }
    if (!found) return nullptr;
    const VARIANT* v = found;
    if (V_VT(v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
    if (V_VT(v) == VT_ERROR && V_ERROR(v) == DISP_E_PARAMNOTFOUND) return nullptr;
    return v;
}

const VARIANT* DispArgs::PutValue() const {
    if (!p_ || !p_->rgvarg || p_->cArgs < 1) return nullptr;
    for (UINT i = 0; i < p_->cNamedArgs && p_->rgdispidNamedArgs; ++i)
        if (p_->rgdispidNamedArgs[i] == DISPID_PROPERTYPUT) return &p_->rgvarg[i];
    return &p_->rgvarg[0];
}

HRESULT DispArgs::GetString(UINT position, DISPID paramId, std::wstring& out) const {
    const VARIANT* v = Get(position, paramId);
    return v ? VariantToString(*v, out) : DISP_E_PARAMNOTFOUND;
}
HRESULT DispArgs::GetBool(UINT position, DISPID paramId, bool& out) const {
    const VARIANT* v = Get(position, paramId);
    return v ? VariantToBool(*v, out) : DISP_E_PARAMNOTFOUND;
}
HRESULT DispArgs::GetInt(UINT position, DISPID paramId, int& out) const {
    const VARIANT* v = Get(position, paramId);
    return v ? VariantToInt(*v, out) : DISP_E_PARAMNOTFOUND;
}

HRESULT VariantToString(const VARIANT& v, std::wstring& out) {
    Variant tmp;
    HRESULT hr = VariantChangeType(tmp.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    BSTR b = V_BSTR(&tmp.v());
    out.assign(b ? b : L"", b ? SysStringLen(b) : 0);
    return S_OK;
}

HRESULT VariantToBool(const VARIANT& v, bool& out) {
    Variant tmp;
    if (FAILED(VariantChangeType(tmp.get(), const_cast<VARIANT*>(&v), 0, VT_BOOL))) return DISP_E_TYPEMISMATCH;
    out = V_BOOL(&tmp.v()) != VARIANT_FALSE;
    return S_OK;
}

HRESULT VariantToInt(const VARIANT& v, int& out) {
    Variant tmp;
    if (FAILED(VariantChangeType(tmp.get(), const_cast<VARIANT*>(&v), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
    out = V_I4(&tmp.v());
    return S_OK;
}

void SetResult(VARIANT* r, const std::wstring& s) {
    if (!r) return;
    VariantInit(r);
    V_VT(r) = VT_BSTR;
    V_BSTR(r) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}
void SetResult(VARIANT* r, bool b) {
    if (!r) return;
    VariantInit(r);
    V_VT(r) = VT_BOOL;
    V_BOOL(r) = b ? VARIANT_TRUE : VARIANT_FALSE;
}
void SetResult(VARIANT* r, int i) {
    if (!r) return;
    VariantInit(r);
    V_VT(r) = VT_I4;
    V_I4(r) = i;
}
void SetResult(VARIANT* r, IDispatch* d) {
    if (!r) return;
    VariantInit(r);
    V_VT(r) = VT_DISPATCH;
    V_DISPATCH(r) = d;
    if (d) d->AddRef();
}

HRESULT RaiseException(EXCEPINFO* ex, const std::wstring& source, const std::wstring& text, HRESULT code) {
    if (ex) {
        ZeroMemory(ex, sizeof *ex);
        ex->bstrSource = SysAllocString(source.c_str());
        ex->bstrDescription = SysAllocString(text.c_str());
        ex->scode = code;
    }
    return DISP_E_EXCEPTION;
}

namespace {
TrackedObject* g_trackedHead = nullptr;
}

void TrackObject(TrackedObject& entry, IUnknown* object) noexcept {
    entry.object = object;
    entry.prev = nullptr;
    entry.next = g_trackedHead;
    if (g_trackedHead) g_trackedHead->prev = &entry;
    g_trackedHead = &entry;
}

void UntrackObject(TrackedObject& entry) noexcept {
    if (entry.prev)
        entry.prev->next = entry.next;
    else if (g_trackedHead == &entry)
        g_trackedHead = entry.next;
    if (entry.next) entry.next->prev = entry.prev;
    entry.prev = entry.next = nullptr;
    entry.object = nullptr;
}

size_t TrackedObjectCount() noexcept {
    size_t n = 0;
    for (TrackedObject* t = g_trackedHead; t; t = t->next) ++n;
    return n;
}

void DisconnectAllObjects() noexcept {
    // Dropping the clients' references may destroy an object and others it owns, which takes
    // them off the list being walked: the current and the next entry are held meanwhile.
    TrackedObject* t = g_trackedHead;
    ComPtr<IUnknown> current(t ? t->object : nullptr);
    while (t) {
        TrackedObject* nextEntry = t->next;
        ComPtr<IUnknown> next(nextEntry ? nextEntry->object : nullptr);
        CoDisconnectObject(current.get(), 0);
        current = std::move(next);
        t = nextEntry;
    }
}

HRESULT LookUpDispNames(const char* object, const DispMember* members, size_t count, LPOLESTR* names, UINT nameCount,
                        DISPID* ids) {
    if (!names || !ids || nameCount == 0) return E_INVALIDARG;
    for (UINT i = 0; i < nameCount; ++i) ids[i] = DISPID_UNKNOWN;
    const DispMember* member = nullptr;
    for (size_t i = 0; i < count && names[0]; ++i)
        if (lstrcmpiW(members[i].name, names[0]) == 0) member = &members[i];
    if (!member) {
        Log("host<-",
            std::string(object) + ".GetIDsOfNames(" + Quote(names[0] ? names[0] : L"") + ") = DISP_E_UNKNOWNNAME");
        return DISP_E_UNKNOWNNAME;
    }
    ids[0] = member->id;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < nameCount; ++i) {
        for (int p = 0; p < 4 && member->params[p]; ++p)
            if (names[i] && lstrcmpiW(member->params[p], names[i]) == 0) ids[i] = p;
        if (ids[i] == DISPID_UNKNOWN) {
            hr = DISP_E_UNKNOWNNAME;
            Log("host<-", std::string(object) + ".GetIDsOfNames(" + Quote(names[0]) + ", parameter " +
                              Quote(names[i] ? names[i] : L"") + ") = DISP_E_UNKNOWNNAME");
        }
    }
    return hr;
}

}  // namespace hostsim
