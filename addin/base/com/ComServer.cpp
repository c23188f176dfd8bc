#include "addin/base/com/ComServer.h"

#include <new>

#include "platform/WinHandles.h"

namespace kv {
namespace {

HMODULE g_module = nullptr;
LONG g_objects = 0;

// One factory serves every entry of a table.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateInstanceFunction create) : create_(create) { ModuleAddRef(); }
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

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
        return Guard([&] { return create_(outer, iid, object); });
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
    ~ClassFactory() { ModuleRelease(); }

    CreateInstanceFunction create_;
    LONG refs_ = 1;
};

}  // namespace

void SetModuleHandle(HMODULE module) { g_module = module; }
HMODULE ModuleHandle() { return g_module; }
void ModuleAddRef() { InterlockedIncrement(&g_objects); }
void ModuleRelease() { InterlockedDecrement(&g_objects); }
LONG ModuleCount() { return InterlockedCompareExchange(&g_objects, 0, 0); }

HRESULT ServeClassObject(const ClassEntry* table, size_t count, REFCLSID clsid, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    return Guard([&]() -> HRESULT {
        for (size_t i = 0; i < count; ++i) {
            if (*table[i].clsid != clsid) continue;
            ComPtr<ClassFactory> factory = ComPtr<ClassFactory>::adopt(new (std::nothrow) ClassFactory(table[i].create));
            if (!factory) return E_OUTOFMEMORY;
            return factory->QueryInterface(iid, object);
        }
        return CLASS_E_CLASSNOTAVAILABLE;
    });
}

HRESULT CanUnloadModule() noexcept { return ModuleCount() == 0 ? S_OK : S_FALSE; }

}  // namespace kv
