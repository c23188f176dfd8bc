#include "addin/office/HostDispatch.h"

#include <climits>
#include <new>
#include <vector>

namespace kv {
namespace {

// One reference of a COM interface, released on scope exit.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* p, bool addRef) : p_(p) {
        if (p_ && addRef) p_->AddRef();
    }
    ~ComRef() { reset(); }
    ComRef(const ComRef& o) : ComRef(o.p_, true) {}
    ComRef& operator=(const ComRef& o) {
        if (this != &o) {
            if (o.p_) o.p_->AddRef();
            reset();
            p_ = o.p_;
        }
        return *this;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    explicit Bstr(const std::wstring& text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }
    BSTR release() {
        BSTR b = b_;
        b_ = nullptr;
        return b;
    }

private:
    BSTR b_;
};

class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }

private:
    VARIANT v_;
};

std::wstring Wide(const std::string& ansi) {
    if (ansi.empty() || ansi.size() > INT_MAX / 2) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &w[0], n);
    return w;
}

std::string Narrow(const wchar_t* wide, size_t count) {
    if (!wide || count == 0 || count > INT_MAX / 4) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(count), &s[0], n, nullptr, nullptr);
    return s;
}

HostValue FromVariant(const VARIANT& v) {
    switch (v.vt) {
        case VT_BOOL: return HostValue::Bool(v.boolVal != VARIANT_FALSE);
        case VT_BSTR: return HostValue::Text(Narrow(v.bstrVal, SysStringLen(v.bstrVal)));
        case VT_DISPATCH: return v.pdispVal ? HostValue::Object(WrapDispatch(v.pdispVal)) : HostValue();
        case VT_EMPTY:
        case VT_NULL: return HostValue();
        default: {
            // Every other number (window handles come as VT_I4 or VT_I8) as a 64-bit integer.
            VARIANT copy;
            VariantInit(&copy);
            HostValue result;
            if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_I8))) {
                result = HostValue::Int(copy.llVal);
            }
            VariantClear(&copy);
            return result;
        }
    }
}

// Fills an initialised VARIANT; the caller clears it.
void ToVariant(const HostValue& value, VARIANT* v) {
    switch (value.type) {
        case HostValue::Type::Int:
            if (value.number >= INT32_MIN && value.number <= INT32_MAX) {
                v->vt = VT_I4;
                v->lVal = static_cast<LONG>(value.number);
            } else {
                v->vt = VT_I8;
                v->llVal = value.number;
            }
            break;
        case HostValue::Type::Bool:
            v->vt = VT_BOOL;
            v->boolVal = value.number ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case HostValue::Type::Text:
            v->vt = VT_BSTR;
            v->bstrVal = Bstr(Wide(value.text)).release();
            break;
        case HostValue::Type::Object:
            if (IDispatch* d = value.object ? DispatchOf(*value.object) : nullptr) {
                d->AddRef();
                v->vt = VT_DISPATCH;
                v->pdispVal = d;
            }
            break;
        default: break;
    }
}

// VARIANT arguments owned for the length of one Invoke.
class ArgumentBlock {
public:
    explicit ArgumentBlock(size_t count) : args_(count) {
        for (VARIANT& v : args_) VariantInit(&v);
    }
    ~ArgumentBlock() {
        for (VARIANT& v : args_) VariantClear(&v);
    }
    ArgumentBlock(const ArgumentBlock&) = delete;
    ArgumentBlock& operator=(const ArgumentBlock&) = delete;
    VARIANT* data() { return args_.empty() ? nullptr : args_.data(); }
    VARIANT& operator[](size_t i) { return args_[i]; }

private:
    std::vector<VARIANT> args_;
};

// The event sink handed to a connection point: an IDispatch that also answers the event
// interface's id, and forwards each call to the portable sink.
class EventSink final : public IDispatch {
public:
    EventSink(const IID& iid, HostEventSink& sink) : iid_(iid), sink_(&sink) {}
    void Detach() { sink_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, iid_)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        try {
            if (!sink_) return S_OK;
            std::vector<HostValue> args;
            if (params && params->rgvarg) {
                // rgvarg holds the arguments last first.
                for (UINT i = params->cArgs; i > 0; --i) {
                    VARIANT* a = &params->rgvarg[i - 1];
                    if (a->vt == (VT_VARIANT | VT_BYREF) && a->pvarVal) a = a->pvarVal;
                    args.push_back(FromVariant(*a));
                }
            }
            sink_->OnHostEvent(static_cast<int32_t>(id), args);
            return S_OK;
        } catch (...) {
            return E_FAIL;
        }
    }

private:
    ~EventSink() = default;
    IID iid_;
    HostEventSink* sink_;
    LONG refs_ = 1;
};

class DispatchConnection : public HostEventConnection {
public:
    DispatchConnection(ComRef<IConnectionPoint> point, EventSink* sink, DWORD cookie)
        : point_(point), sink_(sink), cookie_(cookie) {}
    ~DispatchConnection() override {
        sink_->Detach();  // the host may still hold the sink for a while
        point_->Unadvise(cookie_);
        sink_->Release();
    }

private:
    ComRef<IConnectionPoint> point_;
    EventSink* sink_;
    DWORD cookie_;
};

class DispatchObject : public HostObject {
public:
    explicit DispatchObject(IDispatch* d) : d_(d, true) {}
    IDispatch* dispatch() const { return d_.get(); }

    bool GetProperty(const std::string& name, HostValue* value) override {
        DISPID id;
        if (!DispId(name, &id)) return false;
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        Variant result;
        if (FAILED(d_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result.get(),
                              nullptr, nullptr))) {
            return false;
        }
        if (value) *value = FromVariant(*result.get());
        return true;
    }

    bool PutProperty(const std::string& name, const HostValue& value) override {
        DISPID id;
        if (!DispId(name, &id)) return false;
        ArgumentBlock args(1);
        ToVariant(value, &args[0]);
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {args.data(), &named, 1, 1};
        WORD flags = value.type == HostValue::Type::Object ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
        return SUCCEEDED(d_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr, nullptr, nullptr));
    }

    bool Call(const std::string& name, const std::vector<NamedArg>& args, HostValue* result) override {
        // One look-up for the method and its argument names: ids[0] is the method.
        std::vector<std::wstring> wideNames;
        wideNames.push_back(Wide(name));
        for (const NamedArg& a : args) wideNames.push_back(Wide(a.name));
        std::vector<LPOLESTR> names;
        for (std::wstring& w : wideNames) names.push_back(&w[0]);
        std::vector<DISPID> ids(names.size());
        if (FAILED(d_->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT,
                                     ids.data()))) {
            return false;
        }
        const size_t n = args.size();
        ArgumentBlock values(n);
        std::vector<DISPID> namedIds(n);
        for (size_t i = 0; i < n; ++i) {
            // Named arguments are passed last first, each with its id at the same position.
            ToVariant(args[n - 1 - i].value, &values[i]);
            namedIds[i] = ids[n - i];
        }
        DISPPARAMS params = {values.data(), n ? namedIds.data() : nullptr, static_cast<UINT>(n),
                             static_cast<UINT>(n)};
        Variant out;
        if (FAILED(d_->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, out.get(), nullptr,
                              nullptr))) {
            return false;
        }
        if (result) *result = FromVariant(*out.get());
        return true;
    }

    std::unique_ptr<HostEventConnection> ConnectEvents(const std::string& interfaceId,
                                                       HostEventSink& sink) override {
        std::wstring text = Wide(interfaceId);
        IID iid;
        if (text.empty() || FAILED(IIDFromString(&text[0], &iid))) return nullptr;
        ComRef<IConnectionPointContainer> container;
        if (FAILED(d_->QueryInterface(IID_IConnectionPointContainer, container.putVoid()))) return nullptr;
        ComRef<IConnectionPoint> point;
        if (FAILED(container->FindConnectionPoint(iid, point.put())) || !point) return nullptr;
        EventSink* eventSink = new (std::nothrow) EventSink(iid, sink);
        if (!eventSink) return nullptr;
        DWORD cookie = 0;
        if (FAILED(point->Advise(eventSink, &cookie))) {
            eventSink->Release();
            return nullptr;
        }
        auto connection = std::unique_ptr<HostEventConnection>(new (std::nothrow)
                                                                   DispatchConnection(point, eventSink, cookie));
        if (!connection) {
            point->Unadvise(cookie);
            eventSink->Release();
        }
        return connection;
    }

private:
    bool DispId(const std::string& name, DISPID* id) {
        std::wstring w = Wide(name);
        if (w.empty()) return false;
        LPOLESTR p = &w[0];
        return SUCCEEDED(d_->GetIDsOfNames(IID_NULL, &p, 1, LOCALE_USER_DEFAULT, id));
    }

    ComRef<IDispatch> d_;
};

bool ClassId(const std::string& progId, CLSID* clsid) {
    std::wstring w = Wide(progId);
    return !w.empty() && SUCCEEDED(CLSIDFromProgID(w.c_str(), clsid));
}

HostObjectPtr FromUnknown(IUnknown* unknown) {
    ComRef<IDispatch> d;
    if (!unknown || FAILED(unknown->QueryInterface(IID_IDispatch, d.putVoid())) || !d) return nullptr;
    return WrapDispatch(d.get());
}

}  // namespace

HostObjectPtr WrapDispatch(IDispatch* dispatch) {
    if (!dispatch) return nullptr;
    try {
        return std::make_shared<DispatchObject>(dispatch);
    } catch (...) {
        return nullptr;
    }
}

IDispatch* DispatchOf(const HostObject& object) {
    auto* d = dynamic_cast<const DispatchObject*>(&object);
    return d ? d->dispatch() : nullptr;
}

HostObjectPtr DispatchEnvironment::GetRunningObject(const std::string& progId) {
    CLSID clsid;
    if (!ClassId(progId, &clsid)) return nullptr;
    ComRef<IUnknown> unknown;
    if (FAILED(GetActiveObject(clsid, nullptr, unknown.put()))) return nullptr;
    return FromUnknown(unknown.get());
}

bool DispatchEnvironment::ClassExists(const std::string& progId) {
    CLSID clsid;
    return ClassId(progId, &clsid);
}

HostObjectPtr DispatchEnvironment::CreateLocalServer(const std::string& progId) {
    CLSID clsid;
    if (!ClassId(progId, &clsid)) return nullptr;
    ComRef<IDispatch> d;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, d.putVoid()))) return nullptr;
    return WrapDispatch(d.get());
}

}  // namespace kv
