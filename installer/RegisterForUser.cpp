// kvregister: registers or unregisters an in-process COM server for the current user only, as a
// per-user installation without administrator rights needs. regsvr32 would let the server write
// the machine's classes root, which such a user cannot; here the classes root of this process is
// pointed at HKCU\Software\Classes (and the type-library registration told to follow it) before
// the server's own DllRegisterServer or DllUnregisterServer runs.
//   kvregister [/u] DLLPATH
// Exit codes: 0 done, 1 the server's entry point failed, 2 bad usage, 3 the library or its entry
// point could not be loaded, 4 the per-user classes key could not be opened or put in place.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>

#include "platform/WinHandles.h"

namespace {

// Undoes the classes-root override on every way out.
class ClassesRootOverride {
public:
    explicit ClassesRootOverride(HKEY key) : ok_(RegOverridePredefKey(HKEY_CLASSES_ROOT, key) == ERROR_SUCCESS) {}
    ClassesRootOverride(const ClassesRootOverride&) = delete;
    ClassesRootOverride& operator=(const ClassesRootOverride&) = delete;
    ~ClassesRootOverride() {
        if (ok_) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    }
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// Without this call (Vista SP1 and later) RegisterTypeLib writes the machine's root whatever
// HKEY_CLASSES_ROOT is mapped to.
void FollowOverrideInTypeLibraries() {
    using Enable = void(WINAPI*)();
    HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
    if (!oleaut) return;
    auto enable =
        reinterpret_cast<Enable>(reinterpret_cast<void*>(GetProcAddress(oleaut, "OaEnablePerUserTLibRegistration")));
    if (enable) enable();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool unregister = false;
    const wchar_t* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (_wcsicmp(argv[i], L"/u") == 0) {
            unregister = true;
        } else if (!path && argv[i][0] != L'/') {
            path = argv[i];
        } else {
            path = nullptr;
            break;
        }
    }
    if (!path) {
        std::fprintf(stderr, "usage: kvregister [/u] DLLPATH\n");
        return 2;
    }

    kv::ComApartment apartment;
    kv::UniqueKey classes;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, classes.put(), nullptr) != ERROR_SUCCESS) {
        classes.release();  // a failed create leaves no key to close
        std::fprintf(stderr, "kvregister: HKCU\\Software\\Classes cannot be opened\n");
        return 4;
    }
    FollowOverrideInTypeLibraries();
    ClassesRootOverride mapped(classes.get());
    if (!mapped.ok()) {
        std::fprintf(stderr, "kvregister: the classes root cannot be mapped\n");
        return 4;
    }

    kv::UniqueModule library(LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library) {
        std::fprintf(stderr, "kvregister: LoadLibrary failed (%lu)\n", GetLastError());
        return 3;
    }
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(
        GetProcAddress(library.get(), unregister ? "DllUnregisterServer" : "DllRegisterServer")));
    if (!entry) {
        std::fprintf(stderr, "kvregister: no %s\n", unregister ? "DllUnregisterServer" : "DllRegisterServer");
        return 3;
    }
    const HRESULT hr = entry();
    if (FAILED(hr)) {
        std::fprintf(stderr, "kvregister: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}
