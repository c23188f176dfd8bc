// The library's COM entry points. DllRegisterServer and DllUnregisterServer record the
// installation (identity, reports to the service) around the COM registration; nothing leaves
// an export as an exception.
#include "addin/office/Module.h"

#include <array>
#include <new>

#include "addin/office/Registration.h"
#include "addin/service/HttpExchange.h"
#include "addin/service/Settings.h"
#include "addin/service/UsageLog.h"
#include "platform/Network.h"
#include "platform/SettingsStore.h"

namespace kv {
namespace {

HMODULE g_module = nullptr;
LONG g_objects = 0;

// The creatable classes. The add-in object and the task-pane control join this table as
// they are built (the size grows with it); until then every request is answered with
// CLASS_E_CLASSNOTAVAILABLE.
const std::array<ClassEntry, 0> kClassTable{};

// One factory serves every entry of the table.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateInstanceFunction create) : create_(create) { ModuleAddRef(); }
    ~ClassFactory() { ModuleRelease(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        // An aggregated object hands out only its inner unknown.
        if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
        try {
            return create_(outer, iid, object);
        } catch (...) {
            return E_UNEXPECTED;
        }
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            ModuleAddRef();
        } else {
            ModuleRelease();
        }
        return S_OK;
    }

private:
    CreateInstanceFunction create_;
    LONG refs_ = 1;
};

// The reports go wherever the "service" setting points; a report that cannot be sent is lost
// without affecting the registration.
class ReportSender final : public LogSender {
public:
    void Send(const std::string& target, const std::string& userAgentLine) override {
        try {
            ServiceLogSender(SystemNetwork(), LoadServiceConfig(SystemSettings())).Send(target, userAgentLine);
        } catch (...) {
        }
    }
};

}  // namespace

HMODULE ModuleHandle() { return g_module; }
void ModuleAddRef() { InterlockedIncrement(&g_objects); }
void ModuleRelease() { InterlockedDecrement(&g_objects); }
LONG ModuleCount() { return InterlockedCompareExchange(&g_objects, 0, 0); }

}  // namespace kv

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        kv::g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() { return kv::ModuleCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    try {
        for (const kv::ClassEntry& entry : kv::kClassTable) {
            if (*entry.clsid != clsid) continue;
            auto* factory = new (std::nothrow) kv::ClassFactory(entry.create);
            if (!factory) return E_OUTOFMEMORY;
            const HRESULT hr = factory->QueryInterface(iid, object);
            factory->Release();
            return hr;
        }
        return CLASS_E_CLASSNOTAVAILABLE;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDAPI DllRegisterServer() {
    try {
        kv::SystemUuidSource uuids;
        kv::ReportSender reports;
        return kv::RegisterInstallation(kv::SystemSettings(), uuids, reports,
                                        [] { return static_cast<int32_t>(kv::RegisterComServer(kv::g_module)); });
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDAPI DllUnregisterServer() {
    try {
        kv::ReportSender reports;
        return kv::UnregisterInstallation(kv::SystemSettings(), reports,
                                          [] { return static_cast<int32_t>(kv::UnregisterComServer()); });
    } catch (...) {
        return E_UNEXPECTED;
    }
}
