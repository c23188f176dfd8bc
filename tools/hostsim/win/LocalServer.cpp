// The host as a COM local server: registration of the three application classes, the class
// factory of an embedded start, and the running-object-table entry of the application object.
#include "tools/hostsim/win/Host.h"
#include "tools/hostsim/win/Log.h"

#include "platform/WinHandles.h"

namespace hostsim {

namespace {

const wchar_t kServerMark[] = L"hostsim";

LONG SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY raw = nullptr;
    LONG rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    kv::UniqueKey key(raw);
    return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
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
    std::wstring clsid = kv::GuidText(info.clsid);
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
    std::wstring itf = L"Interface\\" + kv::GuidText(info.applicationIid);
    rc |= SetString(HKEY_CLASSES_ROOT, itf, nullptr, L"_Application");
    rc |= SetString(HKEY_CLASSES_ROOT, itf + L"\\ProxyStubClsid32", nullptr, L"{00020420-0000-0000-C000-000000000046}");
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

bool IsOurs(const AppInfo& info) {
    std::wstring path = L"CLSID\\" + kv::GuidText(info.clsid);
    wchar_t buf[1024];
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS)
        return false;
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
        LogBuilt("host<-", [&] { return "ClassFactory.CreateInstance(" + GuidUtf8(iid) + ") = " + HrText(hr); });
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            CoAddRefServerProcess();
        } else if (CoReleaseServerProcess() == 0 && ExternalConnections() == 0) {
            Host::Get().EndWhenUnused();
        }
        return S_OK;
    }
};

ApplicationFactory g_factory;

// Incoming calls from other processes pass here first. Once the host is quitting they are
// refused: the host's state is being torn down while it still pumps messages.
class CallFilter : public IMessageFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IMessageFilter) {
            *out = static_cast<IMessageFilter*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    // Lives as long as the process.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        if (!Host::Get().quitting) return SERVERCALL_ISHANDLED;
        LogBuilt("host", [] { return std::string("call refused: the application is quitting"); });
        return SERVERCALL_REJECTED;
    }
    // The host's own calls into other processes are not retried.
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return static_cast<DWORD>(-1); }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }
};

CallFilter g_filter;

// A service manager handle.
using UniqueService = kv::UniqueResource<SC_HANDLE, decltype(&CloseServiceHandle), &CloseServiceHandle>;

}  // namespace

HRESULT RegisterServers() {
    for (AppKind k : {AppKind::Word, AppKind::Excel, AppKind::PowerPoint}) {
        HRESULT hr = RegisterOne(AppInfoFor(k));
        Log("host", "register " + Utf8(AppInfoFor(k).progId) + " = " + HrText(hr));
        if (FAILED(hr)) return hr;
    }
    // Registered servers are of use only once COM can start them, and the first client may come
    // right after this program returns: say so now rather than let that client wait forever.
    kv::ComApartment com;  // the check asks the COM service itself
    HRESULT hr = FAILED(com.result()) ? com.result() : WaitForComService(30000);
    if (FAILED(hr)) {
        LogError(
            "registered, but the COM service (RpcSs) does not run: clients cannot start these servers yet. "
            "In a Wine prefix just made, let its set-up session end first (wineserver -w after wineboot -i).");
    }
    return hr;
}

HRESULT UnregisterServers() {
    for (AppKind k : {AppKind::Word, AppKind::Excel, AppKind::PowerPoint}) {
        const AppInfo& info = AppInfoFor(k);
        // Only our own registration is removed; a real installation is left alone.
        if (!IsOurs(info)) {
            Log("host", "unregister " + Utf8(info.progId) + ": not registered by this program; left alone");
            continue;
        }
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + kv::GuidText(info.clsid)).c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, info.progId);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"Interface\\" + kv::GuidText(info.applicationIid)).c_str());
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
    HRESULT hr =
        CoRegisterClassObject(Host::Get().info.clsid, &g_factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    Log("host", "CoRegisterClassObject(" + Utf8(Host::Get().info.progId) + ") = " + HrText(hr));
    return hr;
}

void StopClassFactory(DWORD cookie) {
    if (cookie) CoRevokeClassObject(cookie);
}

namespace {

// One round trip to the COM service: the running-object table asked about a name nobody uses.
HRESULT ProbeComService() {
    ComPtr<IRunningObjectTable> table;
    ComPtr<IMoniker> name;
    HRESULT hr = GetRunningObjectTable(0, table.put());
    if (SUCCEEDED(hr)) hr = CreateItemMoniker(L"!", L"hostsim probe", name.put());
    if (SUCCEEDED(hr)) hr = table->IsRunning(name.get());
    return FAILED(hr) ? hr : S_OK;
}

}  // namespace

HRESULT WaitForComService(DWORD timeoutMs) {
    // Class registration and the running-object table of local servers live in the RPC service.
    // On a system that is still starting it may not run yet. In a Wine prefix right after
    // `wineboot -i` it does not start at all while that set-up session lives: the service manager
    // first holds its database lock for the auto-start services (ERROR_SERVICE_DATABASE_LOCKED),
    // then the RPC service reports to a second service manager of the same session and the start
    // times out (ERROR_SERVICE_REQUEST_TIMEOUT). A server that registers then is never found by
    // its clients, who wait for it without end; Wine's CoRegisterClassObject reports success.
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    DWORD lastError = ERROR_SUCCESS;
    bool logged = false;
    for (;;) {
        UniqueService scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        UniqueService service(scm ? OpenServiceW(scm.get(), L"RpcSs", SERVICE_START | SERVICE_QUERY_STATUS) : nullptr);
        if (service) {
            SERVICE_STATUS_PROCESS status{};
            DWORD needed = 0;
            if (QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                     sizeof status, &needed)) {
                if (status.dwCurrentState == SERVICE_RUNNING) {
                    // Running as the service manager sees it is not enough: it must answer.
                    HRESULT probe = ProbeComService();
                    if (SUCCEEDED(probe)) {
                        if (logged) Log("host", "COM service (RpcSs) running");
                        return S_OK;
                    }
                    lastError = HRESULT_CODE(probe);
                }
                if (status.dwCurrentState == SERVICE_STOPPED && !StartServiceW(service.get(), 0, nullptr) &&
                    GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
                    lastError = GetLastError();
                }
            } else {
                lastError = GetLastError();
            }
        } else {
            lastError = GetLastError();
        }
        if (!logged) {
            Log("host", "waiting for the COM service (RpcSs) to run; last error " + std::to_string(lastError));
            logged = true;
        }
        if (GetTickCount64() >= deadline) {
            LogError("the COM service (RpcSs) did not start within " + std::to_string(timeoutMs) + " ms; last error " +
                     std::to_string(lastError));
            return HRESULT_FROM_WIN32(lastError ? lastError : ERROR_SERVICE_REQUEST_TIMEOUT);
        }
        Sleep(200);
    }
}

HRESULT RegisterCallFilter() {
    IMessageFilter* previous = nullptr;
    HRESULT hr = CoRegisterMessageFilter(&g_filter, &previous);
    // Nothing else in this process registers one; a previous filter would only be put back.
    ComPtr<IMessageFilter> drop = ComPtr<IMessageFilter>::adopt(previous);
    return hr;
}

void RevokeCallFilter() {
    IMessageFilter* previous = nullptr;
    CoRegisterMessageFilter(nullptr, &previous);
    ComPtr<IMessageFilter> drop = ComPtr<IMessageFilter>::adopt(previous);
}

HRESULT RegisterInRot(DWORD& cookie) {
    Host& h = Host::Get();
    // Weak: the table's entry is no client, so it must not keep an embedded host alive once the
    // last real client has gone.
    HRESULT hr = RegisterActiveObject(h.app.get(), h.info.clsid, ACTIVEOBJECT_WEAK, &cookie);
    // The COM service may have gone away since it was checked (a Wine prefix still finishing its
    // set-up session): wait for it once more and retry, bounded.
    if (hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)) {
        Log("host", "RegisterActiveObject = " + HrText(hr) + "; waiting for the COM service");
        if (SUCCEEDED(WaitForComService(10000)))
            hr = RegisterActiveObject(h.app.get(), h.info.clsid, ACTIVEOBJECT_WEAK, &cookie);
    }
    Log("host", "RegisterActiveObject(" + Utf8(h.info.progId) + " " + GuidUtf8(h.info.clsid) + ") = " + HrText(hr));
    return hr;
}

void RevokeFromRot(DWORD cookie) {
    if (cookie) RevokeActiveObject(cookie, nullptr);
}

}  // namespace hostsim
