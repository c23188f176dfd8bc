// The host as a COM local server: registration of the three application classes, the class
// factory of an embedded start, and the running-object-table entry of the application object.
#include "tools/hostsim/win/Host.h"
#include "tools/hostsim/win/Log.h"

namespace hostsim {

namespace {

const wchar_t kServerMark[] = L"hostsim";

LONG SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY raw = nullptr;
  LONG rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  RegKey key(raw);
  return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

const wchar_t* CommandName(AppKind kind) {
  switch (kind) {
    case AppKind::Word: return L"word";
    case AppKind::Excel: return L"excel";
    default: return L"powerpoint";
  }
}

HRESULT RegisterOne(const AppInfo& info) {
  std::wstring clsid = Wide(GuidText(info.clsid));
  std::wstring exe = ExePath();
  if (exe.empty()) return E_FAIL;
  std::wstring command = L"\"" + exe + L"\" --app " + CommandName(info.kind);
  std::wstring base = L"CLSID\\" + clsid;
  LONG rc = ERROR_SUCCESS;
  rc |= SetString(HKEY_CLASSES_ROOT, base, nullptr, std::wstring(info.progId) + L" (" + kServerMark + L")");
  rc |= SetString(HKEY_CLASSES_ROOT, base + L"\\LocalServer32", nullptr, command);
  rc |= SetString(HKEY_CLASSES_ROOT, base + L"\\ProgID", nullptr, info.progId);
  rc |= SetString(HKEY_CLASSES_ROOT, info.progId, nullptr, std::wstring(info.progId) + L" (" + kServerMark + L")");
  rc |= SetString(HKEY_CLASSES_ROOT, std::wstring(info.progId) + L"\\CLSID", nullptr, clsid);
  // Cross-process callers reach the application's _Application through the dispatch marshaller.
  std::wstring itf = L"Interface\\" + Wide(GuidText(info.applicationIid));
  rc |= SetString(HKEY_CLASSES_ROOT, itf, nullptr, L"_Application");
  rc |= SetString(HKEY_CLASSES_ROOT, itf + L"\\ProxyStubClsid32", nullptr, L"{00020420-0000-0000-C000-000000000046}");
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

bool IsOurs(const AppInfo& info) {
  std::wstring path = L"CLSID\\" + Wide(GuidText(info.clsid));
  wchar_t buf[1024];
  DWORD size = sizeof buf;
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) return false;
  return std::wstring(buf).find(kServerMark) != std::wstring::npos;
}

class ApplicationFactory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  // Lives as long as the process; registered once.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    return Guard([&] { return Create(outer, iid, out); });
  }
  HRESULT Create(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Host& h = Host::Get();
    if (!h.app || h.quitting) return CO_E_SERVER_STOPPING;
    HRESULT hr = h.app->QueryInterface(iid, out);
    LogBuilt("host<-", [&] { return "ClassFactory.CreateInstance(" + GuidText(iid) + ") = " + HrText(hr); });
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

ApplicationFactory g_factory;

}  // namespace

HRESULT RegisterServers() {
  for (AppKind k : {AppKind::Word, AppKind::Excel, AppKind::PowerPoint}) {
    HRESULT hr = RegisterOne(AppInfoFor(k));
    Log("host", "register " + Utf8(AppInfoFor(k).progId) + " = " + HrText(hr));
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT UnregisterServers() {
  for (AppKind k : {AppKind::Word, AppKind::Excel, AppKind::PowerPoint}) {
    const AppInfo& info = AppInfoFor(k);
    // Only our own registration is removed; a real installation is left alone.
    if (!IsOurs(info)) {
      Log("host", "unregister " + Utf8(info.progId) + ": not registered by this program; left alone");
      continue;
    }
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + Wide(GuidText(info.clsid))).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, info.progId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"Interface\\" + Wide(GuidText(info.applicationIid))).c_str());
    Log("host", "unregister " + Utf8(info.progId) + " = S_OK");
  }
  return S_OK;
}

void EnsureProgIdsRegistered() {
  // Add-ins find running hosts by ProgID and start the others by it (opening a template in
  // another host); an installed suite always has all three.
  for (AppKind k : {AppKind::Word, AppKind::Excel, AppKind::PowerPoint}) {
    const AppInfo& info = AppInfoFor(k);
    CLSID clsid;
    if (SUCCEEDED(CLSIDFromProgID(info.progId, &clsid))) continue;
    HRESULT hr = RegisterOne(info);
    Log("host", "registered " + Utf8(info.progId) + " for this program = " + HrText(hr));
  }
}

HRESULT StartClassFactory(DWORD& cookie) {
  HRESULT hr = CoRegisterClassObject(Host::Get().info.clsid, &g_factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);
  Log("host", "CoRegisterClassObject(" + Utf8(Host::Get().info.progId) + ") = " + HrText(hr));
  return hr;
}

void StopClassFactory(DWORD cookie) {
  if (cookie) CoRevokeClassObject(cookie);
}

HRESULT RegisterInRot(DWORD& cookie) {
  Host& h = Host::Get();
  // Weak: the table's entry is no client, so it must not keep an embedded host alive once the
  // last real client has gone.
  HRESULT hr = RegisterActiveObject(h.app.Get(), h.info.clsid, ACTIVEOBJECT_WEAK, &cookie);
  Log("host", "RegisterActiveObject(" + Utf8(h.info.progId) + " " + GuidText(h.info.clsid) + ") = " + HrText(hr));
  return hr;
}

void RevokeFromRot(DWORD cookie) {
  if (cookie) RevokeActiveObject(cookie, nullptr);
}

}  // namespace hostsim
