// Checks of the 32-bit presence control from inside the Wine prefix, as a 32-bit program.
// Run by presence_driver.py:
//   presence_check registered DLLPATH   every class, ProgID and type-library entry, value by value
//   presence_check objects              creation by ProgID, object safety, CConnect, the face
//   presence_check unregistered         class and ProgID keys gone, the classes root's CLSID key kept
//   presence_check plant-stale          a leftover subkey in the control's class key
// Exit code: the number of failed checks (2 for bad usage).
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <string>

#include "PresenceLib_h.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace {

using kv::ComPtr;
using kv::GuidText;

int g_failures = 0;

void Check(bool ok, const char* what, const std::wstring& detail = L"") {
    if (ok) return;
    ++g_failures;
    std::string narrow;
    if (!kv::WideToUtf8(detail, &narrow)) narrow = kv::WideToCodePageLossy(CP_UTF8, detail);
    std::printf("FAIL: %s%s%s\n", what, detail.empty() ? "" : " ", narrow.c_str());
}

bool KeyExists(const std::wstring& path, REGSAM view = 0) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &raw) != ERROR_SUCCESS) return false;
    kv::UniqueKey key(raw);
    return true;
}

// A REG_SZ value of the classes root (name nullptr: the default value).
void ExpectText(const std::wstring& path, const wchar_t* name, const std::wstring& expected, bool ignoreCase = false) {
    wchar_t buffer[2048] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    const std::wstring where = path + L" : " + (name ? name : L"(default)");
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_ANY, &type, buffer, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        Check(false, "missing text value", where);
        return;
    }
    const bool same = ignoreCase ? lstrcmpiW(buffer, expected.c_str()) == 0 : expected == buffer;
    Check(same, "wrong value", where + L" = '" + buffer + L"', expected '" + expected + L"'");
}

// A key that exists and has no default value (Programmable, Control).
void ExpectEmptyKey(const std::wstring& path) {
    Check(KeyExists(path), "missing key", path);
    wchar_t buffer[256] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    const LSTATUS status =
        RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer, &size);
    Check(status != ERROR_SUCCESS || buffer[0] == 0, "key should have no value", path);
}

int CheckRegistered(const std::wstring& dll) {
    const std::wstring libid = L"{085FFF9D-CE6C-490C-8A88-9CA82D39898E}";
    Check(GuidText(LIBID_TarnwickLib) == libid, "library id");
    const std::wstring connect = L"CLSID\\{E493BA72-8D48-4676-8A72-50E49949B1E3}";
    const std::wstring pane = L"CLSID\\{34519866-49E2-42D6-953B-32417C819665}";
    Check(L"CLSID\\" + GuidText(CLSID_Connect) == connect && L"CLSID\\" + GuidText(CLSID_SimTaskPane) == pane,
          "class ids");

    ExpectText(L"Tarnwick.Connect.1", nullptr, L"Connect Class");
    ExpectText(L"Tarnwick.Connect.1\\CLSID", nullptr, GuidText(CLSID_Connect));
    ExpectText(L"Tarnwick.Connect", nullptr, L"Connect Class");
    ExpectText(L"Tarnwick.Connect\\CLSID", nullptr, GuidText(CLSID_Connect));
    ExpectText(L"Tarnwick.Connect\\CurVer", nullptr, L"Tarnwick.Connect.1");
    ExpectText(connect, nullptr, L"Connect Class");
    ExpectText(connect + L"\\ProgID", nullptr, L"Tarnwick.Connect.1");
    ExpectText(connect + L"\\VersionIndependentProgID", nullptr, L"Tarnwick.Connect");
    ExpectEmptyKey(connect + L"\\Programmable");
    ExpectText(connect + L"\\InprocServer32", nullptr, dll, true);
    ExpectText(connect + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    ExpectText(connect + L"\\TypeLib", nullptr, libid);
    Check(!KeyExists(connect + L"\\Control"), "the add-in class is no control");

    ExpectText(L"KestrovaSE.SimTaskPane.1", nullptr, L"SimTaskPane Class");
    ExpectText(L"KestrovaSE.SimTaskPane.1\\CLSID", nullptr, GuidText(CLSID_SimTaskPane));
    ExpectText(L"KestrovaSE.SimTaskPane", nullptr, L"SimTaskPane Class");
    ExpectText(L"KestrovaSE.SimTaskPane\\CurVer", nullptr, L"KestrovaSE.SimTaskPane.1");
    ExpectText(pane, nullptr, L"SimTaskPane Class");
    ExpectText(pane + L"\\ProgID", nullptr, L"KestrovaSE.SimTaskPane.1");
    ExpectText(pane + L"\\VersionIndependentProgID", nullptr, L"KestrovaSE.SimTaskPane");
    ExpectEmptyKey(pane + L"\\Programmable");
    ExpectEmptyKey(pane + L"\\Control");
    ExpectText(pane + L"\\InprocServer32", nullptr, dll, true);
    ExpectText(pane + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    ExpectText(pane + L"\\ToolboxBitmap32", nullptr, dll + L", 130", true);
    ExpectText(pane + L"\\MiscStatus", nullptr, L"0");
    ExpectText(pane + L"\\MiscStatus\\1", nullptr, L"131473");
    ExpectText(pane + L"\\TypeLib", nullptr, libid);
    ExpectText(pane + L"\\Version", nullptr, L"1.0");
    Check(!KeyExists(pane + L"\\Stale"), "the class key was removed before it was written");

    // 32-bit registration: the type library's win32 entry; nothing in the 64-bit view.
    ExpectText(L"TypeLib\\" + libid + L"\\1.0", nullptr, L"KestrovaSE 1.0 Type Library");
    ExpectText(L"TypeLib\\" + libid + L"\\1.0\\0\\win32", nullptr, dll, true);
    Check(!KeyExists(pane, KEY_WOW64_64KEY), "no class key in the 64-bit view");

    // The toolbox picture: bitmap 130, 16 x 16.
    kv::UniqueModule library(LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    Check(static_cast<bool>(library), "load the library as data", dll);
    if (library) {
        kv::UniqueBitmap bitmap(static_cast<HBITMAP>(
            LoadImageW(library.get(), MAKEINTRESOURCEW(130), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        BITMAP info = {};
        Check(bitmap && GetObjectW(bitmap.get(), sizeof info, &info) && info.bmWidth == 16 && info.bmHeight == 16,
              "bitmap 130 is 16 x 16");
    }

    // The type library: ISimTaskPane has the stock properties and nothing else.
    ComPtr<ITypeLib> lib;
    Check(SUCCEEDED(LoadRegTypeLib(LIBID_TarnwickLib, 1, 0, LOCALE_NEUTRAL, lib.put())), "LoadRegTypeLib");
    ComPtr<ITypeInfo> info;
    if (lib && SUCCEEDED(lib->GetTypeInfoOfGuid(IID_ISimTaskPane, info.put()))) {
        TYPEATTR* attr = nullptr;
        info->GetTypeAttr(&attr);
        // 7 of IDispatch, a put/get pair for 24 properties, putref for 3, get only for HWND.
        Check(attr && attr->cFuncs == 7 + 48 + 3 + 1, "ISimTaskPane has only the stock properties",
              std::to_wstring(attr ? attr->cFuncs : 0));
        if (attr) info->ReleaseTypeAttr(attr);
        MEMBERID id = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(L"put_SearchText")};
        Check(FAILED(info->GetIDsOfNames(names, 1, &id)), "no method of the 64-bit control");
    } else {
        Check(false, "ISimTaskPane in the type library");
    }
    for (const GUID* guid : {&CLSID_Connect, &CLSID_CallbackInterface, &IID_ICallbackInterface,
                             &DIID__ISimTaskPaneEvents, &CLSID_SimTaskPane}) {
        ComPtr<ITypeInfo> described;
        Check(lib && SUCCEEDED(lib->GetTypeInfoOfGuid(*guid, described.put())), "type described", GuidText(*guid));
    }
    return g_failures;
}

int CheckUnregistered() {
    for (const wchar_t* key :
         {L"Tarnwick.Connect.1", L"Tarnwick.Connect", L"KestrovaSE.SimTaskPane.1", L"KestrovaSE.SimTaskPane"}) {
        Check(!KeyExists(key), "ProgID key removed", key);
    }
    Check(!KeyExists(L"CLSID\\" + GuidText(CLSID_Connect)), "add-in class key removed");
    Check(!KeyExists(L"CLSID\\" + GuidText(CLSID_SimTaskPane)), "control class key removed");
    Check(KeyExists(L"CLSID"), "the classes root's CLSID key stays");
    Check(!KeyExists(L"TypeLib\\" + GuidText(LIBID_TarnwickLib)), "type library unregistered");
    return g_failures;
}

int PlantStale() {
    HKEY raw = nullptr;
    const std::wstring path = L"CLSID\\" + GuidText(CLSID_SimTaskPane) + L"\\Stale";
    Check(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr) ==
              ERROR_SUCCESS,
          "plant a stale key");
    kv::UniqueKey key(raw);
    return g_failures;
}

using AtlAxWinInitFunction = BOOL(WINAPI*)();

int CheckObjects() {
    CLSID clsid = {};
    Check(SUCCEEDED(CLSIDFromProgID(L"KestrovaSE.SimTaskPane", &clsid)) && IsEqualCLSID(clsid, CLSID_SimTaskPane),
          "ProgID KestrovaSE.SimTaskPane");
    ComPtr<IUnknown> pane;
    Check(SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, pane.putVoid())),
          "create KestrovaSE.SimTaskPane");
    ComPtr<IObjectSafety> safety;
    if (pane) Check(SUCCEEDED(pane.as(IID_IObjectSafety, &safety)), "IObjectSafety");
    if (safety) {
        DWORD supported = 9;
        DWORD enabled = 9;
        Check(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled) == S_OK && supported == 1 &&
                  enabled == 0,
              "IDispatch: supported 1, enabled 0");
        Check(FAILED(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_DATA,
                                                       INTERFACESAFE_FOR_UNTRUSTED_DATA)),
              "enabling safe for untrusted data fails");
        Check(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                INTERFACESAFE_FOR_UNTRUSTED_CALLER) == S_OK,
              "enabling safe for untrusted callers succeeds");
        Check(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled) == S_OK && supported == 1 &&
                  enabled == 1,
              "IDispatch: enabled 1 after setting it");
        supported = 9;
        enabled = 9;
        Check(FAILED(safety->GetInterfaceSafetyOptions(IID_IClassFactory, &supported, &enabled)) && supported == 0 &&
                  enabled == 0,
              "an interface the object does not answer: 0, 0 and a failure");
    }
    if (pane) {
        ComPtr<IUnknown> probe;
        Check(SUCCEEDED(pane.as(IID_ISimTaskPane, &probe)), "ISimTaskPane");
        Check(SUCCEEDED(pane.as(IID_IDispatch, &probe)), "IDispatch");
    }

    ComPtr<IUnknown> connect;
    Check(SUCCEEDED(CoCreateInstance(CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, connect.putVoid())),
          "create Tarnwick.Connect");
    if (connect) {
        for (const IID* iid : {&IID_IDispatch, &IID_ICallbackInterface, &IID_IObjectSafety, &IID_IPersist}) {
            ComPtr<IUnknown> probe;
            Check(connect.as(*iid, &probe) == E_NOINTERFACE && !probe, "Tarnwick.Connect refuses", GuidText(*iid));
        }
    }
    ComPtr<IDispatch> refused;
    Check(CoCreateInstance(CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, refused.putVoid()) ==
              E_NOINTERFACE,
          "Tarnwick.Connect cannot be created as IDispatch");

    // With a window (hosted by Wine's AtlAxWin), the control paints the framework's face.
    HMODULE atl = LoadLibraryW(L"atl.dll");
    auto init =
        atl ? reinterpret_cast<AtlAxWinInitFunction>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")))
            : nullptr;
    Check(init && init(), "AtlAxWinInit");
    kv::UniqueWindow frame(
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 120, nullptr, nullptr, nullptr, nullptr));
    HWND container = CreateWindowExW(0, L"AtlAxWin", L"KestrovaSE.SimTaskPane", WS_CHILD | WS_VISIBLE, 0, 0, 240, 120,
                                     frame.get(), nullptr, nullptr, nullptr);
    HWND window = container ? GetWindow(container, GW_CHILD) : nullptr;
    Check(window != nullptr, "the hosted control has a window");
    if (window) {
        UpdateWindow(window);
        MSG message;
        for (int i = 0; i < 20; ++i) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            Sleep(20);
        }
        kv::WindowDc dc(window);
        Check(GetPixel(dc.get(), 0, 60) == RGB(0, 0, 0), "the face's frame");
        int dark = 0;
        for (int x = 40; x < 200; ++x) {
            for (int y = 50; y < 70; ++y) dark += GetPixel(dc.get(), x, y) == RGB(0, 0, 0);
        }
        Check(dark > 20, "the face's text in the middle", std::to_wstring(dark));
    }
    return g_failures;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring mode = argv[1];
    kv::ComApartment apartment;
    int result = 2;
    if (mode == L"registered" && argc > 2)
        result = CheckRegistered(argv[2]);
    else if (mode == L"unregistered")
        result = CheckUnregistered();
    else if (mode == L"objects")
        result = CheckObjects();
    else if (mode == L"plant-stale")
        result = PlantStale();
    CoFreeUnusedLibraries();
    std::fflush(stdout);
    return result;
}
