#include "addin/base/com/ComRegistration.h"

#include <oleauto.h>

#include "platform/WinHandles.h"

namespace kv {
namespace {

HRESULT FromStatus(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

// Creates root\path and sets its value name (nullptr: the default value) when value is given.
HRESULT SetKey(const std::wstring& path, const wchar_t* name, const wchar_t* value) {
    HKEY raw = nullptr;
    const LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_WRITE, nullptr, &raw, nullptr);
    if (status != ERROR_SUCCESS) return FromStatus(status);
    UniqueKey key(raw);
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

bool KeyExists(const std::wstring& path) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return false;
    UniqueKey key(raw);
    return true;
}

// Keeps the first failure of a run of steps.
struct FirstFailure {
    HRESULT result = S_OK;
    void operator+=(HRESULT hr) {
        if (SUCCEEDED(result) && FAILED(hr)) result = hr;
    }
};

std::wstring VersionText(const TypeLibraryRegistration& lib) {
    return std::to_wstring(lib.major) + L"." + std::to_wstring(lib.minor);
}

HRESULT WriteClass(const ClassEntry& entry, const std::wstring& modulePath, const TypeLibraryRegistration& lib) {
    const std::wstring clsid = GuidText(*entry.clsid);
    const std::wstring classKey = L"CLSID\\" + clsid;
    FirstFailure hr;

    const std::wstring progId = entry.progId;
    hr += SetKey(progId, nullptr, entry.description);
    hr += SetKey(progId + L"\\CLSID", nullptr, clsid.c_str());

    const std::wstring independent = entry.versionIndependentProgId;
    hr += SetKey(independent, nullptr, entry.description);
    hr += SetKey(independent + L"\\CLSID", nullptr, clsid.c_str());
    hr += SetKey(independent + L"\\CurVer", nullptr, entry.progId);

    hr += RemoveKey(classKey);
    hr += SetKey(classKey, nullptr, entry.description);
    hr += SetKey(classKey + L"\\ProgID", nullptr, entry.progId);
    hr += SetKey(classKey + L"\\VersionIndependentProgID", nullptr, entry.versionIndependentProgId);
    hr += SetKey(classKey + L"\\Programmable", nullptr, nullptr);
    hr += SetKey(classKey + L"\\InprocServer32", nullptr, modulePath.c_str());
    hr += SetKey(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    if (entry.control) {
        hr += SetKey(classKey + L"\\Control", nullptr, nullptr);
        hr += SetKey(classKey + L"\\ToolboxBitmap32", nullptr,
                     (modulePath + L", " + std::to_wstring(entry.toolboxBitmap)).c_str());
        hr += SetKey(classKey + L"\\MiscStatus", nullptr, L"0");
        hr += SetKey(classKey + L"\\MiscStatus\\1", nullptr, std::to_wstring(entry.miscStatus).c_str());
    }
    hr += SetKey(classKey + L"\\TypeLib", nullptr, GuidText(*lib.libid).c_str());
    if (entry.control) hr += SetKey(classKey + L"\\Version", nullptr, VersionText(lib).c_str());
    return hr.result;
}

HRESULT RemoveClass(const ClassEntry& entry) {
    FirstFailure hr;
    hr += RemoveKey(entry.progId);
    hr += RemoveKey(entry.versionIndependentProgId);
    hr += RemoveKey(L"CLSID\\" + GuidText(*entry.clsid));
    return hr.result;
}

HRESULT RegisterTypeLibrary(const std::wstring& modulePath) {
    ComPtr<ITypeLib> typeLib;
    // The module file holds the type library as resource 1.
    const HRESULT hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, typeLib.put());
    if (FAILED(hr)) return hr;
    std::wstring path = modulePath;  // this header's RegisterTypeLib takes a non-const path
    return RegisterTypeLib(typeLib.get(), &path[0], nullptr);
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

HRESULT RegisterClasses(HMODULE module, const ClassEntry* classes, size_t count,
                        const TypeLibraryRegistration& typeLibrary) {
    return Guard([&]() -> HRESULT {
        const std::wstring modulePath = ModulePath(module);
        if (modulePath.empty()) return HRESULT_FROM_WIN32(GetLastError());
        FirstFailure hr;
        for (size_t i = 0; i < count; ++i) hr += WriteClass(classes[i], modulePath, typeLibrary);
        hr += RegisterTypeLibrary(modulePath);
        return hr.result;
    });
}

HRESULT UnregisterClasses(const ClassEntry* classes, size_t count, const TypeLibraryRegistration& typeLibrary) {
    return Guard([&]() -> HRESULT {
        FirstFailure hr;
        for (size_t i = 0; i < count; ++i) hr += RemoveClass(classes[i]);
        const std::wstring libKey = L"TypeLib\\" + GuidText(*typeLibrary.libid) + L"\\" + VersionText(typeLibrary);
        if (KeyExists(libKey)) {
            hr += UnRegisterTypeLib(*typeLibrary.libid, typeLibrary.major, typeLibrary.minor, LOCALE_NEUTRAL,
                                    sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
        }
        return hr.result;
    });
}

}  // namespace kv
