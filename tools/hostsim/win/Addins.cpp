// Loading add-ins as the hosts do: the per-user add-in list of the host, creation by ProgID,
// OnConnection, the ribbon, the task-pane factory, OnStartupComplete; at exit OnBeginShutdown,
// OnDisconnection and release.
#include <olectl.h>

#include "tools/hostsim/win/Dispatch.h"
#include "tools/hostsim/win/Host.h"
#include "tools/hostsim/win/Log.h"

namespace hostsim {

namespace {

constexpr DWORD kMaxAddins = 64;
constexpr size_t kMaxRibbonChars = 1 << 20;

// The object a host passes to OnConnection as the add-in instance (a COMAddIn).
class AddinInstanceObject : public DispatchImpl<IDispatch> {
public:
    explicit AddinInstanceObject(std::wstring progId) : progId_(std::move(progId)) {}

protected:
    REFIID PrimaryIid() const override { return IID_IDispatch; }
    const DispMember* Members() const override { return kMembers; }
    size_t MemberCount() const override { return 4; }
    const char* ObjectName() const override { return "COMAddIn"; }
    HRESULT Call(DISPID id, WORD flags, DispArgs& args, VARIANT* result, EXCEPINFO*) override {
        bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        switch (id) {
            case 1: SetResult(result, progId_); break;
            case 2: SetResult(result, progId_); break;
            case 3: SetResult(result, true); break;
            case 4:
                if (put) {
                    const VARIANT* v = args.PutValue();
                    object_.reset();
                    if (v && V_VT(v) == VT_DISPATCH) object_ = ComPtr<IDispatch>(V_DISPATCH(v));
                    Log("host<-", "COMAddIn.Object [put] = S_OK");
                    return S_OK;
                }
                SetResult(result, object_.get());
                break;
            default: return DISP_E_MEMBERNOTFOUND;
        }
        Log("host<-", "COMAddIn." + Utf8(kMembers[id - 1].name) + " [get] = " + (result ? Describe(*result) : "?"));
        return S_OK;
    }

private:
    static constexpr DispMember kMembers[] = {
        {L"ProgId", 1, {}}, {L"Description", 2, {}}, {L"Connected", 3, {}}, {L"Object", 4, {}}};
    std::wstring progId_;
    ComPtr<IDispatch> object_;
};
constexpr DispMember AddinInstanceObject::kMembers[];

struct SafeArrayOwner {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    ~SafeArrayOwner() {
        if (psa) SafeArrayDestroy(psa);
    }
};

// ProgIDs to load, from HKCU then HKLM (a ProgID listed in both is taken from HKCU).
std::vector<std::wstring> ListAddins(const AppInfo& info) {
    std::vector<std::wstring> out;
    std::wstring path = std::wstring(L"Software\\Microsoft\\Office\\") + info.name + L"\\Addins";
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY raw = nullptr;
        if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) continue;
        kv::UniqueKey key(raw);
        for (DWORD i = 0; i < kMaxAddins; ++i) {
            wchar_t name[256];
            DWORD len = 256;
            if (RegEnumKeyExW(key.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            bool seen = false;
            for (const auto& p : out) seen |= lstrcmpiW(p.c_str(), name) == 0;
            if (seen) continue;
            DWORD behavior = 0, size = sizeof behavior, type = 0;
            std::wstring sub = path + L"\\" + name;
            LONG rc = RegGetValueW(root, sub.c_str(), L"LoadBehavior", RRF_RT_REG_DWORD, &type, &behavior, &size);
            if (rc != ERROR_SUCCESS) {
                Log("host", "add-in " + Quote(name) + " has no LoadBehavior; not loaded");
                continue;
            }
            if ((behavior & 3) != 3) {
                Log("host",
                    "add-in " + Quote(name) + " LoadBehavior=" + std::to_string(behavior) + "; not loaded at start-up");
                continue;
            }
            Log("host", "add-in " + Quote(name) + " LoadBehavior=" + std::to_string(behavior) + " (" +
                            (root == HKEY_CURRENT_USER ? "HKCU" : "HKLM") + ")");
            out.push_back(name);
        }
    }
    return out;
}

std::unique_ptr<AddinRecord> Connect(Host& h, const std::wstring& progId) {
    auto rec = std::make_unique<AddinRecord>();
    rec->progId = progId;
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr)) {
        Log("host", "add-in " + Quote(progId) + ": CLSIDFromProgID = " + HrText(hr));
        return nullptr;
    }
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                          rec->object.putVoid());
    Log("host", "add-in " + Quote(progId) + " " + GuidUtf8(clsid) + ": CoCreateInstance = " + HrText(hr));
    if (FAILED(hr)) return nullptr;
    hr = rec->object->QueryInterface(IID__IDTExtensibility2, rec->extensibility.putVoid());
    Log("host->", "QueryInterface(_IDTExtensibility2 " + GuidUtf8(IID__IDTExtensibility2) + ") = " + HrText(hr));
    if (FAILED(hr)) return nullptr;
    rec->object->QueryInterface(IID_IDispatch, rec->callbacks.putVoid());
    rec->addinInstance = ComPtr<IDispatch>::adopt(new (std::nothrow) AddinInstanceObject(progId));
    SafeArrayOwner custom;
    hr = rec->extensibility->OnConnection(h.app.get(), ext_cm_Startup, rec->addinInstance.get(), &custom.psa);
    Log("host->", "OnConnection(Application=" + Utf8(h.info.name) +
                      ".Application, ConnectMode=1 ext_cm_Startup, AddInInst=COMAddIn " + Quote(progId) +
                      ", custom=[]) = " + HrText(hr));
    if (FAILED(hr)) return nullptr;
    return rec;
}

void LoadRibbon(Host& h, AddinRecord& rec) {
    ComPtr<IRibbonExtensibility> ribbon;
    HRESULT hr = rec.object->QueryInterface(IID_IRibbonExtensibility, ribbon.putVoid());
    Log("host->", "QueryInterface(IRibbonExtensibility " + GuidUtf8(IID_IRibbonExtensibility) + ") = " + HrText(hr));
    if (FAILED(hr)) return;
    Bstr id(h.info.ribbonId);
    Bstr xml;
    hr = ribbon->GetCustomUI(id.get(), xml.put());
    std::wstring text = xml.str();
    Log("host->", "GetCustomUI(RibbonID=" + Quote(h.info.ribbonId) + ") = " + HrText(hr) +
                      " length=" + std::to_string(text.size()));
    if (FAILED(hr) || text.empty()) return;
    if (text.size() > kMaxRibbonChars) {
        Log("host", "ribbon of " + Quote(rec.progId) + " refused: longer than " + std::to_string(kMaxRibbonChars) +
                        " characters");
        return;
    }
    rec.ribbon = ParseCustomUI(Utf8(text));
    for (const auto& w : rec.ribbon.warnings) Log("host", "ribbon of " + Quote(rec.progId) + ": " + w);
    if (!rec.ribbon.ok) {
        Log("host", "ribbon of " + Quote(rec.progId) + " refused: " + rec.ribbon.error);
        return;
    }
    std::vector<const RibbonNode*> nodes;
    CollectRibbonControls(rec.ribbon.root, nodes);
    Log("host", "ribbon of " + Quote(rec.progId) + ": " + std::to_string(nodes.size()) + " controls");
    rec.ribbonUI = NewRibbonUI(&rec);
    const std::string& onLoad = rec.ribbon.root.Attr("onLoad");
    if (!onLoad.empty() && rec.callbacks) {
        std::wstring wname = Wide(onLoad);
        LPOLESTR names[1] = {&wname[0]};
        DISPID dispid = DISPID_UNKNOWN;
        hr = rec.callbacks->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
        if (FAILED(hr)) {
            Log("host->",
                "callback onLoad=" + onLoad + "(ribbon=IRibbonUI): GetIDsOfNames = " + HrText(hr) + "; not called");
        } else {
            VARIANT arg;
            VariantInit(&arg);
            V_VT(&arg) = VT_DISPATCH;
            V_DISPATCH(&arg) = rec.ribbonUI.get();
            DISPPARAMS params{&arg, nullptr, 1, 0};
            Variant result;
            kv::ExcepInfo ex;
            UINT argErr = 0;
            hr = rec.callbacks->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(),
                                       ex.put(), &argErr);
            Log("host->", "callback onLoad=" + onLoad + "(ribbon=IRibbonUI) dispid=" + std::to_string(dispid) + " = " +
                              HrText(hr));
        }
    }
    rec.ribbonLoaded = true;
}

void OfferPaneFactory(Host& h, AddinRecord& rec) {
    (void)h;
    ComPtr<ICustomTaskPaneConsumer> consumer;
    HRESULT hr = rec.object->QueryInterface(IID_ICustomTaskPaneConsumer, consumer.putVoid());
    Log("host->",
        "QueryInterface(ICustomTaskPaneConsumer " + GuidUtf8(IID_ICustomTaskPaneConsumer) + ") = " + HrText(hr));
    if (FAILED(hr)) return;
    ComPtr<ICTPFactory> factory = NewPaneFactory();
    hr = consumer->CTPFactoryAvailable(factory.get());
    Log("host->", "CTPFactoryAvailable(CTPFactoryInst=ICTPFactory) = " + HrText(hr));
}

}  // namespace

void Host::LoadAddins() {
    std::vector<std::wstring> list = ListAddins(info);
    if (list.empty()) Log("host", "no add-ins to load");
    for (const auto& progId : list) {
        std::unique_ptr<AddinRecord> rec = Connect(*this, progId);
        if (!rec) continue;
        AddinRecord* raw = rec.get();
        addins.push_back(std::move(rec));
        LoadRibbon(*this, *raw);
        for (auto& f : frames) BuildRibbon(f.get());
        OfferPaneFactory(*this, *raw);
    }
    for (auto& rec : addins) {
        SafeArrayOwner custom;
        HRESULT hr = rec->extensibility->OnStartupComplete(&custom.psa);
        Log("host->", "OnStartupComplete(custom=[]) = " + HrText(hr) + " [" + Utf8(rec->progId) + "]");
    }
}

void Host::ShutdownAddins() {
    for (auto& rec : addins) {
        SafeArrayOwner custom;
        HRESULT hr = rec->extensibility->OnBeginShutdown(&custom.psa);
        Log("host->", "OnBeginShutdown(custom=[]) = " + HrText(hr) + " [" + Utf8(rec->progId) + "]");
    }
    for (auto& rec : addins) {
        SafeArrayOwner custom;
        HRESULT hr = rec->extensibility->OnDisconnection(ext_dm_HostShutdown, &custom.psa);
        Log("host->", "OnDisconnection(RemoveMode=0 ext_dm_HostShutdown, custom=[]) = " + HrText(hr) + " [" +
                          Utf8(rec->progId) + "]");
    }
    // Panes and their controls go before the add-ins that created them are released.
    for (auto& f : frames) {
        for (auto& p : f->panes) DestroyPaneWindow(p.get());
        f->panes.clear();
        for (auto& item : f->ribbon) item->control.reset();
    }
    NotifyConnectionsOnQuit();
    for (auto& rec : addins) {
        DetachRibbonUI(rec->ribbonUI.get());
        rec->ribbonUI.reset();
        rec->callbacks.reset();
        rec->extensibility.reset();
        rec->addinInstance.reset();
        rec->object.reset();
        Log("host", "add-in " + Quote(rec->progId) + " released");
    }
    addins.clear();
}

}  // namespace hostsim
