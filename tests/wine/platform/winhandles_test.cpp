// The Windows owners where a slip shows: COM references counted exactly, strings and
// VARIANTs freed, selections and kernel handles given back.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/WinHandles.h"

namespace kv {
namespace {

// Counts its references; lives on the test's stack.
struct Counted final : IUnknown {
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!IsEqualIID(iid, IID_IUnknown)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
};

TEST(WinHandles, ComPtrCountsReferences) {
    struct Case {
        const char* name;
        void (*steps)(Counted*);
        ULONG refsInside;  // at the end of the steps, before the owners go
    } const cases[] = {
        {"wrap adds one",
         [](Counted* c) {
             ComPtr<IUnknown> p(c);
             EXPECT_EQ(c->refs, 2u);
         },
         1},
        {"adopt adds none",
         [](Counted* c) {
             c->AddRef();
             auto p = ComPtr<IUnknown>::adopt(c);
             EXPECT_EQ(c->refs, 2u);
         },
         1},
        {"copy adds, move does not",
         [](Counted* c) {
             ComPtr<IUnknown> a(c);
             ComPtr<IUnknown> b(a);
             ComPtr<IUnknown> d(std::move(a));
             EXPECT_FALSE(a);
             EXPECT_EQ(c->refs, 3u);
         },
         1},
        {"assignment releases the old",
         [](Counted* c) {
             ComPtr<IUnknown> a(c);
             ComPtr<IUnknown> b(c);
             b = a;
             EXPECT_EQ(c->refs, 3u);
             b = nullptr;
             EXPECT_EQ(c->refs, 2u);
         },
         1},
        {"put releases the old",
         [](Counted* c) {
             ComPtr<IUnknown> a(c);
             EXPECT_EQ(c->QueryInterface(IID_IUnknown, a.putVoid()), S_OK);
             EXPECT_EQ(c->refs, 2u);
         },
         1},
        {"as queries into another",
         [](Counted* c) {
             ComPtr<IUnknown> a(c);
             ComPtr<IUnknown> b;
             EXPECT_EQ(a.as(IID_IUnknown, &b), S_OK);
             EXPECT_EQ(c->refs, 3u);
             EXPECT_EQ(a.as(IID_IDispatch, &b), E_NOINTERFACE);
             EXPECT_FALSE(b);
         },
         1},
        {"release hands the reference over",
         [](Counted* c) {
             ComPtr<IUnknown> a(c);
             IUnknown* raw = a.release();
             EXPECT_EQ(c->refs, 2u);
             raw->Release();
         },
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Counted object;
        c.steps(&object);
        EXPECT_EQ(object.refs, c.refsInside);
    }
}

TEST(WinHandles, BstrAndVariants) {
    Bstr text(std::wstring(L"a\0b", 3));
    EXPECT_EQ(text.length(), 3u);
    EXPECT_EQ(text.str(), std::wstring(L"a\0b", 3));
    Bstr moved(std::move(text));
    EXPECT_EQ(text.get(), nullptr);
    EXPECT_EQ(moved.length(), 3u);
    EXPECT_EQ(Bstr().str(), L"");

    // A VARIANT array takes over what is put in it: an object reference comes back on clear.
    Counted object;
    {
        VariantArray args(2);
        EXPECT_EQ(args.size(), 2u);
        EXPECT_EQ(args[0].vt, VT_EMPTY);
        args[0].vt = VT_BSTR;
        args[0].bstrVal = ::SysAllocString(L"x");
        args[1].vt = VT_UNKNOWN;
        args[1].punkVal = &object;
        object.AddRef();
    }
    EXPECT_EQ(object.refs, 1u);
    EXPECT_EQ(VariantArray(0).data(), nullptr);
    {
        Variant v;
        v.v().vt = VT_UNKNOWN;
        v.v().punkVal = &object;
        object.AddRef();
        v.put();  // cleared for reuse as an out parameter
        EXPECT_EQ(object.refs, 1u);
        EXPECT_EQ(v.v().vt, VT_EMPTY);
    }
    // An EXCEPINFO filled by one Invoke comes back empty for the next.
    ExcepInfo ex;
    EXCEPINFO* filled = ex.put();
    filled->scode = E_FAIL;
    filled->bstrDescription = ::SysAllocString(L"first call");
    EXPECT_EQ(ex.info().scode, E_FAIL);
    const EXCEPINFO* again = ex.put();
    EXPECT_EQ(again->bstrDescription, nullptr);
    EXPECT_EQ(again->scode, 0);
}

TEST(WinHandles, KernelAndGdiOwners) {
    HANDLE raw = nullptr;
    {
        UniqueKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event);
        raw = event.get();
    }
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags)) << "closed at scope exit";

    UniqueFile missing(::CreateFileW(L"C:\\no\\such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing) << "INVALID_HANDLE_VALUE is a file's none";

    const void* viewAt = nullptr;
    {
        UniqueKernelHandle mapping(
            ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr));
        ASSERT_TRUE(mapping);
        UniqueView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
        ASSERT_TRUE(view);
        viewAt = view.get();
    }
    MEMORY_BASIC_INFORMATION memory{};
    ASSERT_NE(::VirtualQuery(viewAt, &memory, sizeof memory), 0u);
    EXPECT_EQ(memory.State, static_cast<DWORD>(MEM_FREE)) << "the view is unmapped at scope exit";

    UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    UniqueBrush brush(::CreateSolidBrush(RGB(1, 2, 3)));
    const HGDIOBJ before = ::GetCurrentObject(dc.get(), OBJ_BRUSH);
    {
        SelectedObject selected(dc.get(), brush.get());
        EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BRUSH), brush.get());
    }
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BRUSH), before) << "the previous brush is back";
    {
        SavedDcState saved(dc.get());
        ::SetTextColor(dc.get(), RGB(9, 8, 7));
    }
    EXPECT_NE(::GetTextColor(dc.get()), RGB(9, 8, 7));
}

}  // namespace
}  // namespace kv
