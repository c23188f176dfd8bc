// The test DLL's COM entry points and registration: the add-in class, the control class, and
// the add-in's entry in each host's per-user add-in list (LoadBehavior 3).
#include <olectl.h>

#include <cstdio>
#include <string_view>

#include "platform/WinHandles.h"
#include "platform/WinText.h"
#include "tests/wine/hostsim/TestCommon.h"

namespace hostsimtest {

namespace {

LONG g_objects = 0;
HMODULE g_module = nullptr;

class Factory : public IClassFactory {
public:
    explicit Factory(HRESULT (*create)(REFIID, void**)) : create_(create) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        ModuleAddRef();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ModuleRelease();
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ModuleAddRef();
        else
            ModuleRelease();
        return S_OK;
    }

private:
    HRESULT (*create_)(REFIID, void**);
};

Factory g_addinFactory(CreateAddin);
Factory g_controlFactory(CreateControl);

LONG SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    kv::UniqueKey key;
    LONG rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return rc;
}

LONG SetDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value) {
    kv::UniqueKey key;
    LONG rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    return rc;
}

LONG RegisterClass(REFCLSID clsid, const wchar_t* progId, const wchar_t* description, const std::wstring& path,
                   bool control) {
    std::wstring key = L"CLSID\\" + kv::GuidText(clsid);
    LONG rc = SetString(HKEY_CLASSES_ROOT, key, nullptr, description);
    rc |= SetString(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr, path);
    rc |= SetString(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    rc |= SetString(HKEY_CLASSES_ROOT, key + L"\\ProgID", nullptr, progId);
    if (control) rc |= SetString(HKEY_CLASSES_ROOT, key + L"\\Control", nullptr, L"");
    rc |= SetString(HKEY_CLASSES_ROOT, progId, nullptr, description);
    rc |= SetString(HKEY_CLASSES_ROOT, std::wstring(progId) + L"\\CLSID", nullptr, kv::GuidText(clsid));
    return rc;
}

const wchar_t* const kHosts[] = {L"Word", L"Excel", L"PowerPoint"};

}  // namespace

void ModuleAddRef() {
    InterlockedIncrement(&g_objects);
}
void ModuleRelease() {
    InterlockedDecrement(&g_objects);
}

void Say(const std::string& text) {
    std::string line = text + "\n";
    DWORD written = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE)
        WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string Utf8(const wchar_t* w, int n) {
    if (!w) return {};
    const std::wstring_view text = n < 0 ? std::wstring_view(w) : std::wstring_view(w, static_cast<size_t>(n));
    return kv::WideToCodePageLossy(CP_UTF8, text);
}

HRESULT GetProperty(IDispatch* d, const wchar_t* name, VARIANT* out) {
    if (!d) return E_POINTER;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VariantInit(out);
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, out, nullptr, nullptr);
}

HRESULT CallMethod(IDispatch* d, const wchar_t* name, VARIANT* args, UINT count, VARIANT* out) {
    if (!d) return E_POINTER;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS params{args, nullptr, count, 0};
    if (out) VariantInit(out);
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, out, nullptr, nullptr);
}

}  // namespace hostsimtest

using namespace hostsimtest;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid == kAddinClsid) return g_addinFactory.QueryInterface(iid, out);
    if (clsid == kControlClsid) return g_controlFactory.QueryInterface(iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
    return g_objects == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT __stdcall DllRegisterServer() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return E_FAIL;
    LONG rc = RegisterClass(kAddinClsid, kAddinProgId, L"Host simulator test add-in", path, false);
    rc |= RegisterClass(kControlClsid, kControlProgId, L"Host simulator test control", path, true);
    for (const wchar_t* host : kHosts) {
        std::wstring key = std::wstring(L"Software\\Microsoft\\Office\\") + host + L"\\Addins\\" + kAddinProgId;
        rc |= SetDword(HKEY_CURRENT_USER, key, L"LoadBehavior", 3);
        rc |= SetString(HKEY_CURRENT_USER, key, L"FriendlyName", L"Host simulator test add-in");
    }
    return rc == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
    for (REFCLSID c : {kAddinClsid, kControlClsid})
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + kv::GuidText(c)).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kAddinProgId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kControlProgId);
    for (const wchar_t* host : kHosts)
        RegDeleteTreeW(HKEY_CURRENT_USER,
                       (std::wstring(L"Software\\Microsoft\\Office\\") + host + L"\\Addins\\" + kAddinProgId).c_str());
    return S_OK;
}
