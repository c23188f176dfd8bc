#include "addin/office/Registration.h"

#include <oleauto.h>
#include <rpc.h>

#include "TarnwickLib_h.h"
#include "platform/UniqueResource.h"

namespace kv {
namespace {

void CloseKey(HKEY key) { RegCloseKey(key); }
using UniqueKey = UniqueResource<HKEY, decltype(&CloseKey), &CloseKey>;

// One creatable class and the registry entries that describe it.
struct ClassRegistration {
    const CLSID* clsid;
    const wchar_t* description;
    const wchar_t* progId;
    const wchar_t* versionIndependentProgId;
    bool control;  // Control, ToolboxBitmap32, MiscStatus and Version entries
};

const ClassRegistration kClasses[] = {
    {&CLSID_Connect, L"Connect Class", L"Tarnwick.Connect.1", L"Tarnwick.Connect", false},
    {&CLSID_SimTaskPane, L"SimTaskPane Class", L"KestrovaSE.SimTaskPane.1", L"KestrovaSE.SimTaskPane", true},
};

constexpr wchar_t kToolboxBitmap[] = L", 130";
// Recompose on resize, cannot link inside, inside-out, activate when visible, set client site first.
constexpr wchar_t kControlMiscStatus[] = L"131473";
constexpr wchar_t kTypeLibVersion[] = L"1.0";

std::wstring GuidText(const GUID& guid) {
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    return text;
}

HRESULT FromStatus(LSTATUS status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

// Creates root\path and sets its value name (nullptr: the default value) when value is given.
HRESULT SetKey(const std::wstring& path, const wchar_t* name, const wchar_t* value) {
    UniqueKey key;
    HRESULT hr = FromStatus(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            KEY_WRITE, nullptr, key.put(), nullptr));
    if (FAILED(hr)) {
        key.release();
        return hr;
    }
    if (!value) return S_OK;
    const DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
    return FromStatus(RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes));
}

// A key that is not there is already removed.
HRESULT RemoveKey(const std::wstring& path) {
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) return S_OK;
    return FromStatus(status);
}

// Keeps the first failure of a run of steps.
struct FirstFailure {
    HRESULT result = S_OK;
    void operator+=(HRESULT hr) {
        if (SUCCEEDED(result) && FAILED(hr)) result = hr;
    }
};

HRESULT WriteClass(const ClassRegistration& entry, const std::wstring& modulePath) {
    const std::wstring clsid = GuidText(*entry.clsid);
    const std::wstring classKey = L"CLSID\\" + clsid;
    const std::wstring libid = GuidText(LIBID_TarnwickLib);
    FirstFailure hr;

    const std::wstring progId = entry.progId;
    hr += SetKey(progId, nullptr, entry.description);
    hr += SetKey(progId + L"\\CLSID", nullptr, clsid.c_str());

    const std::wstring independent = entry.versionIndependentProgId;
    hr += SetKey(independent, nullptr, entry.description);
    hr += SetKey(independent + L"\\CLSID", nullptr, clsid.c_str());
    hr += SetKey(independent + L"\\CurVer", nullptr, entry.progId);

    // The class key is rewritten from scratch so nothing of an older registration lingers.
    hr += RemoveKey(classKey);
    hr += SetKey(classKey, nullptr, entry.description);
    hr += SetKey(classKey + L"\\ProgID", nullptr, entry.progId);
    hr += SetKey(classKey + L"\\VersionIndependentProgID", nullptr, entry.versionIndependentProgId);
    hr += SetKey(classKey + L"\\Programmable", nullptr, nullptr);
    hr += SetKey(classKey + L"\\InprocServer32", nullptr, modulePath.c_str());
    hr += SetKey(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    if (entry.control) {
        hr += SetKey(classKey + L"\\Control", nullptr, nullptr);
        hr += SetKey(classKey + L"\\ToolboxBitmap32", nullptr, (modulePath + kToolboxBitmap).c_str());
        hr += SetKey(classKey + L"\\MiscStatus", nullptr, L"0");
        hr += SetKey(classKey + L"\\MiscStatus\\1", nullptr, kControlMiscStatus);
    }
    hr += SetKey(classKey + L"\\TypeLib", nullptr, libid.c_str());
    if (entry.control) hr += SetKey(classKey + L"\\Version", nullptr, kTypeLibVersion);
    return hr.result;
}

HRESULT RemoveClass(const ClassRegistration& entry) {
    FirstFailure hr;
    hr += RemoveKey(entry.progId);
    hr += RemoveKey(entry.versionIndependentProgId);
    hr += RemoveKey(L"CLSID\\" + GuidText(*entry.clsid));
    return hr.result;
}

void ReleaseTypeLib(ITypeLib* typeLib) { typeLib->Release(); }
using UniqueTypeLib = UniqueResource<ITypeLib*, decltype(&ReleaseTypeLib), &ReleaseTypeLib>;

HRESULT RegisterTypeLibrary(const std::wstring& modulePath) {
    UniqueTypeLib typeLib;
    // The library file holds the type library as resource 1.
    HRESULT hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, typeLib.put());
    if (FAILED(hr)) {
        typeLib.release();
        return hr;
    }
    std::wstring path = modulePath;  // this header's RegisterTypeLib takes a non-const path
    return RegisterTypeLib(typeLib.get(), &path[0], nullptr);
}

bool TypeLibraryRegistered() {
    const std::wstring path = L"TypeLib\\" + GuidText(LIBID_TarnwickLib) + L"\\" + kTypeLibVersion;
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        key.release();
        return false;
    }
    return true;
}

}  // namespace

std::wstring ModulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

HRESULT RegisterComServer(HMODULE module) {
    const std::wstring modulePath = ModulePath(module);
    if (modulePath.empty()) return HRESULT_FROM_WIN32(GetLastError());
    FirstFailure hr;
    for (const ClassRegistration& entry : kClasses) hr += WriteClass(entry, modulePath);
    hr += RegisterTypeLibrary(modulePath);
    return hr.result;
}

HRESULT UnregisterComServer() {
    FirstFailure hr;
    for (const ClassRegistration& entry : kClasses) hr += RemoveClass(entry);
    if (TypeLibraryRegistered()) {
        hr += UnRegisterTypeLib(LIBID_TarnwickLib, 1, 0, LOCALE_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    }
    return hr.result;
}

bool SystemUuidSource::NewUuidText(std::string* text) {
    UUID uuid;
    const RPC_STATUS status = UuidCreate(&uuid);
    // A local-only UUID is still unique on this machine, which is all an installation id needs.
    if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) return false;
    wchar_t wide[128] = {};
    if (StringFromGUID2(uuid, wide, 128) == 0) return false;
    char narrow[128] = {};
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr) == 0) return false;
    *text = narrow;
    return true;
}

}  // namespace kv
