#include "addin/base/host/HostDispatch.h"

#include <climits>
#include <new>
#include <vector>

#include "addin/base/host/ApplicationEventSink.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace kv {
namespace {

// Host texts cross as ANSI (code page 949 here). A text that does not convert fails the call
// that carries it rather than reaching the host or the add-in as empty or '?'-filled text.
bool Wide(const std::string& ansi, std::wstring* out) {
    return AnsiToWide(ansi, out);
}

// Names of properties, methods and classes: an empty or unconvertible name is no name.
std::wstring WideName(const std::string& name) {
    std::wstring w;
    return Wide(name, &w) ? w : std::wstring();
}

// False for a text that has no ANSI form; every other value converts (unknown types to Empty).
bool FromVariant(const VARIANT& v, HostValue* value) {
    switch (v.vt) {
        case VT_BOOL: *value = HostValue::Bool(v.boolVal != VARIANT_FALSE); return true;
        case VT_BSTR: {
            std::string text;
            if (!WideToAnsi(std::wstring_view(v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal)), &text)) {
                return false;
            }
            *value = HostValue::Text(std::move(text));
            return true;
        }
        case VT_DISPATCH: *value = v.pdispVal ? HostValue::Object(WrapDispatch(v.pdispVal)) : HostValue(); return true;
        case VT_EMPTY:
        case VT_NULL: *value = HostValue(); return true;
        default: {
            // Every other number (window handles come as VT_I4 or VT_I8) as a 64-bit integer.
            Variant copy;
            *value = HostValue();
            if (SUCCEEDED(VariantChangeType(copy.get(), const_cast<VARIANT*>(&v), 0, VT_I8))) {
                *value = HostValue::Int(copy.v().llVal);
            }
            return true;
        }
    }
}

// Fills an initialised VARIANT that the caller owns; false when a text does not convert or
// its BSTR cannot be allocated.
bool ToVariant(const HostValue& value, VARIANT* v) {
    switch (value.type) {
        case HostValue::Type::Int:
            if (value.number >= INT32_MIN && value.number <= INT32_MAX) {
                v->vt = VT_I4;
                v->lVal = static_cast<LONG>(value.number);
            } else {
                v->vt = VT_I8;
                v->llVal = value.number;
            }
            return true;
        case HostValue::Type::Bool:
            v->vt = VT_BOOL;
            v->boolVal = value.number ? VARIANT_TRUE : VARIANT_FALSE;
            return true;
        case HostValue::Type::Text: {
            std::wstring wide;
            if (!Wide(value.text, &wide) || wide.size() > UINT_MAX) return false;
            Bstr text(wide);
            if (!text.get()) return false;
            v->vt = VT_BSTR;
            v->bstrVal = text.release();
            return true;
        }
        case HostValue::Type::Object:
            if (IDispatch* d = value.object ? DispatchOf(*value.object) : nullptr) {
                d->AddRef();
                v->vt = VT_DISPATCH;
                v->pdispVal = d;
            }
            return true;
        default: return true;
    }
}

// Hands the events of one connection to the portable sink, arguments converted to host values.
class DispatchConnection final : public HostEventConnection, private ApplicationEventReceiver {
public:
    DispatchConnection(const IID& iid, HostEventSink& sink)
        : sink_(sink),
          eventSink_(ComPtr<ApplicationEventSink>::adopt(new (std::nothrow) ApplicationEventSink(iid, *this))) {}
    ~DispatchConnection() override {
        if (eventSink_) eventSink_->Disconnect();  // the host may still hold the sink for a while
    }

    HRESULT Connect(IDispatch* source) { return eventSink_ ? eventSink_->Connect(source) : E_OUTOFMEMORY; }

private:
    void OnApplicationEvent(REFIID, DISPID id, const DISPPARAMS* params) override {
        std::vector<HostValue> args;
        if (params && params->rgvarg) {
            // rgvarg holds the arguments last first.
            for (UINT i = params->cArgs; i > 0; --i) {
                const VARIANT* a = &params->rgvarg[i - 1];
                if (a->vt == (VT_VARIANT | VT_BYREF) && a->pvarVal) a = a->pvarVal;
                // An argument text without an ANSI form reaches the sink as Empty.
                HostValue value;
                if (!FromVariant(*a, &value)) value = HostValue();
                args.push_back(std::move(value));
            }
        }
        sink_.OnHostEvent(static_cast<int32_t>(id), args);
    }

    HostEventSink& sink_;
    ComPtr<ApplicationEventSink> eventSink_;
};

class DispatchObject : public HostObject {
public:
    explicit DispatchObject(IDispatch* d) : d_(d) {}
    IDispatch* dispatch() const { return d_.get(); }

    bool GetProperty(const std::string& name, HostValue* value) override {
        DISPID id;
        if (!DispId(name, &id)) return false;
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        Variant result;
        if (FAILED(d_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result.get(), nullptr,
                              nullptr))) {
            return false;
        }
        HostValue got;
        if (!FromVariant(result.v(), &got)) return false;
        if (value) *value = std::move(got);
        return true;
    }

    bool PutProperty(const std::string& name, const HostValue& value) override {
        DISPID id;
        if (!DispId(name, &id)) return false;
        VariantArray args(1);
        if (!ToVariant(value, &args[0])) return false;
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {args.data(), &named, 1, 1};
        WORD flags = value.type == HostValue::Type::Object ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
        return SUCCEEDED(d_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr, nullptr, nullptr));
    }

    bool Call(const std::string& name, const std::vector<NamedArg>& args, HostValue* result) override {
        // One look-up for the method and its argument names: ids[0] is the method.
        std::vector<std::wstring> wideNames;
        wideNames.push_back(WideName(name));
        for (const NamedArg& a : args) wideNames.push_back(WideName(a.name));
        std::vector<LPOLESTR> names;
        for (std::wstring& w : wideNames) {
            if (w.empty()) return false;
            names.push_back(&w[0]);
        }
        std::vector<DISPID> ids(names.size());
        if (FAILED(d_->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT,
                                     ids.data()))) {
            return false;
        }
        const size_t n = args.size();
        VariantArray values(n);
        std::vector<DISPID> namedIds(n);
        for (size_t i = 0; i < n; ++i) {
            // Named arguments are passed last first, each with its id at the same position.
            if (!ToVariant(args[n - 1 - i].value, &values[i])) return false;
            namedIds[i] = ids[n - i];
        }
        DISPPARAMS params = {values.data(), n ? namedIds.data() : nullptr, static_cast<UINT>(n), static_cast<UINT>(n)};
        Variant out;
        if (FAILED(d_->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, out.get(), nullptr,
                              nullptr))) {
            return false;
        }
        HostValue got;
        if (!FromVariant(out.v(), &got)) return false;
        if (result) *result = std::move(got);
        return true;
    }

    std::unique_ptr<HostEventConnection> ConnectEvents(const std::string& interfaceId, HostEventSink& sink) override {
        std::wstring text = WideName(interfaceId);
        IID iid;
        if (text.empty() || FAILED(IIDFromString(&text[0], &iid))) return nullptr;
        auto connection = std::unique_ptr<DispatchConnection>(new (std::nothrow) DispatchConnection(iid, sink));
        if (!connection || FAILED(connection->Connect(d_.get()))) return nullptr;
        return connection;
    }

private:
    bool DispId(const std::string& name, DISPID* id) {
        std::wstring w = WideName(name);
        if (w.empty()) return false;
        LPOLESTR p = &w[0];
        return SUCCEEDED(d_->GetIDsOfNames(IID_NULL, &p, 1, LOCALE_USER_DEFAULT, id));
    }

    ComPtr<IDispatch> d_;
};

bool ClassId(const std::string& progId, CLSID* clsid) {
    std::wstring w = WideName(progId);
    return !w.empty() && SUCCEEDED(CLSIDFromProgID(w.c_str(), clsid));
}

HostObjectPtr FromUnknown(IUnknown* unknown) {
    ComPtr<IDispatch> d;
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
    ComPtr<IUnknown> unknown;
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
    ComPtr<IDispatch> d;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, d.putVoid()))) return nullptr;
    return WrapDispatch(d.get());
}

}  // namespace kv
