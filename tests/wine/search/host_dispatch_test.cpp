// The dispatch implementation of the host model against a small automation object of our own:
// property get and put, a method with a named argument, events through a connection point,
// and the running-object table.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "addin/base/host/HostDispatch.h"
#include "platform/WinHandles.h"

namespace {

using namespace kv;

const IID kTestEvents = {0xc0ffee01, 0x1234, 0x4321, {0x80, 0, 0, 0, 0, 0, 0, 0x11}};
const CLSID kTestClass = {0xc0ffee02, 0x1234, 0x4321, {0x80, 0, 0, 0, 0, 0, 0, 0x22}};
const char kTestEventsText[] = "{C0FFEE01-1234-4321-8000-000000000011}";

enum : DISPID { kDocuments = 1, kVisible = 2, kOpen = 3, kCaption = 5, kHwnd = 6, kTitle = 7, kFileName = 10 };

class TestApp final : public IDispatch, public IConnectionPointContainer, public IConnectionPoint {
public:
    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch))
            *out = static_cast<IDispatch*>(this);
        else if (IsEqualIID(riid, IID_IConnectionPointContainer))
            *out = static_cast<IConnectionPointContainer*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }  // lives on the test's stack

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        static const struct {
            const wchar_t* name;
            DISPID id;
        } table[] = {{L"Documents", kDocuments}, {L"Visible", kVisible},   {L"Open", kOpen},  {L"Caption", kCaption},
                     {L"HWND", kHwnd},           {L"FileName", kFileName}, {L"Title", kTitle}};
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (auto& e : table) {
                if (lstrcmpiW(names[i], e.name) == 0) ids[i] = e.id;
            }
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (flags & DISPATCH_PROPERTYGET) {
            if (p->cArgs != 0 || !result) return DISP_E_BADPARAMCOUNT;
            switch (id) {
                case kDocuments:
                    result->vt = VT_DISPATCH;
                    result->pdispVal = this;
                    AddRef();
                    return S_OK;
                case kVisible:
                    result->vt = VT_BOOL;
                    result->boolVal = visible ? VARIANT_TRUE : VARIANT_FALSE;
                    return S_OK;
                case kCaption:
                    result->vt = VT_BSTR;
                    result->bstrVal = SysAllocString(L"\uacac\uc801\uc11c - \ubb38\uc11c");
                    return S_OK;
                case kHwnd:
                    result->vt = VT_I4;
                    result->lVal = 0x1234;
                    return S_OK;
                // A character code page 949 lacks (outside the basic plane).
                case kTitle:
                    result->vt = VT_BSTR;
                    result->bstrVal = SysAllocString(L"\xD83D\xDE00 x");
                    return S_OK;
                default: return DISP_E_MEMBERNOTFOUND;
            }
        }
        if (flags & DISPATCH_PROPERTYPUT) {
            if (id != kVisible || p->cArgs != 1 || p->cNamedArgs != 1 || p->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_MEMBERNOTFOUND;
            Variant v;
            if (FAILED(VariantChangeType(v.get(), &p->rgvarg[0], 0, VT_I4))) return DISP_E_TYPEMISMATCH;
            visible = v.v().lVal;
            return S_OK;
        }
        if ((flags & DISPATCH_METHOD) && id == kOpen) {
            if (p->cArgs != 1 || p->cNamedArgs != 1 || p->rgdispidNamedArgs[0] != kFileName ||
                p->rgvarg[0].vt != VT_BSTR)
                return DISP_E_PARAMNOTFOUND;
            opened = p->rgvarg[0].bstrVal;
            if (result) {
                result->vt = VT_BSTR;
                result->bstrVal = SysAllocString(L"ok");
            }
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
        *out = nullptr;
        if (!IsEqualIID(riid, kTestEvents)) return CONNECT_E_NOCONNECTION;
        *out = this;
        AddRef();
        return S_OK;
    }
    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* iid) override {
        *iid = kTestEvents;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** c) override {
        *c = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
        if (sinkDispatch) return CONNECT_E_ADVISELIMIT;
        if (FAILED(sink->QueryInterface(kTestEvents, sinkDispatch.putVoid()))) return CONNECT_E_CANNOTCONNECT;
        *cookie = 7;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        if (cookie != 7 || !sinkDispatch) return CONNECT_E_NOCONNECTION;
        sinkDispatch.reset();
        ++unadvised;
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    void Fire(DISPID id, const wchar_t* name) {
        if (!sinkDispatch) return;
        Variant arg;
        arg.v().vt = VT_BSTR;
        arg.v().bstrVal = SysAllocString(name);
        DISPPARAMS p = {arg.get(), nullptr, 1, 0};
        sinkDispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr);
    }

    ULONG refs = 1;
    LONG visible = 0;
    std::wstring opened;
    ComPtr<IDispatch> sinkDispatch;
    int unadvised = 0;
};

struct Recorder : HostEventSink {
    void OnHostEvent(int32_t id, const std::vector<HostValue>& args) override {
        ids.push_back(id);
        if (!args.empty()) {
            texts.push_back(args[0].text);
            types.push_back(args[0].type);
        }
    }
    std::vector<int32_t> ids;
    std::vector<std::string> texts;
    std::vector<HostValue::Type> types;
};

TEST(HostDispatchTest, PropertiesAndNamedArguments) {
    ASSERT_EQ(GetACP(), 949u);
    TestApp app;
    {
        HostObjectPtr object = WrapDispatch(&app);
        ASSERT_TRUE(object);
        HostValue v;
        ASSERT_TRUE(object->GetProperty("Documents", &v));
        EXPECT_EQ(v.type, HostValue::Type::Object);
        EXPECT_EQ(DispatchOf(*v.object), static_cast<IDispatch*>(&app));
        EXPECT_FALSE(object->GetProperty("Workbooks", &v));
        EXPECT_FALSE(object->GetProperty("Presentations", &v));
        ASSERT_TRUE(object->GetProperty("Caption", &v));
        EXPECT_EQ(v.text, "\xB0\xDF\xC0\xFB\xBC\xAD - \xB9\xAE\xBC\xAD");  // narrowed to code page 949
        ASSERT_TRUE(object->GetProperty("HWND", &v));
        EXPECT_EQ(v.number, 0x1234);

        EXPECT_TRUE(object->PutProperty("Visible", HostValue::Int(1)));
        EXPECT_EQ(app.visible, 1);
        EXPECT_FALSE(object->PutProperty("Caption", HostValue::Text("x")));

        HostValue result;
        EXPECT_TRUE(object->Call("Open", {{"FileName", HostValue::Text("C:\\t\\\xB0\xDF\xC0\xFB.doc")}}, &result));
        EXPECT_EQ(app.opened, L"C:\\t\\\uacac\uc801.doc");
        EXPECT_EQ(result.text, "ok");
        EXPECT_FALSE(object->Call("Close", {}, nullptr));
        EXPECT_FALSE(object->Call("Open", {{"NoSuchArgument", HostValue::Int(1)}}, nullptr));

        // Text that has no form on the other side fails the call instead of crossing as '?' or
        // as nothing: a host text 949 lacks, and 949 bytes cut after a lead byte.
        v = HostValue::Text("untouched");
        EXPECT_FALSE(object->GetProperty("Title", &v));
        EXPECT_EQ(v.text, "untouched");
        app.opened = L"before";
        EXPECT_FALSE(object->Call("Open", {{"FileName", HostValue::Text("C:\\t\\\xB0")}}, &result));
        EXPECT_EQ(app.opened, L"before");
        EXPECT_FALSE(object->Call("Open\xB0", {}, nullptr));
    }
    EXPECT_EQ(app.refs, 1u);  // every reference taken was given back
}

TEST(HostDispatchTest, EventsArriveUntilTheConnectionIsDropped) {
    TestApp app;
    HostObjectPtr object = WrapDispatch(&app);
    Recorder recorder;
    EXPECT_FALSE(object->ConnectEvents("{00020A01-0000-0000-C000-000000000046}", recorder));
    EXPECT_FALSE(object->ConnectEvents("not an id", recorder));
    {
        auto connection = object->ConnectEvents(kTestEventsText, recorder);
        ASSERT_TRUE(connection);
        app.Fire(kDocumentOpenId, L"\uacac\uc801\uc11c.doc");
        ASSERT_EQ(recorder.ids, std::vector<int32_t>{kDocumentOpenId});
        EXPECT_EQ(recorder.texts[0], "\xB0\xDF\xC0\xFB\xBC\xAD.doc");
        // An argument without an ANSI form still reaches the sink, as no value.
        app.Fire(kDocumentOpenId, L"\xD83D\xDE00.doc");
        ASSERT_EQ(recorder.types.size(), 2u);
        EXPECT_EQ(recorder.types[1], HostValue::Type::Empty);
    }
    EXPECT_EQ(app.unadvised, 1);
    app.Fire(kDocumentOpenId, L"late.doc");
    EXPECT_EQ(recorder.ids.size(), 2u);
}

TEST(HostDispatchTest, RunningObjectTableAndClassLookup) {
    {
        UniqueKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"KvTest.Application\\CLSID", 0, nullptr, 0, KEY_WRITE, nullptr,
                                  key.put(), nullptr),
                  ERROR_SUCCESS);
        const wchar_t clsidText[] = L"{C0FFEE02-1234-4321-8000-000000000022}";
        RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsidText), sizeof clsidText);
    }

    TestApp app;
    DispatchEnvironment env;
    EXPECT_TRUE(env.ClassExists("KvTest.Application"));
    EXPECT_FALSE(env.ClassExists("KvTest.Missing"));
    EXPECT_FALSE(env.GetRunningObject("KvTest.Application"));
    EXPECT_FALSE(env.GetRunningObject("KvTest.Missing"));

    DWORD registration = 0;
    ASSERT_EQ(RegisterActiveObject(static_cast<IDispatch*>(&app), kTestClass, ACTIVEOBJECT_STRONG, &registration),
              S_OK);
    HostObjectPtr running = env.GetRunningObject("KvTest.Application");
    ASSERT_TRUE(running);
    HostValue v;
    EXPECT_TRUE(running->GetProperty("Documents", &v));
    running.reset();
    v = HostValue();
    RevokeActiveObject(registration, nullptr);
    EXPECT_FALSE(env.GetRunningObject("KvTest.Application"));
    // No local server is registered for the class: creation fails cleanly.
    EXPECT_FALSE(env.CreateLocalServer("KvTest.Application"));
    EXPECT_FALSE(env.CreateLocalServer("KvTest.Missing"));
}

}  // namespace

int main(int argc, char** argv) {
    kv::ComApartment apartment;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
