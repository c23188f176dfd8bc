#include "addin/base/com/ComServer.h"

#include <new>

#include "addin/base/com/ComObject.h"
#include "platform/WinHandles.h"

namespace kv {
namespace {

HMODULE g_module = nullptr;
LONG g_objects = 0;

// One factory serves every entry of a table.
class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
public:
    explicit ClassFactory(CreateInstanceFunction create) : create_(create) {}

    static const InterfaceEntry* Interfaces() {
        static const InterfaceEntry table[] = {KV_INTERFACE(ClassFactory, IClassFactory), {}};
        return table;
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
    ~ClassFactory() override = default;

    CreateInstanceFunction create_;
};

}  // namespace

void SetModuleHandle(HMODULE module) {
    g_module = module;
}
HMODULE ModuleHandle() {
    return g_module;
}
void ModuleAddRef() {
    InterlockedIncrement(&g_objects);
}
void ModuleRelease() {
    InterlockedDecrement(&g_objects);
}
LONG ModuleCount() {
    return InterlockedCompareExchange(&g_objects, 0, 0);
}

HRESULT ServeClassObject(const ClassEntry* table, size_t count, REFCLSID clsid, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    return Guard([&]() -> HRESULT {
        for (size_t i = 0; i < count; ++i) {
            if (*table[i].clsid != clsid) continue;
            return CreateComObject<ClassFactory>(iid, object, table[i].create);
        }
        return CLASS_E_CLASSNOTAVAILABLE;
    });
}

HRESULT CanUnloadModule() noexcept {
    return ModuleCount() == 0 ? S_OK : S_FALSE;
}

}  // namespace kv
