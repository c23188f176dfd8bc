// The exception barrier of the host's interface methods: what a throwing body returns, that
// the dispatch objects' entry points go through it, and that a log line that cannot be built
// is dropped rather than thrown.
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "tools/hostsim/win/ComSupport.h"
#include "tools/hostsim/win/Dispatch.h"
#include "tools/hostsim/win/Log.h"

using namespace hostsim;

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++g_failures;
}

HRESULT Ok() {
    return S_OK;
}
static_assert(noexcept(Guard(Ok)), "Guard must not let anything through");

// A dispatch object whose members throw on demand.
class Thrower : public DispatchImpl<IDispatch> {
public:
    int what = 0;  // 0 nothing, 1 bad_alloc, 2 runtime_error, 3 an int

protected:
    REFIID PrimaryIid() const override { return IID_IDispatch; }
    HRESULT QueryOther(REFIID, void**) override {
        Throw();
        return E_NOINTERFACE;
    }
    const DispMember* Members() const override { return kMembers; }
    size_t MemberCount() const override { return 1; }
    const char* ObjectName() const override { return "Thrower"; }
    HRESULT Call(DISPID, WORD, DispArgs&, VARIANT* result, EXCEPINFO*) override {
        Throw();
        SetResult(result, 7);
        return S_OK;
    }

private:
    void Throw() const {
        if (what == 1) throw std::bad_alloc();
        if (what == 2) throw std::runtime_error("broken");
        if (what == 3) throw 3;
    }
    static constexpr DispMember kMembers[] = {{L"Value", 1, {}}};
};
constexpr DispMember Thrower::kMembers[];

HRESULT InvokeValue(IDispatch* d, int& value) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant result;
    HRESULT hr =
        d->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result.get(), nullptr, nullptr);
    value = V_VT(&result.v()) == VT_I4 ? V_I4(&result.v()) : -1;
    return hr;
}

std::string ReadAll(const std::wstring& path) {
    kv::UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 0, nullptr));
    if (!f) return {};
    char buf[4096];
    DWORD got = 0;
    if (!ReadFile(f.get(), buf, sizeof buf, &got, nullptr)) return {};
    return std::string(buf, got);
}

}  // namespace

int wmain() {
    // Guard: the body's own result passes through; whatever it throws becomes an HRESULT.
    Check(Guard([] { return S_FALSE; }) == S_FALSE, "Guard passes a success code through");
    Check(Guard([] { return DISP_E_BADINDEX; }) == DISP_E_BADINDEX, "Guard passes a failure code through");
    Check(Guard([]() -> HRESULT { throw std::bad_alloc(); }) == E_OUTOFMEMORY, "bad_alloc -> E_OUTOFMEMORY");
    Check(Guard([]() -> HRESULT { throw std::runtime_error("x"); }) == E_UNEXPECTED, "runtime_error -> E_UNEXPECTED");
    Check(Guard([]() -> HRESULT { throw 42; }) == E_UNEXPECTED, "a thrown int -> E_UNEXPECTED");
    Check(Guard([]() -> HRESULT {
              std::wstring huge;
              huge.reserve(huge.max_size() / 2);  // an allocation that really fails
              return S_OK;
          }) == E_OUTOFMEMORY,
          "a failed string allocation -> E_OUTOFMEMORY");

    // The dispatch base routes Invoke and QueryInterface through the barrier.
    // Every object the host hands out is listed while it lives, for the disconnect at shutdown.
    Check(TrackedObjectCount() == 0, "no object listed before any is made");
    auto owner = ComPtr<Thrower>::adopt(new Thrower());
    Thrower* t = owner.get();
    {
        auto second = ComPtr<Thrower>::adopt(new Thrower());
        Check(TrackedObjectCount() == 2, "two live objects are listed");
    }
    Check(TrackedObjectCount() == 1, "a destroyed object leaves the list");
    int value = 0;
    Check(InvokeValue(t, value) == S_OK && value == 7, "Invoke without a throw returns the member's value");
    t->what = 1;
    Check(InvokeValue(t, value) == E_OUTOFMEMORY, "Invoke: bad_alloc in a member -> E_OUTOFMEMORY");
    t->what = 2;
    Check(InvokeValue(t, value) == E_UNEXPECTED, "Invoke: runtime_error in a member -> E_UNEXPECTED");
    IUnknown* other = reinterpret_cast<IUnknown*>(1);
    t->what = 1;
    Check(t->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&other)) == E_OUTOFMEMORY && other == nullptr,
          "QueryInterface: bad_alloc while answering another interface -> E_OUTOFMEMORY, no pointer");
    t->what = 3;
    Check(t->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&other)) == E_UNEXPECTED && other == nullptr,
          "QueryInterface: anything else -> E_UNEXPECTED, no pointer");
    t->what = 0;
    Check(t->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&other)) == E_NOINTERFACE,
          "QueryInterface: plain refusal");
    LPOLESTR name = const_cast<LPOLESTR>(L"Value");
    DISPID id = 0;
    Check(t->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id) == S_OK && id == 1,
          "GetIDsOfNames still answers");
    owner.reset();
    Check(TrackedObjectCount() == 0, "the last reference destroys the object once and unlists it");

    // LogBuilt writes the line it builds and drops one whose building throws.
    wchar_t dir[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"hsg", 0, path);
    OpenLogFile(path);
    LogBuilt("host", [] { return std::string("built line"); });
    LogBuilt("host", []() -> std::string { throw std::bad_alloc(); });
    LogBuilt("host", [] { return std::string("after the failure"); });
    std::string log = ReadAll(path);
    Check(log == "host built line\nhost after the failure\n",
          "LogBuilt: the failed line is dropped, the others written");

    std::printf("%s\n", g_failures ? "FAILED" : "PASSED");
    return g_failures ? 1 : 0;
}
