// IDispatch by a table of names: the host's objects answer GetIDsOfNames from a static table
// (member names and their parameter names) and route Invoke to one Call per object.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>

#include "tools/hostsim/win/ComSupport.h"

namespace hostsim {

struct DispMember {
    const wchar_t* name;
    DISPID id;
    const wchar_t* params[4];
};

// The arguments of one Invoke: positional by index (0 = first), or named by parameter id.
class DispArgs {
public:
    explicit DispArgs(DISPPARAMS* p) : p_(p) {}
    // Null when the argument was not passed or passed as "missing" (DISP_E_PARAMNOTFOUND).
    const VARIANT* Get(UINT position, DISPID paramId) const;
    const VARIANT* PutValue() const;  // the value of a property put
    UINT Count() const { return p_ ? p_->cArgs : 0; }

    HRESULT GetString(UINT position, DISPID paramId, std::wstring& out) const;
    HRESULT GetBool(UINT position, DISPID paramId, bool& out) const;
    HRESULT GetInt(UINT position, DISPID paramId, int& out) const;

private:
    DISPPARAMS* p_;
};

HRESULT VariantToString(const VARIANT& v, std::wstring& out);
HRESULT VariantToBool(const VARIANT& v, bool& out);
HRESULT VariantToInt(const VARIANT& v, int& out);

void SetResult(VARIANT* result, const std::wstring& s);
void SetResult(VARIANT* result, bool b);
void SetResult(VARIANT* result, int i);
void SetResult(VARIANT* result, IDispatch* d);

// Fills an EXCEPINFO the way automation clients show it (cscript prints the description).
HRESULT RaiseException(EXCEPINFO* ex, const std::wstring& source, const std::wstring& text, HRESULT code);

// Every object the host hands out is listed while it lives (an intrusive list: listing never
// allocates), so that shutdown can cut all of them off their clients in other processes.
struct TrackedObject {
    TrackedObject* prev = nullptr;
    TrackedObject* next = nullptr;
    IUnknown* object = nullptr;
};
void TrackObject(TrackedObject& entry, IUnknown* object) noexcept;
void UntrackObject(TrackedObject& entry) noexcept;
size_t TrackedObjectCount() noexcept;
// CoDisconnectObject on every listed object: calls from other processes fail from then on and
// the references they held are released.
void DisconnectAllObjects() noexcept;

template <class I>
class DispatchImpl : public I {
public:
    DispatchImpl() { TrackObject(tracked_, static_cast<I*>(this)); }
    DispatchImpl(const DispatchImpl&) = delete;
    DispatchImpl& operator=(const DispatchImpl&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == PrimaryIid()) {
            *out = static_cast<I*>(this);
            this->AddRef();
            return S_OK;
        }
        return Guard([&] { return QueryOther(iid, out); });  // QueryOther may log
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return Guard([&] { return LookUpNames(ObjectName(), Members(), MemberCount(), names, count, ids); });
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* ex, UINT*) override {
        return Guard([&] {
            DispArgs args(params);
            return Call(id, flags, args, result, ex);
        });
    }

protected:
    virtual ~DispatchImpl() { UntrackObject(tracked_); }
    virtual REFIID PrimaryIid() const = 0;
    virtual HRESULT QueryOther(REFIID, void**) { return E_NOINTERFACE; }
    virtual const DispMember* Members() const = 0;
    virtual size_t MemberCount() const = 0;
    virtual const char* ObjectName() const = 0;
    virtual HRESULT Call(DISPID id, WORD flags, DispArgs& args, VARIANT* result, EXCEPINFO* ex) = 0;

    static HRESULT LookUpNames(const char* object, const DispMember* members, size_t count, LPOLESTR* names,
                               UINT nameCount, DISPID* ids);

private:
    LONG refs_ = 1;
    TrackedObject tracked_;
};

HRESULT LookUpDispNames(const char* object, const DispMember* members, size_t count, LPOLESTR* names, UINT nameCount,
                        DISPID* ids);

template <class I>
HRESULT DispatchImpl<I>::LookUpNames(const char* object, const DispMember* members, size_t count, LPOLESTR* names,
                                     UINT nameCount, DISPID* ids) {
    return LookUpDispNames(object, members, count, names, nameCount, ids);
}

}  // namespace hostsim
