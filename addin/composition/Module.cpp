// The library's COM entry points. DllRegisterServer and DllUnregisterServer record the
// installation (identity, reports to the service) around the COM registration; nothing leaves
// an export as an exception.
#include "addin/composition/Module.h"

#include <msi.h>

#include <iterator>
#include <string>

#include "addin/composition/AddinServices.h"
#include "addin/composition/Registration.h"
#include "addin/features/service/ServiceConfig.h"
#include "addin/features/service/Settings.h"
#include "addin/features/service/UsageLog.h"
#include "addin/features/update/LibraryEntry.h"
#include "addin/widgets/pane/PaneWindows.h"
#include "platform/Network.h"
#include "platform/SettingsStore.h"
#include "platform/WinHandles.h"

namespace kv {
namespace {

// The CustomActionData of a deferred custom action; false when it cannot be read. MsiGetPropertyW
// is looked up here, so that the hosts loading this library never load msi.dll for it.
bool CustomActionData(MSIHANDLE install, std::wstring* data) {
    using GetProperty = UINT(WINAPI*)(MSIHANDLE, LPCWSTR, LPWSTR, LPDWORD);
    UniqueModule msi(LoadLibraryW(L"msi.dll"));
    if (!msi) return false;
    auto get = reinterpret_cast<GetProperty>(reinterpret_cast<void*>(GetProcAddress(msi.get(), "MsiGetPropertyW")));
    if (!get) return false;
    wchar_t buffer[64] = {};  // a valid code has 15 characters; anything longer is refused
    DWORD size = static_cast<DWORD>(std::size(buffer));
    const UINT status = get(install, L"CustomActionData", buffer, &size);
    if (status == ERROR_MORE_DATA) {
        *data = std::wstring(std::size(buffer), L'?');
        return true;
    }
    if (status != ERROR_SUCCESS) return false;
    data->assign(buffer, size);
    return true;
}

}  // namespace
}  // namespace kv

// Custom actions of the Windows Installer package (installer/KestrovaSE.wxs), which writes the
// classes from its own registry rows: the installation record that DllRegisterServer and
// DllUnregisterServer make around the COM registration, without it. RecordInstallation stores
// the package's CODE (its CustomActionData) first and fails the installation for an invalid one;
// the reports, as in registration, never do.
extern "C" UINT WINAPI RecordInstallation(MSIHANDLE install) {
    try {
        std::wstring data;
        if (!kv::CustomActionData(install, &data)) return ERROR_INSTALL_FAILURE;
        std::string code;
        for (wchar_t c : data) code += c < 0x80 ? static_cast<char>(c) : '?';  // '?' is never valid
        if (!kv::StoreDistributionCode(kv::SystemSettings(), code)) return ERROR_INSTALL_FAILURE;
        kv::SystemUuidSource uuids;
        kv::LibraryLogSender reports;
        kv::RegisterInstallation(kv::SystemSettings(), uuids, reports, [] { return static_cast<int32_t>(S_OK); });
        return ERROR_SUCCESS;
    } catch (...) {
        return ERROR_INSTALL_FAILURE;
    }
}

extern "C" UINT WINAPI RecordRemoval(MSIHANDLE) {
    try {
        kv::LibraryLogSender reports;
        kv::UnregisterInstallation(kv::SystemSettings(), reports, [] { return static_cast<int32_t>(S_OK); });
    } catch (...) {}
    return ERROR_SUCCESS;
}

// Under the loader lock only bookkeeping: the shared host-process count. The last host's work
// (templates clean-up, updater start) runs when its add-in object disconnects or begins its
// shut-down (CConnect); here only for a process still counted at its unload, and then only the
// file clean-up (no shell call: the documents folder is the one a pane cached).
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        kv::SetModuleHandle(instance);
        DisableThreadLibraryCalls(instance);
        try {
            kv::LibraryAttached();
        } catch (...) {
            return FALSE;
        }
    } else if (reason == DLL_PROCESS_DETACH) {
        try {
            kv::LibraryDetached(kv::PaneDocumentsFolder());
        } catch (...) {}
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() {
    return kv::CanUnloadModule();
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return kv::GetComClassObject(clsid, iid, object);
}

STDAPI DllRegisterServer() {
    return kv::Guard([] {
        kv::SystemUuidSource uuids;
        kv::LibraryLogSender reports;
        return kv::RegisterInstallation(kv::SystemSettings(), uuids, reports,
                                        [] { return static_cast<int32_t>(kv::RegisterComServer(kv::ModuleHandle())); });
    });
}

STDAPI DllUnregisterServer() {
    return kv::Guard([] {
        kv::LibraryLogSender reports;
        return kv::UnregisterInstallation(kv::SystemSettings(), reports,
                                          [] { return static_cast<int32_t>(kv::UnregisterComServer()); });
    });
}
