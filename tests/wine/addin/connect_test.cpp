// The add-in object from KestrovaSE.dll against stand-ins of the host's objects: which type
// information each IDispatch answers from, and what disconnection leaves behind (no sink
// advised, no pane, no reference held, later events and callbacks doing nothing).
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "OfficeAddin_h.h"
#include "TarnwickLib_h.h"
#include "platform/WinHandles.h"

namespace {

std::wstring g_library;  // the path of KestrovaSE.dll, from the command line

// Reference-counted stand-ins on the stack: counted, never deleted.
template <class T>
class Counted : public T {
public:
    LONG refs = 1;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == __uuidof(T) ||
            (iid == IID_IDispatch && std::is_base_of<IDispatch, T>::value)) {
            *out = static_cast<T*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

// An IDispatch with no members.
template <class T>
class Stub : public Counted<T> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

class Pane : public Stub<_CustomTaskPane> {
public:
    HRESULT visibleResult = S_OK;
    VARIANT_BOOL visible = VARIANT_FALSE;
    IDispatch* content = nullptr;  // no ISimTaskPane behind it: the control is never reached
    int deleted = 0;
    STDMETHODIMP get_Title(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Application(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_Window(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_Visible(VARIANT_BOOL* v) override {
        *v = visible;
        return visibleResult;
    }
    STDMETHODIMP put_Visible(VARIANT_BOOL v) override {
        visible = v;
        return S_OK;
    }
    STDMETHODIMP get_ContentControl(IDispatch** out) override {
        *out = content;
        if (content) content->AddRef();
        return content ? S_OK : E_FAIL;
    }
    STDMETHODIMP get_Height(int*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Height(int) override { return E_NOTIMPL; }
    STDMETHODIMP get_Width(int*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Width(int) override { return S_OK; }
    STDMETHODIMP get_DockPosition(MsoCTPDockPosition*) override { return E_NOTIMPL; }
    STDMETHODIMP put_DockPosition(MsoCTPDockPosition) override { return E_NOTIMPL; }
    STDMETHODIMP get_DockPositionRestrict(MsoCTPDockPositionRestrict*) override { return E_NOTIMPL; }
    STDMETHODIMP put_DockPositionRestrict(MsoCTPDockPositionRestrict) override { return E_NOTIMPL; }
    STDMETHODIMP Delete() override {
        ++deleted;
        return S_OK;
    }
};

class Factory : public Stub<ICTPFactory> {
public:
    Pane* give = nullptr;  // null: the host returns no pane
    int created = 0;
    STDMETHODIMP CreateCTP(BSTR, BSTR, VARIANT, _CustomTaskPane** out) override {
        ++created;
        *out = give;
        if (give) give->AddRef();
        return S_OK;
    }
};

class Point : public Counted<IConnectionPoint> {
public:
    IDispatch* sink = nullptr;
    int advised = 0;
    int unadvised = 0;
    STDMETHODIMP GetConnectionInterface(IID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IUnknown* s, DWORD* cookie) override {
        ++advised;
        s->QueryInterface(DIID_WordApplicationEvents, reinterpret_cast<void**>(&sink));
        *cookie = 7;
        return sink ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        ++unadvised;
        return cookie == 7 ? S_OK : E_INVALIDARG;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
};

// Word's application: its events only; no properties (the version reads as 0).
class Application : public Stub<IDispatch>, public IConnectionPointContainer {
public:
    Point point;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IConnectionPointContainer) {
            *out = static_cast<IConnectionPointContainer*>(this);
        } else if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
        *out = nullptr;
        if (iid != DIID_WordApplicationEvents) return CONNECT_E_NOCONNECTION;
        *out = &point;
        point.AddRef();
        return S_OK;
    }
    IDispatch* dispatch() { return static_cast<IDispatch*>(this); }
};

class ConnectTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The add-in's usage log goes to a port where nothing listens.
        kv::UniqueKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\kestrovaSE\\1.0.0", 0, nullptr, 0, KEY_WRITE, nullptr,
                                  key.put(), nullptr),
                  ERROR_SUCCESS);
        const wchar_t service[] = L"127.0.0.1:9";
        RegSetValueExW(key.get(), L"service", 0, REG_SZ, reinterpret_cast<const BYTE*>(service), sizeof service);
        library_.reset(LoadLibraryW(g_library.c_str()));
        ASSERT_TRUE(library_) << "cannot load the library";
        using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
        auto get = reinterpret_cast<GetClassObject>(GetProcAddress(library_.get(), "DllGetClassObject"));
        ASSERT_NE(get, nullptr);
        kv::ComPtr<IClassFactory> factory;
        ASSERT_EQ(get(CLSID_Connect, IID_IClassFactory, factory.putVoid()), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID__IDTExtensibility2, addin_.putVoid()), S_OK);
    }
    void TearDown() override { addin_.reset(); }

    HRESULT Connect() { return addin_->OnConnection(app_.dispatch(), ext_cm_Startup, nullptr, nullptr); }
    HRESULT Provide(Factory* factory) {
        kv::ComPtr<ICustomTaskPaneConsumer> consumer;
        HRESULT hr = addin_.as(IID_ICustomTaskPaneConsumer, &consumer);
        return FAILED(hr) ? hr : consumer->CTPFactoryAvailable(factory);
    }
    HRESULT RibbonCall(DISPID id) {
        kv::ComPtr<IDispatch> dispatch;
        addin_.as(IID_IDispatch, &dispatch);
        kv::VariantArray args(1);
        V_VT(&args[0]) = VT_DISPATCH;
        V_DISPATCH(&args[0]) = nullptr;
        DISPPARAMS params = {args.data(), nullptr, 1, 0};
        return dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
    HRESULT Event(DISPID id) {
        DISPPARAMS none = {};
        return app_.point.sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    }

    kv::ComApartment apartment_;
    kv::UniqueModule library_;
    Application app_;
    kv::ComPtr<_IDTExtensibility2> addin_;
};

// Each interface's IDispatch answers from its own type information, found in the library
// itself: the ribbon's names are the callbacks', and id 1 through IRibbonExtensibility is
// GetCustomUI, not OnConnection.
TEST_F(ConnectTest, EachDispatchInterfaceUsesItsOwnTypeInformation) {
    kv::ComPtr<IDispatch> ribbonCallbacks;
    ASSERT_EQ(addin_.as(IID_IDispatch, &ribbonCallbacks), S_OK);
    const struct {
        const wchar_t* name;
        DISPID id;
    } names[] = {{L"changeSearchText", 21},     {L"ButtonClicked", 22}, {L"ButtonCert", 24},
                 {L"OnRibbonLoad", 0x60020007}, {L"GetImageCert", 32},  {L"CheckBoxVisible", 0x60020012}};
    for (const auto& n : names) {
        DISPID id = 0;
        LPOLESTR name = const_cast<LPOLESTR>(n.name);
        EXPECT_EQ(ribbonCallbacks->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK) << n.name;
        EXPECT_EQ(id, n.id) << n.name;
    }

    kv::ComPtr<IRibbonExtensibility> ribbon;
    ASSERT_EQ(addin_.as(IID_IRibbonExtensibility, &ribbon), S_OK);
    kv::VariantArray arg(1);
    V_VT(&arg[0]) = VT_BSTR;
    V_BSTR(&arg[0]) = SysAllocString(L"Microsoft.Word.Document");
    DISPPARAMS params = {arg.data(), nullptr, 1, 0};
    kv::Variant result;
    ASSERT_EQ(ribbon->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr), S_OK);
    ASSERT_EQ(V_VT(result.get()), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(result.get()))
                  .rfind(L"<customUI xmlns=\"http://schemas.microsoft.com/office/2006/01/customui\"", 0),
              0u);

    kv::ComPtr<ITypeInfo> info;
    ASSERT_EQ(addin_->GetTypeInfo(0, 0, info.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID__IDTExtensibility2));
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    info->ReleaseTypeAttr(attr);
}

// Unloaded while the host runs: the sink is unadvised, the panes deleted, the factory and the
// application let go, and an event or a callback that still arrives does nothing.
TEST_F(ConnectTest, DisconnectionLeavesNothingThatCallsBack) {
    Pane pane;
    Factory factory;
    factory.give = &pane;
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(app_.point.advised, 1);
    ASSERT_NE(app_.point.sink, nullptr);
    Provide(&factory);
    EXPECT_EQ(factory.created, 1);
    EXPECT_GT(factory.refs, 1) << "the factory is held with a reference";

    // A document opened in the window that has a pane creates no second pane.
    EXPECT_EQ(Event(4), S_OK);
    EXPECT_EQ(factory.created, 1);

    ASSERT_EQ(addin_->OnDisconnection(ext_dm_UserClosed, nullptr), S_OK);
    EXPECT_EQ(app_.point.unadvised, 1);
    EXPECT_EQ(pane.deleted, 1);
    EXPECT_EQ(factory.refs, 1);
    EXPECT_EQ(pane.refs, 1);
    EXPECT_EQ(app_.refs, 1) << "the application is let go";

    EXPECT_EQ(Event(4), S_OK);
    EXPECT_EQ(RibbonCall(22), S_OK);  // ButtonClicked
    EXPECT_EQ(factory.created, 1);
    addin_.reset();
    EXPECT_EQ(Event(4), S_OK);  // the add-in object is gone, the host still holds the sink
    app_.point.sink->Release();
}

// A host that returns no pane: the window's entry stays empty and no second one is asked for.
TEST_F(ConnectTest, AnEmptyPaneEntryIsNotRetried) {
    Factory factory;
    ASSERT_EQ(Connect(), S_OK);
    Provide(&factory);
    EXPECT_EQ(RibbonCall(22), S_OK);
    EXPECT_EQ(Event(4), S_OK);
    EXPECT_EQ(factory.created, 1);
    addin_->OnDisconnection(ext_dm_HostShutdown, nullptr);
    app_.point.sink->Release();
}

// "visible" is written only from a visibility that could be read.
TEST_F(ConnectTest, ShutdownStoresOnlyAVisibilityThatWasRead) {
    const struct {
        HRESULT readResult;
        VARIANT_BOOL visible;
        DWORD stored;
    } cases[] = {{E_FAIL, VARIANT_TRUE, 7}, {S_OK, VARIANT_FALSE, 0}, {S_OK, VARIANT_TRUE, 1}};
    Pane pane;
    Factory factory;
    factory.give = &pane;
    Application content;
    pane.content = content.dispatch();
    ASSERT_EQ(Connect(), S_OK);
    Provide(&factory);
    for (const auto& c : cases) {
        const DWORD before = 7;
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\kestrovaSE\\1.0.0", L"visible", REG_DWORD, &before,
                        sizeof before);
        pane.visibleResult = c.readResult;
        pane.visible = c.visible;
        EXPECT_EQ(addin_->OnBeginShutdown(nullptr), S_OK);
        DWORD stored = 0;
        DWORD size = sizeof stored;
        RegGetValueW(HKEY_CURRENT_USER, L"Software\\kestrovaSE\\1.0.0", L"visible", RRF_RT_REG_DWORD, nullptr, &stored,
                     &size);
        EXPECT_EQ(stored, c.stored) << "read result " << std::hex << c.readResult;
    }
    addin_->OnDisconnection(ext_dm_HostShutdown, nullptr);
    app_.point.sink->Release();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: connect_test KestrovaSE.dll\n");
        return 2;
    }
    g_library = argv[1];
    // A Linux path from the build (ctest) is the same file on Wine's Z: drive.
    if (!g_library.empty() && g_library[0] == L'/') {
        for (wchar_t& c : g_library) {
            if (c == L'/') c = L'\\';
        }
        g_library = L"Z:" + g_library;
    }
    return RUN_ALL_TESTS();
}
