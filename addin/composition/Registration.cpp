#include "addin/composition/Registration.h"

#include <rpc.h>

#include <iterator>
#include <utility>

#include "TarnwickLib_h.h"
#include "addin/composition/Connect.h"
#include "addin/composition/SimTaskPane.h"
#include "addin/resources/resource.h"
#include "platform/WinText.h"

namespace kv {
namespace {

constexpr int kToolboxBitmap = IDB_TOOLBOX;

// The creatable classes, in this order: the add-in object and the task-pane control.
const ClassEntry kClasses[] = {
    {&CLSID_Connect, &CConnect::CreateInstance, L"Connect Class", L"Tarnwick.Connect.1", L"Tarnwick.Connect", false, 0,
     0},
    {&CLSID_SimTaskPane, &CSimTaskPane::CreateInstance, L"SimTaskPane Class", L"KestrovaSE.SimTaskPane.1",
     L"KestrovaSE.SimTaskPane", true, kToolboxBitmap, CSimTaskPane::kMiscStatus},
};

const TypeLibraryRegistration kTypeLibrary = {&LIBID_TarnwickLib, 1, 0};

}  // namespace

HRESULT GetComClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return ServeClassObject(kClasses, std::size(kClasses), clsid, iid, object);
}

HRESULT RegisterComServer(HMODULE module) {
    return RegisterClasses(module, kClasses, std::size(kClasses), kTypeLibrary);
}

HRESULT UnregisterComServer() {
    return UnregisterClasses(kClasses, std::size(kClasses), kTypeLibrary);
}

bool SystemUuidSource::NewUuidText(std::string* text) {
    UUID uuid;
    const RPC_STATUS status = UuidCreate(&uuid);
    // A local-only UUID is still unique on this machine, which is all an installation id needs.
    if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) return false;
    const std::wstring wide = GuidText(uuid);
    std::string narrow;
    if (wide.empty() || !WideToAnsi(wide, &narrow)) return false;
    *text = std::move(narrow);
    return true;
}

}  // namespace kv
