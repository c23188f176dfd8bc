// Checks what registering KestrovaSE.dll left in the registry, and sets up its settings, from
// inside the Wine prefix. Run by registration_driver.py:
//   registration_check service HOST:PORT      store the "service" setting
//   registration_check code TEXT              store the installer's "code"
//   registration_check forget-pid             delete the stored "pid"
//   registration_check plant-stale            add a leftover subkey to the control's class key
//   registration_check registered DLLPATH     every class, ProgID and type-library entry; prints pid=...
//   registration_check unregistered           class and ProgID keys gone, settings kept; prints pid=...
//   registration_check typelib                dispatch ids of the registered type library
//   registration_check exports DLLPATH        the four exports answer as a server without classes does
// Exit code: the number of failed checks (2 for bad usage).
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "TarnwickLib_h.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace {

using kv::Bstr;
using kv::ComPtr;
using kv::GuidText;
using kv::UniqueKey;

int g_failures = 0;

void Fail(const char* what, const std::wstring& detail = L"") {
    ++g_failures;
    std::printf("FAIL: %s", what);
    if (!detail.empty()) {
        std::string narrow;
        std::printf(" [%s]", kv::WideToUtf8(detail, &narrow) ? narrow.c_str() : "(no UTF-8 form)");
    }
    std::printf("\n");
}

void Check(bool ok, const char* what, const std::wstring& detail = L"") {
    if (!ok) Fail(what, detail);
}

const wchar_t kSettingsKey[] = L"SOFTWARE\\kestrovaSE\\1.0.0";

std::wstring Widen(const std::string& text) {
    std::wstring wide;
    return kv::AnsiToWide(text, &wide) ? wide : L"(no ANSI form)";
}

bool KeyExists(HKEY root, const std::wstring& path) {
    UniqueKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        key.release();  // a failed open leaves no key to close
        return false;
    }
    return true;
}

// The REG_SZ value of root\path (name nullptr: default value); false when missing or not text.
bool ReadText(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring* value) {
    wchar_t buffer[2048] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_ANY, &type, buffer, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ) return false;
    *value = buffer;
    return true;
}

void ExpectText(const std::wstring& path, const wchar_t* name, const std::wstring& expected, bool ignoreCase = false) {
    std::wstring value;
    const std::wstring where = path + L" : " + (name ? name : L"(default)");
    if (!ReadText(HKEY_CLASSES_ROOT, path, name, &value)) {
        Fail("missing registry value", where);
        return;
    }
    const bool same = ignoreCase ? lstrcmpiW(value.c_str(), expected.c_str()) == 0 : value == expected;
    if (!same) Fail("wrong registry value", where + L" = '" + value + L"', expected '" + expected + L"'");
}

// A key that exists with no default value (Programmable, Control).
void ExpectEmptyKey(const std::wstring& path) {
    if (!KeyExists(HKEY_CLASSES_ROOT, path)) {
        Fail("missing key", path);
        return;
    }
    std::wstring value;
    if (ReadText(HKEY_CLASSES_ROOT, path, nullptr, &value) && !value.empty()) Fail("key should be empty", path);
}

void ExpectProgId(const wchar_t* progId, const CLSID& clsid) {
    CLSID found = {};
    const HRESULT hr = CLSIDFromProgID(progId, &found);
    Check(SUCCEEDED(hr) && IsEqualCLSID(found, clsid), "CLSIDFromProgID", progId);
}

std::string StoredPid() {
    char buffer[256] = {};
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\kestrovaSE\\1.0.0", "pid", RRF_RT_ANY, &type, buffer, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return buffer;
}

bool IsBracedUpperUuid(const std::string& text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    for (size_t i = 1; i < 37; ++i) {
        const char c = text[i];
        const bool hyphen = i == 9 || i == 14 || i == 19 || i == 24;
        if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

int SetSetting(const wchar_t* name, const wchar_t* value) {
    UniqueKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS) {
        key.release();
        Fail("cannot create the settings key");
        return g_failures;
    }
    LSTATUS status;
    if (value) {
        status = RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    } else {
        status = RegDeleteValueW(key.get(), name);
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    Check(status == ERROR_SUCCESS, "cannot write the setting", name);
    return g_failures;
}

int PlantStale() {
    const std::wstring path = L"CLSID\\" + GuidText(CLSID_SimTaskPane) + L"\\Stale";
    UniqueKey key;
    const bool planted = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                         key.put(), nullptr) == ERROR_SUCCESS;
    if (!planted) key.release();
    Check(planted, "cannot plant the stale key");
    return g_failures;
}

int CheckRegistered(const std::wstring& dllPath) {
    const std::wstring libid = GuidText(LIBID_TarnwickLib);

    // The add-in object.
    const std::wstring connect = L"CLSID\\" + GuidText(CLSID_Connect);
    Check(connect == L"CLSID\\{E493BA72-8D48-4676-8A72-50E49949B1E3}", "add-in class id");
    ExpectText(L"Tarnwick.Connect.1", nullptr, L"Connect Class");
    ExpectText(L"Tarnwick.Connect.1\\CLSID", nullptr, GuidText(CLSID_Connect));
    ExpectText(L"Tarnwick.Connect", nullptr, L"Connect Class");
    ExpectText(L"Tarnwick.Connect\\CLSID", nullptr, GuidText(CLSID_Connect));
    ExpectText(L"Tarnwick.Connect\\CurVer", nullptr, L"Tarnwick.Connect.1");
    ExpectText(connect, nullptr, L"Connect Class");
    ExpectText(connect + L"\\ProgID", nullptr, L"Tarnwick.Connect.1");
    ExpectText(connect + L"\\VersionIndependentProgID", nullptr, L"Tarnwick.Connect");
    ExpectEmptyKey(connect + L"\\Programmable");
    ExpectText(connect + L"\\InprocServer32", nullptr, dllPath, true);
    ExpectText(connect + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    ExpectText(connect + L"\\TypeLib", nullptr, libid);
    Check(!KeyExists(HKEY_CLASSES_ROOT, connect + L"\\Control"), "the add-in object is no control");

    // The task-pane control.
    const std::wstring pane = L"CLSID\\" + GuidText(CLSID_SimTaskPane);
    Check(pane == L"CLSID\\{34519866-49E2-42D6-953B-32417C819665}", "control class id");
    ExpectText(L"KestrovaSE.SimTaskPane.1", nullptr, L"SimTaskPane Class");
    ExpectText(L"KestrovaSE.SimTaskPane.1\\CLSID", nullptr, GuidText(CLSID_SimTaskPane));
    ExpectText(L"KestrovaSE.SimTaskPane", nullptr, L"SimTaskPane Class");
    ExpectText(L"KestrovaSE.SimTaskPane\\CurVer", nullptr, L"KestrovaSE.SimTaskPane.1");
    ExpectText(pane, nullptr, L"SimTaskPane Class");
    ExpectText(pane + L"\\ProgID", nullptr, L"KestrovaSE.SimTaskPane.1");
    ExpectText(pane + L"\\VersionIndependentProgID", nullptr, L"KestrovaSE.SimTaskPane");
    ExpectEmptyKey(pane + L"\\Programmable");
    ExpectEmptyKey(pane + L"\\Control");
    ExpectText(pane + L"\\InprocServer32", nullptr, dllPath, true);
    ExpectText(pane + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    ExpectText(pane + L"\\ToolboxBitmap32", nullptr, dllPath + L", 130", true);
    ExpectText(pane + L"\\MiscStatus", nullptr, L"0");
    ExpectText(pane + L"\\MiscStatus\\1", nullptr, L"131473");
    ExpectText(pane + L"\\TypeLib", nullptr, libid);
    ExpectText(pane + L"\\Version", nullptr, L"1.0");
    Check(!KeyExists(HKEY_CLASSES_ROOT, pane + L"\\Stale"), "the class key was rewritten from scratch");
    // The callback coclass is described but never registered.
    Check(!KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(CLSID_CallbackInterface)),
          "CallbackInterface not registered");

    ExpectProgId(L"Tarnwick.Connect", CLSID_Connect);
    ExpectProgId(L"Tarnwick.Connect.1", CLSID_Connect);
    ExpectProgId(L"KestrovaSE.SimTaskPane", CLSID_SimTaskPane);
    ExpectProgId(L"KestrovaSE.SimTaskPane.1", CLSID_SimTaskPane);

    // The type library, registered from the library file itself.
    ExpectText(L"TypeLib\\" + libid + L"\\1.0", nullptr, L"KestrovaSE 1.0 Type Library");
    ExpectText(L"TypeLib\\" + libid + L"\\1.0\\0\\win64", nullptr, dllPath, true);
    ExpectText(L"Interface\\" + GuidText(IID_ISimTaskPane) + L"\\TypeLib", nullptr, libid);
    ExpectText(L"Interface\\" + GuidText(IID_ICallbackInterface) + L"\\TypeLib", nullptr, libid);

    // The settings written by registration.
    const std::string pid = StoredPid();
    Check(IsBracedUpperUuid(pid), "pid is a braced upper-case UUID", Widen(pid));
    DWORD visible = 0;
    DWORD size = sizeof visible;
    DWORD type = 0;
    const LSTATUS status =
        RegGetValueW(HKEY_LOCAL_MACHINE, kSettingsKey, L"visible", RRF_RT_ANY, &type, &visible, &size);
    Check(status == ERROR_SUCCESS && type == REG_DWORD && visible == 1, "machine visible = 1 (DWORD)");
    std::printf("pid=%s\n", pid.c_str());
    return g_failures;
}

int CheckUnregistered() {
    for (const wchar_t* key :
         {L"Tarnwick.Connect.1", L"Tarnwick.Connect", L"KestrovaSE.SimTaskPane.1", L"KestrovaSE.SimTaskPane"}) {
        Check(!KeyExists(HKEY_CLASSES_ROOT, key), "ProgID key removed", key);
    }
    for (const CLSID* clsid : {&CLSID_Connect, &CLSID_SimTaskPane}) {
        Check(!KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(*clsid)), "class key removed", GuidText(*clsid));
    }
    Check(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"), "the classes root's CLSID key stays");
    Check(!KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidText(LIBID_TarnwickLib)), "type library unregistered");
    Check(!KeyExists(HKEY_CLASSES_ROOT, L"Interface\\" + GuidText(IID_ISimTaskPane)), "interface unregistered");
    Check(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey), "the settings key stays");
    std::printf("pid=%s\n", StoredPid().c_str());
    return g_failures;
}

struct Member {
    const wchar_t* name;
    MEMBERID id;
    INVOKEKIND kind;
};

// Every function of the interface by name and kind, with its dispatch id.
void ExpectMembers(ITypeLib* lib, const IID& iid, const char* what, const std::vector<Member>& expected,
                   size_t ownFunctions) {
    ComPtr<ITypeInfo> info;
    if (FAILED(lib->GetTypeInfoOfGuid(iid, info.put())) || !info) {
        Fail("interface missing from the type library", Widen(what));
        return;
    }
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    // A dual interface is looked up as its dispatch side, which lists IDispatch's 7 functions first.
    Check(attr && attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL), "dual interface",
          Widen(what));
    Check(attr && attr->cFuncs == ownFunctions + 7, "function count",
          Widen(what) + L" " + std::to_wstring(attr ? attr->cFuncs : -1));
    std::map<std::pair<std::wstring, int>, MEMBERID> found;
    std::vector<std::wstring> order;
    for (UINT i = 0; attr && i < attr->cFuncs; ++i) {
        FUNCDESC* func = nullptr;
        if (FAILED(info->GetFuncDesc(i, &func))) continue;
        Bstr name;
        info->GetDocumentation(func->memid, name.put(), nullptr, nullptr, nullptr);
        const std::wstring text = name.str();
        found[{text, func->invkind}] = func->memid;
        order.push_back(text);
        info->ReleaseFuncDesc(func);
    }
    for (const Member& m : expected) {
        auto it = found.find({m.name, m.kind});
        if (it == found.end()) {
            Fail("member missing", Widen(what) + L"." + m.name);
        } else if (it->second != m.id) {
            Fail("wrong dispatch id", Widen(what) + L"." + m.name + L" = " + std::to_wstring(it->second));
        }
    }
    if (attr) info->ReleaseTypeAttr(attr);
}

int CheckTypeLib() {
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadRegTypeLib(LIBID_TarnwickLib, 1, 0, LOCALE_NEUTRAL, lib.put());
    if (FAILED(hr) || !lib) {
        Fail("LoadRegTypeLib");
        return g_failures;
    }
    Bstr name;
    Bstr doc;
    lib->GetDocumentation(-1, name.put(), doc.put(), nullptr, nullptr);
    Check(name.str() == L"TarnwickLib", "library name");
    Check(doc.str() == L"KestrovaSE 1.0 Type Library", "library help string");

    const INVOKEKIND call = INVOKE_FUNC;
    const std::vector<Member> callbacks = {
        {L"changeSearchText", 21, call},
        {L"ButtonClicked", 22, call},
        {L"putVisiblePane", 23, call},
        {L"ButtonCert", 24, call},
        {L"ButtonPremium", 25, call},
        {L"ButtonHome", 26, call},
        {L"ButtonHelp", 27, call},
        {L"OnRibbonLoad", 0x60020007, call},
        {L"ButtonInfo", 0x60020008, call},
        {L"ButtonLogout", 0x60020009, call},
        {L"putVisiblePaneAllways", 0x6002000A, call},
        {L"GetImageCert", 32, call},
        {L"GetImageCustomButton", 0x6002000C, call},
        {L"GetImagePay", 0x6002000D, call},
        {L"GetImageHomepage", 0x6002000E, call},
        {L"GetImageHelp", 0x6002000F, call},
        {L"GetImageInfo", 0x60020010, call},
        {L"GetImageSearchButton", 0x60020011, call},
        {L"CheckBoxVisible", 0x60020012, call},
    };
    ExpectMembers(lib.get(), IID_ICallbackInterface, "ICallbackInterface", callbacks, 19);

    std::vector<Member> pane = {
        {L"put_SearchText", 1, call},     {L"put_Application", 2, call},
        {L"put_SearchList", 3, call},     {L"get_version", 4, call},
        {L"set_DownloadDll", 5, call},    {L"get_NewVersion", 6, call},
        {L"get_LoginStatus", 7, call},    {L"put_SearchText2", 8, call},
        {L"put_SearchFileName", 9, call}, {L"HWND", DISPID_HWND, INVOKE_PROPERTYGET},
    };
    struct Stock {
        const wchar_t* name;
        MEMBERID id;
        bool byRef;
    } stock[] = {
        {L"AutoSize", DISPID_AUTOSIZE, false},
        {L"BackColor", DISPID_BACKCOLOR, false},
        {L"BackStyle", DISPID_BACKSTYLE, false},
        {L"BorderColor", DISPID_BORDERCOLOR, false},
        {L"BorderStyle", DISPID_BORDERSTYLE, false},
        {L"BorderWidth", DISPID_BORDERWIDTH, false},
        {L"DrawMode", DISPID_DRAWMODE, false},
        {L"DrawStyle", DISPID_DRAWSTYLE, false},
        {L"DrawWidth", DISPID_DRAWWIDTH, false},
        {L"FillColor", DISPID_FILLCOLOR, false},
        {L"FillStyle", DISPID_FILLSTYLE, false},
        {L"Font", DISPID_FONT, true},
        {L"ForeColor", DISPID_FORECOLOR, false},
        {L"Enabled", DISPID_ENABLED, false},
        {L"TabStop", DISPID_TABSTOP, false},
        {L"Text", DISPID_TEXT, false},
        {L"Caption", DISPID_CAPTION, false},
        {L"BorderVisible", DISPID_BORDERVISIBLE, false},
        {L"Appearance", DISPID_APPEARANCE, false},
        {L"MousePointer", DISPID_MOUSEPOINTER, false},
        {L"MouseIcon", DISPID_MOUSEICON, true},
        {L"Picture", DISPID_PICTURE, true},
        {L"Valid", DISPID_VALID, false},
        {L"ReadyState", DISPID_READYSTATE, false},
    };
    size_t functions = 9 + 1;  // own methods, HWND (get only)
    for (const Stock& s : stock) {
        pane.push_back({s.name, s.id, INVOKE_PROPERTYGET});
        pane.push_back({s.name, s.id, INVOKE_PROPERTYPUT});
        functions += 2;
        if (s.byRef) {
            pane.push_back({s.name, s.id, INVOKE_PROPERTYPUTREF});
            ++functions;
        }
    }
    ExpectMembers(lib.get(), IID_ISimTaskPane, "ISimTaskPane", pane, functions);

    // The coclasses and the event interface.
    for (const GUID* guid : {&CLSID_Connect, &CLSID_CallbackInterface, &CLSID_SimTaskPane, &DIID__ISimTaskPaneEvents}) {
        ComPtr<ITypeInfo> info;
        Check(SUCCEEDED(lib->GetTypeInfoOfGuid(*guid, info.put())) && info, "type described", GuidText(*guid));
    }
    Check(GuidText(DIID__ISimTaskPaneEvents) == L"{3BCA4895-0137-4F26-A307-81E4F0FF85A0}", "events interface id");
    Check(GuidText(CLSID_CallbackInterface) == L"{A1BCF230-BD95-40CB-BACA-46ACEDA81D28}", "callback class id");
    Check(GuidText(IID_ICallbackInterface) == L"{DBC36DE0-CA64-4FDB-B389-FA81CFCC1595}", "callback interface id");
    Check(GuidText(IID_ISimTaskPane) == L"{54FFFAFC-8E3B-4704-9BFA-A715DFC538D8}", "control interface id");
    return g_failures;
}

int CheckExports(const std::wstring& dllPath) {
    kv::UniqueModule library(LoadLibraryW(dllPath.c_str()));
    if (!library) {
        Fail("LoadLibrary", dllPath);
        return g_failures;
    }
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(WINAPI*)();
    auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(library.get(), "DllGetClassObject")));
    auto canUnloadNow =
        reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(library.get(), "DllCanUnloadNow")));
    Check(getClassObject && canUnloadNow && GetProcAddress(library.get(), "DllRegisterServer") &&
              GetProcAddress(library.get(), "DllUnregisterServer"),
          "four exports");
    if (getClassObject && canUnloadNow) {
        const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
        void* object = reinterpret_cast<void*>(1);
        Check(getClassObject(unknown, IID_IClassFactory, &object) == CLASS_E_CLASSNOTAVAILABLE && !object,
              "unknown class: CLASS_E_CLASSNOTAVAILABLE and a cleared pointer");
        Check(getClassObject(unknown, IID_IClassFactory, nullptr) == E_POINTER, "no out pointer: E_POINTER");
        Check(canUnloadNow() == S_OK, "nothing outstanding: can unload");
    }
    return g_failures;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring mode = argv[1];
    const std::wstring arg = argc > 2 ? argv[2] : L"";
    kv::ComApartment apartment;
    int result = 2;
    if (mode == L"service" && argc > 2)
        result = SetSetting(L"service", arg.c_str());
    else if (mode == L"code" && argc > 2)
        result = SetSetting(L"code", arg.c_str());
    else if (mode == L"forget-pid")
        result = SetSetting(L"pid", nullptr);
    else if (mode == L"plant-stale")
        result = PlantStale();
    else if (mode == L"registered" && argc > 2)
        result = CheckRegistered(arg);
    else if (mode == L"unregistered")
        result = CheckUnregistered();
    else if (mode == L"typelib")
        result = CheckTypeLib();
    else if (mode == L"exports" && argc > 2)
        result = CheckExports(arg);
    std::fflush(stdout);
    return result;
}
