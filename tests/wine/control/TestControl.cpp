// A control of the framework for its Wine tests: it records its hooks in a log that the test
// reads through its own dispatch property and through an export.
#include <windows.h>

#include <iterator>
#include <string>

#include "KvTestControl_h.h"
#include "addin/base/com/ComRegistration.h"
#include "addin/base/com/ComServer.h"
#include "addin/base/control/ActiveXControl.h"

namespace {

std::wstring g_log;

void Log(const std::wstring& entry) {
    g_log += entry + L";";
}

// The test control: the framework with every hook logged, and two members of its own.
class CTestControl : public kv::ActiveXControl<CTestControl, ITestControl> {
public:
    static const CLSID& ClassId() { return CLSID_TestControl; }
    static const IID& EventsIid() { return DIID__ITestControlEvents; }
    static constexpr DWORD kMiscStatus = kv::kControlMiscStatus;

    HRESULT OnCreate(HWND window) {
        Log(L"create");
        child_ = CreateWindowExW(0, L"STATIC", L"child", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, window, nullptr,
                                 kv::ModuleHandle(), nullptr);
        return child_ ? S_OK : E_FAIL;
    }
    void OnDestroy() { Log(IsWindow(child_) ? L"destroy" : L"destroy without child"); }
    void OnPositionChanged(const RECT& p) {
        Log(L"pos " + std::to_wstring(p.left) + L" " + std::to_wstring(p.top) + L" " + std::to_wstring(p.right) + L" " +
            std::to_wstring(p.bottom));
    }
    bool ProcessMessage(UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message != WM_APP) return false;
        Log(L"app");
        *result = 42;
        return true;
    }
    HRESULT PreTranslateAccelerator(MSG* message) {
        if (message->message != WM_KEYDOWN || message->wParam != VK_F2) return S_FALSE;
        Log(L"accel F2");
        return S_OK;
    }

    STDMETHODIMP get_HookLog(BSTR* log) override {
        if (!log) return E_POINTER;
        *log = SysAllocStringLen(g_log.data(), static_cast<UINT>(g_log.size()));
        return *log ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP Add(long a, long b, long* sum) override {
        if (!sum) return E_POINTER;
        *sum = a + b;
        return S_OK;
    }

private:
    HWND child_ = nullptr;
};

const kv::ClassEntry kClasses[] = {
    {&CLSID_TestControl, &CTestControl::CreateInstance, L"TestControl Class", L"KvTest.Control.1", L"KvTest.Control",
     true, 130, CTestControl::kMiscStatus},
};
const kv::TypeLibraryRegistration kTypeLibrary = {&LIBID_KvTestControlLib, 1, 0};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        kv::SetModuleHandle(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() {
    return kv::CanUnloadModule();
}
STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return kv::ServeClassObject(kClasses, std::size(kClasses), clsid, iid, object);
}
STDAPI DllRegisterServer() {
    return kv::RegisterClasses(kv::ModuleHandle(), kClasses, std::size(kClasses), kTypeLibrary);
}
STDAPI DllUnregisterServer() {
    return kv::UnregisterClasses(kClasses, std::size(kClasses), kTypeLibrary);
}

// For the test program: the hook log and the module's object count.
extern "C" __declspec(dllexport) LONG WINAPI TestControlObjectCount() {
    return kv::ModuleCount();
}
extern "C" __declspec(dllexport) void WINAPI TestControlClearLog() {
    g_log.clear();
}
