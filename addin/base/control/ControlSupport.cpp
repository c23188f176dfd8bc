#include "addin/base/control/ControlSupport.h"

#include <cwchar>

namespace kv {

const wchar_t kControlFrameworkVersionText[] = L"KV ActiveX 1.0";

namespace {

// ---- Stock properties as values -------------------------------------------------------------

template <class T>
struct Field {
    const wchar_t* name;
    T StockProperties::*member;
};

const Field<VARIANT_BOOL> kBoolFields[] = {
    {L"AutoSize", &StockProperties::autoSize}, {L"Enabled", &StockProperties::enabled},
    {L"TabStop", &StockProperties::tabStop},   {L"BorderVisible", &StockProperties::borderVisible},
    {L"Valid", &StockProperties::valid},
};
const Field<OLE_COLOR> kColorFields[] = {
    {L"BackColor", &StockProperties::backColor},
    {L"BorderColor", &StockProperties::borderColor},
    {L"FillColor", &StockProperties::fillColor},
    {L"ForeColor", &StockProperties::foreColor},
};
const Field<long> kLongFields[] = {
    {L"BackStyle", &StockProperties::backStyle},     {L"BorderStyle", &StockProperties::borderStyle},
    {L"BorderWidth", &StockProperties::borderWidth}, {L"DrawMode", &StockProperties::drawMode},
    {L"DrawStyle", &StockProperties::drawStyle},     {L"DrawWidth", &StockProperties::drawWidth},
    {L"FillStyle", &StockProperties::fillStyle},     {L"MousePointer", &StockProperties::mousePointer},
    {L"ReadyState", &StockProperties::readyState},
};
const Field<short> kShortFields[] = {{L"Appearance", &StockProperties::appearance}};
const Field<std::wstring> kTextFields[] = {{L"Text", &StockProperties::text}, {L"Caption", &StockProperties::caption}};

// Stream record: magic, format version, extent, then the fields of the tables above in order;
// each text as a 32-bit character count and its UTF-16 characters.
constexpr DWORD kStreamMagic = 0x5841564B;  // "KVAX"
constexpr DWORD kStreamVersion = 1;
constexpr DWORD kMaxTextChars = 1u << 16;

HRESULT WriteBytes(IStream* stream, const void* data, ULONG size) {
    ULONG written = 0;
    const HRESULT hr = stream->Write(data, size, &written);
    if (FAILED(hr)) return hr;
    return written == size ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT ReadBytes(IStream* stream, void* data, ULONG size) {
    ULONG read = 0;
    const HRESULT hr = stream->Read(data, size, &read);
    if (FAILED(hr)) return hr;
    return read == size ? S_OK : STG_E_READFAULT;
}

template <class T>
HRESULT WriteValue(IStream* stream, const T& value) {
    return WriteBytes(stream, &value, sizeof value);
}
template <class T>
HRESULT ReadValue(IStream* stream, T* value) {
    return ReadBytes(stream, value, sizeof *value);
}

#define KV_TRY(expr)                 \
    do {                             \
        const HRESULT hr_ = (expr);  \
        if (FAILED(hr_)) return hr_; \
    } while (0)

HRESULT ToVariantBool(const VARIANT& in, VARIANT_BOOL* out) {
    Variant converted;
    KV_TRY(VariantChangeType(converted.get(), const_cast<VARIANT*>(&in), 0, VT_BOOL));
    *out = converted.v().boolVal ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

}  // namespace

ULONG StockStreamSize(const StockProperties& props) {
    ULONG size = 2 * sizeof(DWORD) + sizeof(SIZEL);
    size +=
        static_cast<ULONG>(std::size(kBoolFields) * sizeof(VARIANT_BOOL) + std::size(kColorFields) * sizeof(OLE_COLOR) +
                           std::size(kLongFields) * sizeof(long) + std::size(kShortFields) * sizeof(short));
    for (const auto& f : kTextFields)
        size += sizeof(DWORD) + static_cast<ULONG>((props.*f.member).size() * sizeof(wchar_t));
    return size;
}

HRESULT SaveStockToStream(IStream* stream, const StockProperties& props, const SIZEL& extent) {
    for (const auto& f : kTextFields) {
        if ((props.*f.member).size() > kMaxTextChars) return E_INVALIDARG;
    }
    KV_TRY(WriteValue(stream, kStreamMagic));
    KV_TRY(WriteValue(stream, kStreamVersion));
    KV_TRY(WriteValue(stream, extent));
    for (const auto& f : kBoolFields) KV_TRY(WriteValue(stream, props.*f.member));
    for (const auto& f : kColorFields) KV_TRY(WriteValue(stream, props.*f.member));
    for (const auto& f : kLongFields) KV_TRY(WriteValue(stream, props.*f.member));
    for (const auto& f : kShortFields) KV_TRY(WriteValue(stream, props.*f.member));
    for (const auto& f : kTextFields) {
        const std::wstring& text = props.*f.member;
        KV_TRY(WriteValue(stream, static_cast<DWORD>(text.size())));
        KV_TRY(WriteBytes(stream, text.data(), static_cast<ULONG>(text.size() * sizeof(wchar_t))));
    }
    return S_OK;
}

HRESULT LoadStockFromStream(IStream* stream, StockProperties* props, SIZEL* extent) {
    DWORD magic = 0;
    DWORD version = 0;
    KV_TRY(ReadValue(stream, &magic));
    KV_TRY(ReadValue(stream, &version));
    if (magic != kStreamMagic || version != kStreamVersion) return E_FAIL;
    StockProperties loaded = *props;
    SIZEL size = {};
    KV_TRY(ReadValue(stream, &size));
    if (size.cx < 0 || size.cy < 0) return E_FAIL;
    for (const auto& f : kBoolFields) {
        VARIANT_BOOL value = VARIANT_FALSE;
        KV_TRY(ReadValue(stream, &value));
        loaded.*f.member = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    for (const auto& f : kColorFields) KV_TRY(ReadValue(stream, &(loaded.*f.member)));
    for (const auto& f : kLongFields) KV_TRY(ReadValue(stream, &(loaded.*f.member)));
    for (const auto& f : kShortFields) KV_TRY(ReadValue(stream, &(loaded.*f.member)));
    for (const auto& f : kTextFields) {
        DWORD chars = 0;
        KV_TRY(ReadValue(stream, &chars));
        if (chars > kMaxTextChars) return E_FAIL;
        std::wstring text(chars, L'\0');
        if (chars) KV_TRY(ReadBytes(stream, &text[0], chars * sizeof(wchar_t)));
        loaded.*f.member = std::move(text);
    }
    *props = std::move(loaded);
    *extent = size;
    return S_OK;
}

HRESULT SaveStockToBag(IPropertyBag* bag, const StockProperties& props) {
    auto write = [bag](const wchar_t* name, VARIANT* value) { return bag->Write(const_cast<LPOLESTR>(name), value); };
    for (const auto& f : kBoolFields) {
        Variant v;
        v.v().vt = VT_BOOL;
        v.v().boolVal = props.*f.member;
        KV_TRY(write(f.name, v.get()));
    }
    for (const auto& f : kColorFields) {
        Variant v;
        v.v().vt = VT_I4;
        v.v().lVal = static_cast<LONG>(props.*f.member);
        KV_TRY(write(f.name, v.get()));
    }
    for (const auto& f : kLongFields) {
        Variant v;
        v.v().vt = VT_I4;
        v.v().lVal = props.*f.member;
        KV_TRY(write(f.name, v.get()));
    }
    for (const auto& f : kShortFields) {
        Variant v;
        v.v().vt = VT_I2;
        v.v().iVal = props.*f.member;
        KV_TRY(write(f.name, v.get()));
    }
    for (const auto& f : kTextFields) {
        Variant v;
        v.v().vt = VT_BSTR;
        v.v().bstrVal = Bstr(props.*f.member).release();
        if (!v.v().bstrVal) return E_OUTOFMEMORY;
        KV_TRY(write(f.name, v.get()));
    }
    return S_OK;
}

HRESULT LoadStockFromBag(IPropertyBag* bag, IErrorLog* log, StockProperties* props) {
    StockProperties loaded = *props;
    // The raw value of name, or false when the bag does not hold it.
    auto read = [bag, log](const wchar_t* name, Variant* value) {
        return SUCCEEDED(bag->Read(name, value->put(), log)) && value->v().vt != VT_EMPTY;
    };
    for (const auto& f : kBoolFields) {
        Variant v;
        if (read(f.name, &v)) KV_TRY(ToVariantBool(v.v(), &(loaded.*f.member)));
    }
    for (const auto& f : kColorFields) {
        Variant v;
        Variant converted;
        if (!read(f.name, &v)) continue;
        KV_TRY(VariantChangeType(converted.get(), v.get(), 0, VT_UI4));
        loaded.*f.member = converted.v().ulVal;
    }
    for (const auto& f : kLongFields) {
        Variant v;
        Variant converted;
        if (!read(f.name, &v)) continue;
        KV_TRY(VariantChangeType(converted.get(), v.get(), 0, VT_I4));
        loaded.*f.member = converted.v().lVal;
    }
    for (const auto& f : kShortFields) {
        Variant v;
        Variant converted;
        if (!read(f.name, &v)) continue;
        KV_TRY(VariantChangeType(converted.get(), v.get(), 0, VT_I2));
        loaded.*f.member = converted.v().iVal;
    }
    for (const auto& f : kTextFields) {
        Variant v;
        Variant converted;
        if (!read(f.name, &v)) continue;
        KV_TRY(VariantChangeType(converted.get(), v.get(), 0, VT_BSTR));
        const BSTR text = converted.v().bstrVal;
        const UINT chars = text ? SysStringLen(text) : 0;
        if (chars > kMaxTextChars) return E_FAIL;
        (loaded.*f.member).assign(text ? text : L"", chars);
    }
    *props = std::move(loaded);
    return S_OK;
}

#undef KV_TRY

// ---- Connection points ------------------------------------------------------------------------

namespace {
struct ConnectionCopy {
    static void Copy(CONNECTDATA& out, const std::pair<DWORD, ComPtr<IUnknown>>& in) {
        out.pUnk = ComPtr<IUnknown>(in.second).release();
        out.dwCookie = in.first;
    }
};
using ConnectionEnumerator = SnapshotEnumerator<IEnumConnections, &IID_IEnumConnections, CONNECTDATA,
                                                std::pair<DWORD, ComPtr<IUnknown>>, ConnectionCopy>;
}  // namespace

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID iid, void** object) {
    // The reference a found interface takes is the container's (this point's AddRef).
    static const InterfaceEntry table[] = {KV_INTERFACE(ConnectionPoint, IConnectionPoint), {}};
    return QueryInterfaceTable(this, table, iid, object);
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    *container = container_;
    container_->AddRef();
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    return Guard([&]() -> HRESULT {
        ComPtr<IUnknown> typed;
        // The sink must speak the interface this point calls.
        if (FAILED(sink->QueryInterface(iid_, typed.putVoid())) || !typed) return CONNECT_E_CANNOTCONNECT;
        sinks_.emplace_back(nextCookie_, std::move(typed));
        *cookie = nextCookie_++;
        if (nextCookie_ == 0) nextCookie_ = 1;
        return S_OK;
    });
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->first != cookie) continue;
        ComPtr<IUnknown> sink = std::move(it->second);  // released after the list is consistent
        sinks_.erase(it);
        return S_OK;
    }
    return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (!connections) return E_POINTER;
    *connections = nullptr;
    return Guard([&]() -> HRESULT {
        auto* enumerator = new (std::nothrow) ConnectionEnumerator(container_, sinks_);
        if (!enumerator) return E_OUTOFMEMORY;
        *connections = enumerator;
        return S_OK;
    });
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::Sinks() const {
    std::vector<ComPtr<IUnknown>> sinks;
    sinks.reserve(sinks_.size());
    for (const auto& entry : sinks_) sinks.push_back(entry.second);
    return sinks;
}

// ---- The control window -----------------------------------------------------------------------

namespace {

// One class per loaded module image: the name carries the module's address, so a library that
// is unloaded and loaded again elsewhere never meets a class whose procedure points into the
// old image.
const wchar_t* ControlWindowClass(WNDPROC procedure) {
    static wchar_t name[64] = {};
    if (name[0]) return name;
    swprintf(name, 64, L"KvActiveXControl:%p", static_cast<void*>(ModuleHandle()));
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = procedure;
    wc.hInstance = ModuleHandle();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = name;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        name[0] = L'\0';
        return nullptr;
    }
    return name;
}

}  // namespace

HWND ControlWindow::CreateControlWindow(HWND parent, const RECT& position) {
    const wchar_t* windowClass = ControlWindowClass(&ControlWindow::WindowProc);
    if (!windowClass) return nullptr;
    const int width = position.right - position.left;
    const int height = position.bottom - position.top;
    return CreateWindowExW(0, windowClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, position.left,
                           position.top, width > 0 ? width : 0, height > 0 ? height : 0, parent, nullptr,
                           ModuleHandle(), this);
}

LRESULT CALLBACK ControlWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<ControlWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = window;
    }
    auto* self = reinterpret_cast<ControlWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's message dispatch.
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void DrawDefaultFace(HDC dc, const RECT& bounds, const wchar_t* text) {
    SavedDcState saved(dc);
    SelectedObject brush(dc, GetStockObject(WHITE_BRUSH));
    SelectedObject pen(dc, GetStockObject(BLACK_PEN));
    Rectangle(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    RECT area = bounds;
    DrawTextW(dc, text, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

}  // namespace kv
