// The ActiveX control framework under Wine, through a test control of ours (kvtestcontrol.dll)
// created by ProgID in Wine's own container (AtlAxWin from atl.dll) and by class id.
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "KvTestControl_h.h"
#include "platform/WinHandles.h"

namespace {

using kv::Bstr;
using kv::ComPtr;
using kv::Variant;

using AtlAxWinInitFunction = BOOL(WINAPI*)();
using AtlAxGetControlFunction = HRESULT(WINAPI*)(HWND, IUnknown**);
using CountFunction = LONG(WINAPI*)();
using ClearFunction = void(WINAPI*)();
using ExportFunction = HRESULT(WINAPI*)();

HMODULE g_control = nullptr;
AtlAxGetControlFunction g_atlAxGetControl = nullptr;

template <class F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

LONG ObjectCount() {
    return Export<CountFunction>(g_control, "TestControlObjectCount")();
}
void ClearLog() {
    Export<ClearFunction>(g_control, "TestControlClearLog")();
}

class Environment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring dll = path;
        dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"kvtestcontrol.dll";
        g_control = LoadLibraryW(dll.c_str());
        ASSERT_NE(g_control, nullptr);
        ASSERT_EQ(Export<ExportFunction>(g_control, "DllRegisterServer")(), S_OK);
        HMODULE atl = LoadLibraryW(L"atl.dll");
        ASSERT_NE(atl, nullptr);
        auto init = Export<AtlAxWinInitFunction>(atl, "AtlAxWinInit");
        g_atlAxGetControl = Export<AtlAxGetControlFunction>(atl, "AtlAxGetControl");
        ASSERT_TRUE(init && g_atlAxGetControl && init());
    }
    void TearDown() override { OleUninitialize(); }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new Environment);

ComPtr<IDispatch> NewControl() {
    ComPtr<IDispatch> control;
    EXPECT_EQ(CoCreateInstance(CLSID_TestControl, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, control.putVoid()),
              S_OK);
    return control;
}

DISPID IdOf(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return DISPID_UNKNOWN;
    return id;
}

HRESULT Put(IDispatch* object, const wchar_t* name, const VARIANT& value, WORD kind = DISPATCH_PROPERTYPUT) {
    const DISPID id = IdOf(object, name);
    if (id == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
    VARIANT arg = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&arg, &named, 1, 1};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, nullptr, nullptr, nullptr);
}

HRESULT Get(IDispatch* object, const wchar_t* name, Variant* result) {
    const DISPID id = IdOf(object, name);
    if (id == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result->put(), nullptr,
                          nullptr);
}

std::wstring Text(const VARIANT& value) {
    Variant text;
    if (FAILED(VariantChangeType(text.get(), const_cast<VARIANT*>(&value), VARIANT_ALPHABOOL, VT_BSTR))) return L"?";
    return text.v().bstrVal ? text.v().bstrVal : L"";
}

std::wstring HookLog(IDispatch* control) {
    Variant log;
    EXPECT_EQ(Get(control, L"HookLog", &log), S_OK);
    return log.v().vt == VT_BSTR && log.v().bstrVal ? log.v().bstrVal : L"";
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '#';
    return out;
}

// Records what the control announces about its properties; may refuse edits.
class PropertySink final : public IPropertyNotifySink {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IPropertyNotifySink) {
            *object = static_cast<IPropertyNotifySink*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP OnChanged(DISPID id) override {
        changed.push_back(id);
        return S_OK;
    }
    STDMETHODIMP OnRequestEdit(DISPID id) override {
        requested.push_back(id);
        return refuse ? S_FALSE : S_OK;
    }
    ULONG refs = 1;
    bool refuse = false;
    std::vector<DISPID> changed;
    std::vector<DISPID> requested;
};

class ControlTest : public ::testing::Test {
protected:
    void SetUp() override { ClearLog(); }
    // Whatever a test made, nothing of the control may outlive it.
    void TearDown() override { EXPECT_EQ(ObjectCount(), 0) << "control objects left alive"; }
};

// Wine's container creates the control by ProgID, sites it and activates it in place; the
// window follows the container's size and goes with it.
TEST_F(ControlTest, AtlAxWinHostsTheControl) {
    kv::UniqueWindow frame(CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 500, 400,
                                           nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(frame);
    HWND container = CreateWindowExW(0, L"AtlAxWin", L"KvTest.Control", WS_CHILD | WS_VISIBLE, 0, 0, 300, 200,
                                     frame.get(), nullptr, nullptr, nullptr);
    ASSERT_NE(container, nullptr);
    HWND window = nullptr;
    {
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(g_atlAxGetControl(container, unknown.put()), S_OK);
        ComPtr<IDispatch> control;
        ASSERT_EQ(unknown.as(IID_IDispatch, &control), S_OK);
        ComPtr<IOleWindow> oleWindow;
        ASSERT_EQ(unknown.as(IID_IOleWindow, &oleWindow), S_OK);

        // In-place activation made the window, a visible child of the container's window,
        // with the control's own children, placed at the container's client rectangle.
        ASSERT_EQ(oleWindow->GetWindow(&window), S_OK);
        ASSERT_TRUE(IsWindow(window));
        EXPECT_EQ(GetParent(window), container);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_NE(GetWindow(window, GW_CHILD), nullptr);
        RECT client = {};
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, 300);
        EXPECT_EQ(client.bottom, 200);
        EXPECT_EQ(Narrow(HookLog(control.get())).rfind("create;pos 0 0 300 200;", 0), 0u)
            << Narrow(HookLog(control.get()));
        Variant handle;
        ASSERT_EQ(Get(control.get(), L"HWND", &handle), S_OK);
        EXPECT_EQ(Text(handle.v()), std::to_wstring(reinterpret_cast<LONG_PTR>(window)));

        // Sizing: the container passes the new rectangle on; the hook sees it after the move,
        // and the extent the container sets follows (in the container's own HIMETRIC arithmetic).
        SetWindowPos(container, nullptr, 0, 0, 400, 250, SWP_NOZORDER | SWP_NOMOVE);
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, 400);
        EXPECT_EQ(client.bottom, 250);
        EXPECT_NE(HookLog(control.get()).find(L"pos 0 0 400 250;"), std::wstring::npos)
            << Narrow(HookLog(control.get()));
        ComPtr<IOleObject> ole;
        ASSERT_EQ(unknown.as(IID_IOleObject, &ole), S_OK);
        SIZEL extent = {};
        ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
        EXPECT_NE(extent.cx, 5080);
        EXPECT_NEAR(extent.cx * 250.0 / 400.0, extent.cy, 2.0) << extent.cx << " x " << extent.cy;

        // The message hook comes first and may answer a message itself.
        EXPECT_EQ(SendMessageW(window, WM_APP, 0, 0), 42);

        // UI activation moves the focus into the control; accelerators reach the hook first and
        // the container's control site (which handles none here) after it.
        ASSERT_EQ(ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, nullptr, 0, container, nullptr), S_OK);
        EXPECT_EQ(GetFocus(), window);
        ComPtr<IOleInPlaceActiveObject> active;
        ASSERT_EQ(unknown.as(IID_IOleInPlaceActiveObject, &active), S_OK);
        MSG f2 = {window, WM_KEYDOWN, VK_F2, 0, 0, {0, 0}};
        MSG f3 = {window, WM_KEYDOWN, VK_F3, 0, 0, {0, 0}};
        EXPECT_EQ(active->TranslateAccelerator(&f2), S_OK);
        EXPECT_EQ(active->TranslateAccelerator(&f3), S_FALSE);
        EXPECT_NE(HookLog(control.get()).find(L"accel F2;"), std::wstring::npos);
    }
    // The container closes the control when its window goes; the hook still sees its children.
    DestroyWindow(container);
    EXPECT_FALSE(IsWindow(window));
    ComPtr<IDispatch> probe = NewControl();
    ASSERT_TRUE(probe);
    const std::wstring log = HookLog(probe.get());
    EXPECT_NE(log.find(L"destroy;"), std::wstring::npos) << Narrow(log);
    probe.reset();
    EXPECT_EQ(Export<ExportFunction>(g_control, "DllCanUnloadNow")(), S_OK);
}

struct PropertyCase {
    const wchar_t* name;
    VARTYPE type;
    const wchar_t* put;       // the value given, as text converted to type
    const wchar_t* expected;  // the value read back, as text
};

// Stock properties are held in the object and reach it by name through the type library; the
// control's own members follow them in the same interface.
TEST_F(ControlTest, StockPropertiesByName) {
    ComPtr<IDispatch> control = NewControl();
    ASSERT_TRUE(control);
    const PropertyCase cases[] = {
        {L"AutoSize", VT_BOOL, L"True", L"True"},
        {L"BackColor", VT_I4, L"1193046", L"1193046"},
        {L"ForeColor", VT_UI4, L"2147483656", L"2147483656"},  // a system colour (0x80000008)
        {L"BorderColor", VT_I4, L"255", L"255"},
        {L"FillColor", VT_I4, L"65280", L"65280"},
        {L"BackStyle", VT_I4, L"1", L"1"},
        {L"BorderStyle", VT_I4, L"2", L"2"},
        {L"BorderWidth", VT_I4, L"3", L"3"},
        {L"DrawMode", VT_I4, L"13", L"13"},
        {L"DrawStyle", VT_I4, L"4", L"4"},
        {L"DrawWidth", VT_I4, L"5", L"5"},
        {L"FillStyle", VT_I4, L"7", L"7"},
        {L"MousePointer", VT_I4, L"11", L"11"},
        {L"ReadyState", VT_I4, L"1", L"1"},
        {L"Appearance", VT_I2, L"1", L"1"},
        {L"Enabled", VT_I4, L"5", L"True"},  // any non-zero value is true
        {L"Enabled", VT_BOOL, L"False", L"False"},
        {L"TabStop", VT_BOOL, L"True", L"True"},
        {L"BorderVisible", VT_BOOL, L"True", L"True"},
        {L"Valid", VT_BOOL, L"True", L"True"},
        {L"Caption", VT_BSTR, L"\uD55C\uAE00 \uCEA1\uC158", L"\uD55C\uAE00 \uCEA1\uC158"},
        {L"Text", VT_BSTR, L"plain text", L"plain text"},
        {L"Text", VT_BSTR, L"", L""},
    };
    for (const PropertyCase& c : cases) {
        SCOPED_TRACE(Narrow(c.name) + " = " + Narrow(c.put));
        Variant text;
        text.v().vt = VT_BSTR;
        text.v().bstrVal = SysAllocString(c.put);
        Variant value;
        ASSERT_EQ(VariantChangeType(value.get(), text.get(), VARIANT_ALPHABOOL, c.type), S_OK);
        ASSERT_EQ(Put(control.get(), c.name, value.v()), S_OK);
        Variant back;
        ASSERT_EQ(Get(control.get(), c.name, &back), S_OK);
        EXPECT_EQ(Text(back.v()), c.expected);
    }
    // Each property keeps its own value (no two share storage).
    Variant back;
    ASSERT_EQ(Get(control.get(), L"BackColor", &back), S_OK);
    EXPECT_EQ(Text(back.v()), L"1193046");

    // HWND is read-only; an unknown name is no member.
    Variant number;
    number.v().vt = VT_I4;
    number.v().lVal = 1;
    EXPECT_TRUE(FAILED(Put(control.get(), L"HWND", number.v())));
    EXPECT_EQ(IdOf(control.get(), L"NoSuchProperty"), DISPID_UNKNOWN);

    // Font: putref keeps the caller's object, put keeps a copy of it.
    FONTDESC description = {
        sizeof(FONTDESC), const_cast<LPOLESTR>(L"Arial"), {120000, 0}, FW_NORMAL, ANSI_CHARSET, FALSE, FALSE, FALSE};
    ComPtr<IFontDisp> font;
    ASSERT_EQ(OleCreateFontIndirect(&description, IID_IFontDisp, font.putVoid()), S_OK);
    Variant fontValue;
    fontValue.v().vt = VT_DISPATCH;
    fontValue.v().pdispVal = ComPtr<IFontDisp>(font).release();
    ASSERT_EQ(Put(control.get(), L"Font", fontValue.v(), DISPATCH_PROPERTYPUTREF), S_OK);
    Variant stored;
    ASSERT_EQ(Get(control.get(), L"Font", &stored), S_OK);
    EXPECT_EQ(stored.v().pdispVal, font.get());
    ASSERT_EQ(Put(control.get(), L"Font", fontValue.v()), S_OK);
    ASSERT_EQ(Get(control.get(), L"Font", &stored), S_OK);
    ASSERT_EQ(stored.v().vt, VT_DISPATCH);
    EXPECT_NE(stored.v().pdispVal, font.get());
    Variant name;
    Variant originalName;
    ASSERT_EQ(Get(stored.v().pdispVal, L"Name", &name), S_OK);
    ASSERT_EQ(Get(font.get(), L"Name", &originalName), S_OK);
    EXPECT_EQ(Text(name.v()), Text(originalName.v()));

    // The control's own method after the stock part: its vtable slot is found through the
    // type library.
    Variant args[2];
    args[0].v().vt = VT_I4;
    args[0].v().lVal = 3;
    args[1].v().vt = VT_I4;
    args[1].v().lVal = 2;
    VARIANT raw[2] = {args[0].v(), args[1].v()};
    DISPPARAMS params = {raw, nullptr, 2, 0};
    Variant sum;
    ASSERT_EQ(control->Invoke(IdOf(control.get(), L"Add"), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                              sum.put(), nullptr, nullptr),
              S_OK);
    EXPECT_EQ(Text(sum.v()), L"5");
}

// Property changes are announced through IPropertyNotifySink; a sink may refuse them.
TEST_F(ControlTest, PropertyNotificationAndConnectionPoints) {
    ComPtr<IDispatch> control = NewControl();
    ASSERT_TRUE(control);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(control.as(IID_IConnectionPointContainer, &container), S_OK);
    ComPtr<IConnectionPoint> events;
    EXPECT_EQ(container->FindConnectionPoint(DIID__ITestControlEvents, events.put()), S_OK);
    ComPtr<IConnectionPoint> none;
    EXPECT_EQ(container->FindConnectionPoint(IID_IClassFactory, none.put()), CONNECT_E_NOCONNECTION);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
    IConnectionPoint* listed[3] = {};
    ULONG count = 0;
    EXPECT_EQ(points->Next(3, listed, &count), S_FALSE);
    EXPECT_EQ(count, 2u);
    for (ULONG i = 0; i < count; ++i) listed[i]->Release();

    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, point.put()), S_OK);
    PropertySink sink;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    // A sink of another interface cannot connect.
    ComPtr<IUnknown> notSink = ComPtr<IUnknown>(static_cast<IUnknown*>(NewControl().get()));
    DWORD other = 0;
    EXPECT_EQ(point->Advise(notSink.get(), &other), CONNECT_E_CANNOTCONNECT);
    notSink.reset();

    Variant colour;
    colour.v().vt = VT_I4;
    colour.v().lVal = 0x00FF00;
    ASSERT_EQ(Put(control.get(), L"BackColor", colour.v()), S_OK);
    EXPECT_EQ(sink.requested, std::vector<DISPID>{DISPID_BACKCOLOR});
    EXPECT_EQ(sink.changed, std::vector<DISPID>{DISPID_BACKCOLOR});

    // A refused edit leaves the value and announces no change.
    sink.refuse = true;
    colour.v().lVal = 0x0000FF;
    Put(control.get(), L"BackColor", colour.v());
    Variant back;
    ASSERT_EQ(Get(control.get(), L"BackColor", &back), S_OK);
    EXPECT_EQ(Text(back.v()), L"65280");
    EXPECT_EQ(sink.changed.size(), 1u);

    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    sink.refuse = false;
    ASSERT_EQ(Put(control.get(), L"BackColor", colour.v()), S_OK);
    EXPECT_EQ(sink.changed.size(), 1u);
    EXPECT_EQ(sink.refs, 1u) << "the control keeps no reference to a sink after Unadvise";
}

struct SafetyCase {
    const char* what;
    const IID* iid;
    DWORD mask;
    DWORD enable;
    bool setSucceeds;
    DWORD supportedAfter;
    DWORD enabledAfter;
    bool getSucceeds;
};

// Safe for untrusted callers (bit 1) only, and only for interfaces the object has.
TEST_F(ControlTest, ObjectSafety) {
    ComPtr<IDispatch> control = NewControl();
    ASSERT_TRUE(control);
    ComPtr<IObjectSafety> safety;
    ASSERT_EQ(control.as(IID_IObjectSafety, &safety), S_OK);
    DWORD supported = 9;
    DWORD enabled = 9;
    ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 1u);
    EXPECT_EQ(enabled, 0u);
    const SafetyCase cases[] = {
        {"data safety refused", &IID_IDispatch, 2, 2, false, 1, 0, true},
        {"both bits refused", &IID_IDispatch, 3, 3, false, 1, 0, true},
        {"caller safety set", &IID_IDispatch, 1, 1, true, 1, 1, true},
        {"same through the dual interface", &IID_ITestControl, 0, 0, true, 1, 1, true},
        {"caller safety cleared", &IID_IPersistStreamInit, 1, 0, true, 1, 0, true},
        {"interface not answered", &IID_IClassFactory, 1, 1, false, 0, 0, false},
    };
    for (const SafetyCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SUCCEEDED(safety->SetInterfaceSafetyOptions(*c.iid, c.mask, c.enable)), c.setSucceeds);
        supported = 9;
        enabled = 9;
        EXPECT_EQ(SUCCEEDED(safety->GetInterfaceSafetyOptions(*c.iid, &supported, &enabled)), c.getSucceeds);
        EXPECT_EQ(supported, c.supportedAfter);
        EXPECT_EQ(enabled, c.enabledAfter);
    }
}

void SetProperty(IDispatch* control, const wchar_t* name, VARTYPE type, const wchar_t* text) {
    Variant source;
    source.v().vt = VT_BSTR;
    source.v().bstrVal = SysAllocString(text);
    Variant value;
    ASSERT_EQ(VariantChangeType(value.get(), source.get(), VARIANT_ALPHABOOL, type), S_OK);
    ASSERT_EQ(Put(control, name, value.v()), S_OK);
}

std::wstring PropertyText(IDispatch* control, const wchar_t* name) {
    Variant value;
    if (FAILED(Get(control, name, &value))) return L"<error>";
    return Text(value.v());
}

ComPtr<IStream> StreamOf(const std::vector<BYTE>& bytes) {
    ComPtr<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    ULONG written = 0;
    if (!bytes.empty()) stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    return stream;
}

// IPersistStreamInit: a saved control loads into another with the same values and extent; a
// damaged record is refused and changes nothing.
TEST_F(ControlTest, StreamPersistenceRoundTrip) {
    ComPtr<IDispatch> original = NewControl();
    ASSERT_TRUE(original);
    SetProperty(original.get(), L"BackColor", VT_I4, L"1193046");
    SetProperty(original.get(), L"Caption", VT_BSTR, L"\uD55C\uAE00");
    SetProperty(original.get(), L"Text", VT_BSTR, L"text");
    SetProperty(original.get(), L"Enabled", VT_BOOL, L"False");
    SetProperty(original.get(), L"Appearance", VT_I2, L"1");
    SetProperty(original.get(), L"ReadyState", VT_I4, L"3");
    ComPtr<IOleObject> ole;
    ASSERT_EQ(original.as(IID_IOleObject, &ole), S_OK);
    SIZEL extent = {1000, 2000};
    ASSERT_EQ(ole->SetExtent(DVASPECT_CONTENT, &extent), S_OK);

    ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(original.as(IID_IPersistStreamInit, &persist), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_OK);
    ComPtr<IStream> stream = StreamOf({});
    ASSERT_EQ(persist->Save(stream.get(), TRUE), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    ULARGE_INTEGER size = {};
    ASSERT_EQ(persist->GetSizeMax(&size), S_OK);
    STATSTG stat = {};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, size.QuadPart);
    std::vector<BYTE> saved(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    ASSERT_EQ(stream->Read(saved.data(), static_cast<ULONG>(saved.size()), &read), S_OK);

    const wchar_t* names[] = {L"BackColor", L"Caption", L"Text", L"Enabled", L"Appearance", L"ReadyState"};
    // Damaged records: cut off inside the last text, cut off in the header, a foreign header.
    std::vector<BYTE> cut(saved.begin(), saved.end() - 2);
    std::vector<BYTE> header(saved.begin(), saved.begin() + 6);
    std::vector<BYTE> foreign = saved;
    foreign[0] ^= 0xFF;
    for (const std::vector<BYTE>* damaged : {&cut, &header, &foreign}) {
        ComPtr<IDispatch> other = NewControl();
        ComPtr<IPersistStreamInit> load;
        ASSERT_EQ(other.as(IID_IPersistStreamInit, &load), S_OK);
        ASSERT_EQ(load->InitNew(), S_OK);
        EXPECT_TRUE(FAILED(load->Load(StreamOf(*damaged).get()))) << damaged->size() << " bytes";
        EXPECT_EQ(PropertyText(other.get(), L"Caption"), L"");
        EXPECT_EQ(PropertyText(other.get(), L"BackColor"), L"0");
        EXPECT_EQ(PropertyText(other.get(), L"Enabled"), L"True");
    }

    ComPtr<IDispatch> copy = NewControl();
    ComPtr<IPersistStreamInit> load;
    ASSERT_EQ(copy.as(IID_IPersistStreamInit, &load), S_OK);
    ASSERT_EQ(load->Load(StreamOf(saved).get()), S_OK);
    EXPECT_EQ(load->IsDirty(), S_FALSE);
    for (const wchar_t* name : names) {
        SCOPED_TRACE(Narrow(name));
        EXPECT_EQ(PropertyText(copy.get(), name), PropertyText(original.get(), name));
    }
    ComPtr<IOleObject> copyOle;
    ASSERT_EQ(copy.as(IID_IOleObject, &copyOle), S_OK);
    SIZEL copied = {};
    ASSERT_EQ(copyOle->GetExtent(DVASPECT_CONTENT, &copied), S_OK);
    EXPECT_EQ(copied.cx, 1000);
    EXPECT_EQ(copied.cy, 2000);
}

// A property bag in memory.
class MemoryBag final : public IPropertyBag {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        *object = iid == IID_IUnknown || iid == IID_IPropertyBag ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        for (auto& entry : values) {
            if (entry.first == name) return VariantCopy(value, entry.second->get());
        }
        return E_INVALIDARG;
    }
    STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override {
        values.emplace_back(name, nullptr);
        values.back().second = std::make_unique<Variant>();
        return VariantCopy(values.back().second->get(), value);
    }
    void Set(const wchar_t* name, const wchar_t* text) {
        for (auto& entry : values) {
            if (entry.first != name) continue;
            VARIANT* value = entry.second->put();
            value->vt = VT_BSTR;
            value->bstrVal = SysAllocString(text);
        }
    }
    std::vector<std::pair<std::wstring, std::unique_ptr<Variant>>> values;
};

// Property bags and storages carry the same values; a value that does not convert is refused
// as a whole.
TEST_F(ControlTest, PropertyBagAndStoragePersistence) {
    ComPtr<IDispatch> original = NewControl();
    ASSERT_TRUE(original);
    SetProperty(original.get(), L"Caption", VT_BSTR, L"\uC11C\uC2DD");
    SetProperty(original.get(), L"BorderWidth", VT_I4, L"9");
    SetProperty(original.get(), L"Valid", VT_BOOL, L"True");
    ComPtr<IPersistPropertyBag> bagged;
    ASSERT_EQ(original.as(IID_IPersistPropertyBag, &bagged), S_OK);
    MemoryBag bag;
    ASSERT_EQ(bagged->Save(&bag, TRUE, TRUE), S_OK);

    ComPtr<IDispatch> copy = NewControl();
    ComPtr<IPersistPropertyBag> load;
    ASSERT_EQ(copy.as(IID_IPersistPropertyBag, &load), S_OK);
    ASSERT_EQ(load->Load(&bag, nullptr), S_OK);
    for (const wchar_t* name : {L"Caption", L"BorderWidth", L"Valid"}) {
        EXPECT_EQ(PropertyText(copy.get(), name), PropertyText(original.get(), name)) << Narrow(name);
    }
    bag.Set(L"BorderWidth", L"not a number");
    bag.Set(L"Caption", L"changed");
    ComPtr<IDispatch> refused = NewControl();
    ComPtr<IPersistPropertyBag> refusedLoad;
    ASSERT_EQ(refused.as(IID_IPersistPropertyBag, &refusedLoad), S_OK);
    EXPECT_TRUE(FAILED(refusedLoad->Load(&bag, nullptr)));
    EXPECT_EQ(PropertyText(refused.get(), L"Caption"), L"");

    ComPtr<ILockBytes> bytes;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()), S_OK);
    ComPtr<IStorage> storage;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           storage.put()),
              S_OK);
    ComPtr<IPersistStorage> stored;
    ASSERT_EQ(original.as(IID_IPersistStorage, &stored), S_OK);
    ASSERT_EQ(stored->Save(storage.get(), FALSE), S_OK);
    ComPtr<IDispatch> fromStorage = NewControl();
    ComPtr<IPersistStorage> storageLoad;
    ASSERT_EQ(fromStorage.as(IID_IPersistStorage, &storageLoad), S_OK);
    ASSERT_EQ(storageLoad->Load(storage.get()), S_OK);
    EXPECT_EQ(PropertyText(fromStorage.get(), L"Caption"), PropertyText(original.get(), L"Caption"));
}

// IQuickActivate wires site, sinks and status in one call; the initial extent is 5080 x 5080.
TEST_F(ControlTest, QuickActivate) {
    ComPtr<IDispatch> control = NewControl();
    ASSERT_TRUE(control);
    ComPtr<IQuickActivate> quick;
    ASSERT_EQ(control.as(IID_IQuickActivate, &quick), S_OK);
    SIZEL extent = {};
    ASSERT_EQ(quick->GetContentExtent(&extent), S_OK);
    EXPECT_EQ(extent.cx, 5080);
    EXPECT_EQ(extent.cy, 5080);

    PropertySink sink;
    QACONTAINER container = {};
    container.cbSize = sizeof container;
    container.pPropertyNotifySink = &sink;
    QACONTROL result = {};
    result.cbSize = sizeof result;
    QACONTROL small = {};
    small.cbSize = 4;
    EXPECT_EQ(quick->QuickActivate(&container, &small), E_INVALIDARG);
    ASSERT_EQ(quick->QuickActivate(&container, &result), S_OK);
    EXPECT_EQ(result.dwMiscStatus, 131473u);
    EXPECT_NE(result.dwPropNotifyCookie, 0u);
    SetProperty(control.get(), L"ForeColor", VT_I4, L"17");
    EXPECT_EQ(sink.changed, std::vector<DISPID>{DISPID_FORECOLOR});
    control.reset();
    quick.reset();
    EXPECT_EQ(sink.refs, 1u) << "the control released the sink when it went";
}

// An outer object that aggregates the control and counts the references it receives.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown) {
            *object = this;
            AddRef();
            return S_OK;
        }
        if (iid == IID_IPersistFile) {  // answered by the outer object only
            *object = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
    IUnknown* inner = nullptr;
};

TEST_F(ControlTest, Aggregation) {
    Outer outer;
    ComPtr<IUnknown> refused;
    EXPECT_EQ(CoCreateInstance(CLSID_TestControl, &outer, CLSCTX_INPROC_SERVER, IID_IDispatch, refused.putVoid()),
              CLASS_E_NOAGGREGATION);
    IUnknown* inner = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestControl, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&inner)),
              S_OK);
    outer.inner = inner;
    EXPECT_EQ(outer.refs, 1u) << "creating the inner object holds no reference on the outer one";
    {
        ComPtr<IDispatch> dispatch;
        ASSERT_EQ(inner->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
        EXPECT_EQ(outer.refs, 2u) << "interface references count on the outer object";
        ComPtr<IUnknown> identity;
        ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
        EXPECT_EQ(identity.get(), static_cast<IUnknown*>(&outer));
        identity.reset();
        // Through the outer object: its own interfaces and the control's.
        ComPtr<IUnknown> viaOuter;
        EXPECT_EQ(dispatch->QueryInterface(IID_IOleObject, viaOuter.putVoid()), S_OK);
        viaOuter.reset();
        ComPtr<IObjectSafety> safety;
        ASSERT_EQ(dispatch->QueryInterface(IID_IObjectSafety, safety.putVoid()), S_OK);
        DWORD supported = 9;
        DWORD enabled = 9;
        EXPECT_TRUE(FAILED(safety->GetInterfaceSafetyOptions(IID_IPersistFile, &supported, &enabled)))
            << "safety is reported for the control's own interfaces only";
        EXPECT_EQ(supported, 0u);
        SetProperty(dispatch.get(), L"Caption", VT_BSTR, L"inside");
        EXPECT_EQ(PropertyText(dispatch.get(), L"Caption"), L"inside");
    }
    EXPECT_EQ(outer.refs, 1u);
    outer.inner = nullptr;
    EXPECT_EQ(inner->Release(), 0u);
}

// Class information, error information, status, and drawing without a window.
TEST_F(ControlTest, ClassInfoStatusAndDrawing) {
    ComPtr<IDispatch> control = NewControl();
    ASSERT_TRUE(control);
    ComPtr<IProvideClassInfo2> classInfo;
    ASSERT_EQ(control.as(IID_IProvideClassInfo2, &classInfo), S_OK);
    GUID events = {};
    ASSERT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
    EXPECT_TRUE(IsEqualGUID(events, DIID__ITestControlEvents));
    EXPECT_EQ(classInfo->GetGUID(0, &events), E_INVALIDARG);
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(classInfo->GetClassInfo(coclass.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, CLSID_TestControl));
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    coclass->ReleaseTypeAttr(attr);

    ComPtr<ISupportErrorInfo> errors;
    ASSERT_EQ(control.as(IID_ISupportErrorInfo, &errors), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_ITestControl), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IOleObject), S_FALSE);

    ComPtr<IOleObject> ole;
    ASSERT_EQ(control.as(IID_IOleObject, &ole), S_OK);
    DWORD status = 0;
    ASSERT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
    EXPECT_EQ(status, 131473u);
    ComPtr<IOleWindow> window;
    ASSERT_EQ(control.as(IID_IOleWindow, &window), S_OK);
    HWND handle = reinterpret_cast<HWND>(1);
    EXPECT_EQ(window->GetWindow(&handle), E_FAIL) << "no window before in-place activation";
    EXPECT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, nullptr, nullptr), E_UNEXPECTED)
        << "activation needs a site";

    // The default face: a frame and the framework's text, drawn into the caller's bounds.
    ComPtr<IViewObject2> view;
    ASSERT_EQ(control.as(IID_IViewObject2, &view), S_OK);
    kv::WindowDc screen(nullptr);
    kv::UniqueMemoryDc dc(CreateCompatibleDC(screen.get()));
    kv::UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), 200, 60));
    kv::SelectedObject selected(dc.get(), bitmap.get());
    RECT all = {0, 0, 200, 60};
    FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RECTL bounds = {10, 10, 190, 50};
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc.get(), &bounds, nullptr, nullptr, 0),
              S_OK);
    EXPECT_EQ(GetPixel(dc.get(), 10, 30), RGB(0, 0, 0)) << "frame at the left bound";
    EXPECT_EQ(GetPixel(dc.get(), 5, 30), RGB(255, 255, 255)) << "nothing outside the bounds";
    int dark = 0;
    for (int x = 40; x < 160; ++x) {
        for (int y = 20; y < 40; ++y) dark += GetPixel(dc.get(), x, y) != RGB(255, 255, 255);
    }
    EXPECT_GT(dark, 20) << "text in the middle";
    EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc.get(), &bounds, nullptr, nullptr, 0),
              DV_E_DVASPECT);
}

// One of the control's helper objects and the one interface it speaks besides IUnknown.
struct HelperObject {
    const char* what;
    ComPtr<IUnknown> object;  // the pointer of its own interface
    const IID* own;
};

// The connection points and the enumerators over them and over their connections: each answers
// its own interface and IUnknown with one pointer (its identity), and nothing else.
TEST_F(ControlTest, HelperObjectsAnswerTheirOwnInterfaceOnly) {
    ComPtr<IDispatch> control = NewControl();
    ASSERT_TRUE(control);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(control.as(IID_IConnectionPointContainer, &container), S_OK);
    ComPtr<IConnectionPoint> events;
    ComPtr<IConnectionPoint> property;
    ASSERT_EQ(container->FindConnectionPoint(DIID__ITestControlEvents, events.put()), S_OK);
    ASSERT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, property.put()), S_OK);
    PropertySink sink;
    DWORD cookie = 0;
    ASSERT_EQ(property->Advise(&sink, &cookie), S_OK);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
    ComPtr<IEnumConnectionPoints> pointsClone;
    ASSERT_EQ(points->Clone(pointsClone.put()), S_OK);
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(property->EnumConnections(connections.put()), S_OK);
    ComPtr<IEnumConnections> connectionsClone;
    ASSERT_EQ(connections->Clone(connectionsClone.put()), S_OK);

    const HelperObject objects[] = {
        {"events point", ComPtr<IUnknown>(events.get()), &IID_IConnectionPoint},
        {"property point", ComPtr<IUnknown>(property.get()), &IID_IConnectionPoint},
        {"point enumerator", ComPtr<IUnknown>(points.get()), &IID_IEnumConnectionPoints},
        {"point enumerator's clone", ComPtr<IUnknown>(pointsClone.get()), &IID_IEnumConnectionPoints},
        {"connection enumerator", ComPtr<IUnknown>(connections.get()), &IID_IEnumConnections},
        {"connection enumerator's clone", ComPtr<IUnknown>(connectionsClone.get()), &IID_IEnumConnections},
    };
    const IID* const spoken[] = {&IID_IConnectionPoint,          &IID_IEnumConnectionPoints,
                                 &IID_IEnumConnections,          &IID_IDispatch,
                                 &IID_IConnectionPointContainer, &IID_IOleObject,
                                 &IID_IPropertyNotifySink,       &IID_IClassFactory};
    for (const HelperObject& helper : objects) {
        SCOPED_TRACE(helper.what);
        ComPtr<IUnknown> own;
        ASSERT_EQ(helper.object->QueryInterface(*helper.own, own.putVoid()), S_OK);
        EXPECT_EQ(own.get(), helper.object.get());
        ComPtr<IUnknown> identity;
        ASSERT_EQ(helper.object->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
        EXPECT_EQ(identity.get(), helper.object.get()) << "IUnknown is the object's own interface";
        EXPECT_EQ(helper.object->QueryInterface(*helper.own, nullptr), E_POINTER);
        for (const IID* other : spoken) {
            if (IsEqualIID(*other, *helper.own)) continue;
            void* answer = reinterpret_cast<void*>(1);
            EXPECT_EQ(helper.object->QueryInterface(*other, &answer), E_NOINTERFACE);
            EXPECT_EQ(answer, nullptr);
        }
    }
    EXPECT_EQ(property->Unadvise(cookie), S_OK);
}

// A connection point is counted as the control (it lives exactly as long as the control); an
// enumerator is an object of its own that keeps the control alive.
TEST_F(ControlTest, HelperObjectsKeepTheControl) {
    ComPtr<IConnectionPoint> point;
    ComPtr<IEnumConnectionPoints> points;
    {
        ComPtr<IDispatch> control = NewControl();
        ASSERT_TRUE(control);
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(control.as(IID_IConnectionPointContainer, &container), S_OK);
        ASSERT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, point.put()), S_OK);
        ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
        EXPECT_EQ(ObjectCount(), 2) << "the control and the enumerator; the point is the control's";
    }
    EXPECT_EQ(ObjectCount(), 2) << "both references keep the control";
    points.reset();
    EXPECT_EQ(ObjectCount(), 1) << "the point still holds the control";
    ComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(point->GetConnectionPointContainer(back.put()), S_OK);
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(back.as(IID_IDispatch, &dispatch), S_OK) << "the control behind the point is whole";
    dispatch.reset();
    back.reset();
    point.reset();
    EXPECT_EQ(ObjectCount(), 0);
}

// IDispatch through the type library: its own answers to bad arguments, and calls by name.
TEST_F(ControlTest, DispatchThroughTheTypeLibrary) {
    ComPtr<IDispatch> control = NewControl();
    ASSERT_TRUE(control);
    UINT count = 0;
    EXPECT_EQ(control->GetTypeInfoCount(nullptr), E_POINTER);
    ASSERT_EQ(control->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);

    struct InfoCase {
        UINT index;
        HRESULT expected;
    };
    for (const InfoCase& c : {InfoCase{1, DISP_E_BADINDEX}, InfoCase{7, DISP_E_BADINDEX}, InfoCase{0, S_OK}}) {
        SCOPED_TRACE(c.index);
        ITypeInfo* raw = reinterpret_cast<ITypeInfo*>(1);
        ASSERT_EQ(control->GetTypeInfo(c.index, LOCALE_USER_DEFAULT, &raw), c.expected);
        ComPtr<ITypeInfo> info = ComPtr<ITypeInfo>::adopt(raw);
        if (FAILED(c.expected)) {
            EXPECT_EQ(raw, nullptr);
            continue;
        }
        ASSERT_TRUE(info);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_TRUE(IsEqualGUID(attr->guid, IID_ITestControl));
        info->ReleaseTypeAttr(attr);
    }
    EXPECT_EQ(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr), E_POINTER);

    LPOLESTR add[] = {const_cast<LPOLESTR>(L"Add")};
    LPOLESTR missing[] = {const_cast<LPOLESTR>(L"NoSuchMember")};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(control->GetIDsOfNames(IID_IDispatch, add, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, missing, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    ASSERT_EQ(control->GetIDsOfNames(IID_NULL, add, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, 2);

    VARIANT args[2];
    args[0].vt = VT_I4;
    args[0].lVal = 40;  // b (the arguments come last first)
    args[1].vt = VT_I4;
    args[1].lVal = 2;  // a
    DISPPARAMS params = {args, nullptr, 2, 0};
    Variant sum;
    EXPECT_EQ(
        control->Invoke(id, IID_IDispatch, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, sum.put(), nullptr, nullptr),
        DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(
        control->Invoke(777, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, sum.put(), nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
    ASSERT_EQ(control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, sum.put(), nullptr, nullptr),
              S_OK);
    EXPECT_EQ(Text(sum.v()), L"42");
}

// The module's class table serves the class it lists and no other.
TEST_F(ControlTest, ClassObjectsFromTheTable) {
    using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto getClassObject = Export<GetClassObjectFunction>(g_control, "DllGetClassObject");
    ASSERT_NE(getClassObject, nullptr);
    struct ClassCase {
        const char* what;
        const CLSID* clsid;
        HRESULT expected;
    };
    const ClassCase cases[] = {
        {"the test control", &CLSID_TestControl, S_OK},
        {"its type library's id", &LIBID_KvTestControlLib, CLASS_E_CLASSNOTAVAILABLE},
        {"the null class", &CLSID_NULL, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const ClassCase& c : cases) {
        SCOPED_TRACE(c.what);
        void* raw = reinterpret_cast<void*>(1);
        ASSERT_EQ(getClassObject(*c.clsid, IID_IClassFactory, &raw), c.expected);
        ComPtr<IClassFactory> factory = ComPtr<IClassFactory>::adopt(static_cast<IClassFactory*>(raw));
        EXPECT_EQ(factory.get() != nullptr, SUCCEEDED(c.expected));
        if (!factory) continue;
        ComPtr<IDispatch> made;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, made.putVoid()), S_OK);
    }
}

}  // namespace
