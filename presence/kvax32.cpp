// The presence control: a 32-bit COM server that registers the add-in's two classes for 32-bit
// programs (a web page in a 32-bit browser creates "KestrovaSE.SimTaskPane" to learn that the
// product is installed). Its objects do nothing: CConnect answers only IUnknown, CSimTaskPane
// holds the stock properties and draws the framework's face.
#include <windows.h>

#include <iterator>

#include "PresenceLib_h.h"
#include "addin/base/com/ComObject.h"
#include "addin/base/com/ComRegistration.h"
#include "addin/base/com/ComServer.h"
#include "addin/base/control/ActiveXControl.h"
#include "addin/base/control/ControlSupport.h"

namespace kv {
namespace {

// The add-in object's class for 32-bit programs: creatable, nothing beyond IUnknown.
class CConnect final : public ComObject<CConnect, IUnknown> {
public:
    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return CreateComObject<CConnect>(iid, object);
    }

    static const InterfaceEntry* Interfaces() {
        static const InterfaceEntry table[] = {KV_INTERFACE(CConnect, IUnknown), {}};
        return table;
    }

    CConnect() = default;

private:
    ~CConnect() override = default;
};

// The task-pane control's class for 32-bit programs: the framework's stock properties, object
// safety and default face, and no logic of its own.
class CSimTaskPane final : public ActiveXControl<CSimTaskPane, ISimTaskPane> {
public:
    static const CLSID& ClassId() { return CLSID_SimTaskPane; }
    static const IID& EventsIid() { return DIID__ISimTaskPaneEvents; }
    static constexpr DWORD kMiscStatus = kControlMiscStatus;
};

// The class table, in this order: created from by DllGetClassObject, written by DllRegisterServer.
const ClassEntry kClasses[] = {
    {&CLSID_Connect, &CConnect::CreateInstance, L"Connect Class", L"Tarnwick.Connect.1", L"Tarnwick.Connect", false, 0,
     0},
    {&CLSID_SimTaskPane, &CSimTaskPane::CreateInstance, L"SimTaskPane Class", L"KestrovaSE.SimTaskPane.1",
     L"KestrovaSE.SimTaskPane", true, 130, CSimTaskPane::kMiscStatus},
};

const TypeLibraryRegistration kTypeLibrary = {&LIBID_TarnwickLib, 1, 0};

}  // namespace
}  // namespace kv

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
    return kv::ServeClassObject(kv::kClasses, std::size(kv::kClasses), clsid, iid, object);
}

STDAPI DllRegisterServer() {
    return kv::RegisterClasses(kv::ModuleHandle(), kv::kClasses, std::size(kv::kClasses), kv::kTypeLibrary);
}

STDAPI DllUnregisterServer() {
    return kv::UnregisterClasses(kv::kClasses, std::size(kv::kClasses), kv::kTypeLibrary);
}
