// The application object model: Application, its one document collection, documents, windows,
// and the connection point that carries the host's application events.
#include <olectl.h>

#include "tools/hostsim/win/Dispatch.h"
#include "tools/hostsim/win/Host.h"
#include "tools/hostsim/win/Log.h"

namespace hostsim {

namespace {

const AppInfo kApps[] = {
    {AppKind::Word,
     L"Word",
     L"Word.Application",
     {0x000209FF, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}},
     {0x00020970, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}},
     {0x000209FE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}},
     4,
     L"DocumentOpen",
     L"Documents",
     L"문서",
     L"Microsoft.Word.Document",
     true},
    {AppKind::Excel,
     L"Excel",
     L"Excel.Application",
     {0x00024500, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}},
     {0x000208D5, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}},
     {0x00024413, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}},
     1567,
     L"WorkbookOpen",
     L"Workbooks",
     L"통합 문서",
     L"Microsoft.Excel.Workbook",
     true},
    {AppKind::PowerPoint,
     L"PowerPoint",
     L"PowerPoint.Application",
     {0x91493441, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}},
     {0x91493442, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}},
     {0x914934C2, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}},
     2021,
     L"AfterPresentationOpen",
     L"Presentations",
     L"프레젠테이션",
     L"Microsoft.PowerPoint.Presentation",
     false},
};

const char* FlagText(WORD flags) {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return "put";
    if (flags & DISPATCH_METHOD) return "call";
    return "get";
}

bool IsPut(WORD flags) {
    return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
}

enum : DISPID {
    kAppName = 1,
    kAppVersion,
    kAppCaption,
    kAppVisible,
    kAppQuit,
    kAppActiveWindow,
    kAppCollection,
    kAppHwnd,
    kAppActiveDocument,
    kAppApplication,
    kAppUserControl,
};

const DispMember kWordAppMembers[] = {
    {L"Name", kAppName, {}},
    {L"Version", kAppVersion, {}},
    {L"Caption", kAppCaption, {}},
    {L"Visible", kAppVisible, {}},
    {L"Quit", kAppQuit, {}},
    {L"ActiveWindow", kAppActiveWindow, {}},
    {L"Documents", kAppCollection, {}},
    {L"ActiveDocument", kAppActiveDocument, {}},
    {L"Application", kAppApplication, {}},
    {L"UserControl", kAppUserControl, {}},
};
const DispMember kExcelAppMembers[] = {
    {L"Name", kAppName, {}},
    {L"Version", kAppVersion, {}},
    {L"Caption", kAppCaption, {}},
    {L"Visible", kAppVisible, {}},
    {L"Quit", kAppQuit, {}},
    {L"ActiveWindow", kAppActiveWindow, {}},
    {L"Workbooks", kAppCollection, {}},
    {L"ActiveWorkbook", kAppActiveDocument, {}},
    {L"Application", kAppApplication, {}},
    {L"UserControl", kAppUserControl, {}},
};
const DispMember kPowerPointAppMembers[] = {
    {L"Name", kAppName, {}},
    {L"Version", kAppVersion, {}},
    {L"Caption", kAppCaption, {}},
    {L"Visible", kAppVisible, {}},
    {L"Quit", kAppQuit, {}},
    {L"ActiveWindow", kAppActiveWindow, {}},
    {L"Presentations", kAppCollection, {}},
    {L"ActivePresentation", kAppActiveDocument, {}},
    {L"HWND", kAppHwnd, {}},
    {L"Application", kAppApplication, {}},
    {L"UserControl", kAppUserControl, {}},
};

// ---------------------------------------------------------------------------------------------
class ConnectionPoint : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer* container, REFIID iid) : container_(container), iid_(iid) {
        TrackObject(tracked_, static_cast<IConnectionPoint*>(this));
    }
    virtual ~ConnectionPoint() { UntrackObject(tracked_); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
            *out = static_cast<IConnectionPoint*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = iid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
        if (!out) return E_POINTER;
        *out = container_;
        container_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        return Guard([&] { return AdviseSink(sink, cookie); });
    }
    HRESULT AdviseSink(IUnknown* sink, DWORD* cookie) {
        if (!sink || !cookie) return E_POINTER;
        *cookie = 0;
        ComPtr<IDispatch> events;
        // A sink must answer the event interface itself, as with the real hosts.
        HRESULT hr = sink->QueryInterface(iid_, events.putVoid());
        if (FAILED(hr) || !events) {
            Log("host<-", "ConnectionPoint" + GuidUtf8(iid_) +
                              ".Advise(sink) = CONNECT_E_CANNOTCONNECT (sink lacks the event interface)");
            return CONNECT_E_CANNOTCONNECT;
        }
        sinks_.emplace_back(lastCookie_ + 1, events);  // may throw: nothing is handed out before it
        *cookie = ++lastCookie_;
        LogBuilt("host<-", [&] {
            return "ConnectionPoint" + GuidUtf8(iid_) + ".Advise(sink) = S_OK cookie=" + std::to_string(*cookie);
        });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        return Guard([&] { return UnadviseSink(cookie); });
    }
    HRESULT UnadviseSink(DWORD cookie) {
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (it->first == cookie) {
                sinks_.erase(it);
                Log("host<-", "ConnectionPoint" + GuidUtf8(iid_) + ".Unadvise(" + std::to_string(cookie) + ") = S_OK");
                return S_OK;
            }
        }
        Log("host<-",
            "ConnectionPoint" + GuidUtf8(iid_) + ".Unadvise(" + std::to_string(cookie) + ") = CONNECT_E_NOCONNECTION");
        return CONNECT_E_NOCONNECTION;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    std::vector<ComPtr<IDispatch>> Sinks() const {
        std::vector<ComPtr<IDispatch>> out;
        for (const auto& s : sinks_) out.push_back(s.second);
        return out;
    }
    void Clear() { sinks_.clear(); }

private:
    LONG refs_ = 1;
    IConnectionPointContainer* container_;  // owns this point; outlives it
    IID iid_;
    DWORD lastCookie_ = 0;
    std::vector<std::pair<DWORD, ComPtr<IDispatch>>> sinks_;
    TrackedObject tracked_;
};

}  // namespace

const AppInfo& AppInfoFor(AppKind kind) {
    for (const auto& a : kApps)
        if (a.kind == kind) return a;
    return kApps[0];
}

bool AppKindFromName(const std::wstring& name, AppKind& kind) {
    if (lstrcmpiW(name.c_str(), L"word") == 0)
        kind = AppKind::Word;
    else if (lstrcmpiW(name.c_str(), L"excel") == 0)
        kind = AppKind::Excel;
    else if (lstrcmpiW(name.c_str(), L"powerpoint") == 0)
        kind = AppKind::PowerPoint;
    else
        return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
class DocumentObject : public DispatchImpl<IDispatch> {
public:
    explicit DocumentObject(Document* doc) : doc_(doc) {}
    void Detach() { doc_ = nullptr; }

protected:
    REFIID PrimaryIid() const override { return IID_IDispatch; }
    const DispMember* Members() const override { return kMembers; }
    size_t MemberCount() const override { return sizeof kMembers / sizeof kMembers[0]; }
    const char* ObjectName() const override { return "Document"; }
    HRESULT Call(DISPID id, WORD flags, DispArgs&, VARIANT* result, EXCEPINFO*) override {
        if (!doc_) return E_UNEXPECTED;
        switch (id) {
            case 1: SetResult(result, doc_->name); break;
            case 2: SetResult(result, doc_->fullName.empty() ? doc_->name : doc_->fullName); break;
            default: return DISP_E_MEMBERNOTFOUND;
        }
        Log("host<-", std::string("Document.") + (id == 1 ? "Name" : "FullName") + " [" + FlagText(flags) +
                          "] = " + (result ? Describe(*result) : "?"));
        return S_OK;
    }

private:
    static constexpr DispMember kMembers[] = {{L"Name", 1, {}}, {L"FullName", 2, {}}};
    Document* doc_;
};
constexpr DispMember DocumentObject::kMembers[];

class WindowObject : public DispatchImpl<IDispatch> {
public:
    explicit WindowObject(Frame* frame) : frame_(frame) {}
    void Detach() { frame_ = nullptr; }

protected:
    REFIID PrimaryIid() const override { return IID_IDispatch; }
    const DispMember* Members() const override { return kMembers; }
    size_t MemberCount() const override { return sizeof kMembers / sizeof kMembers[0]; }
    const char* ObjectName() const override { return "Window"; }
    HRESULT Call(DISPID id, WORD flags, DispArgs&, VARIANT* result, EXCEPINFO*) override {
        Host& h = Host::Get();
        if (!frame_) return E_UNEXPECTED;
        if (IsPut(flags)) return DISP_E_MEMBERNOTFOUND;
        switch (id) {
            case 1: SetResult(result, h.WindowCaption(frame_)); break;
            // Window handles fit in 32 bits, and 32-bit clients get the same value: the documented
            // conversion, not a cast.
            case 2: SetResult(result, static_cast<int>(HandleToLong(frame_->hwnd))); break;
            case 3: SetResult(result, frame_->number); break;
            default: return DISP_E_MEMBERNOTFOUND;
        }
        Log("host<-",
            std::string("Window.") + Utf8(kMembers[id - 1].name) + " [get] = " + (result ? Describe(*result) : "?"));
        return S_OK;
    }

private:
    static constexpr DispMember kMembers[] = {{L"Caption", 1, {}}, {L"Hwnd", 2, {}}, {L"Index", 3, {}}};
    Frame* frame_;
};
constexpr DispMember WindowObject::kMembers[];

class CollectionObject : public DispatchImpl<IDispatch> {
protected:
    REFIID PrimaryIid() const override { return IID_IDispatch; }
    const DispMember* Members() const override { return kMembers; }
    size_t MemberCount() const override { return sizeof kMembers / sizeof kMembers[0]; }
    const char* ObjectName() const override { return Name().c_str(); }
    const std::string& Name() const {
        static std::string name;
        name = Utf8(Host::Get().info.collection);
        return name;
    }
    HRESULT Call(DISPID id, WORD flags, DispArgs& args, VARIANT* result, EXCEPINFO* ex) override {
        Host& h = Host::Get();
        std::string who = Name();
        switch (id) {
            case 1: {
                SetResult(result, static_cast<int>(h.documents.size()));
                Log("host<-", who + ".Count [get] = " + std::to_string(h.documents.size()));
                return S_OK;
            }
            case 0: {
                int index = 0;
                HRESULT hr = args.GetInt(0, 0, index);
                if (FAILED(hr) || index < 1 || index > static_cast<int>(h.documents.size())) {
                    Log("host<-", who + ".Item(" + std::to_string(index) + ") = DISP_E_BADINDEX");
                    return DISP_E_BADINDEX;
                }
                SetResult(result, h.documents[index - 1]->object.get());
                Log("host<-", who + ".Item(" + std::to_string(index) + ") = " + Quote(h.documents[index - 1]->name));
                return S_OK;
            }
            case 2: {
                const VARIANT* named = nullptr;
                std::wstring path;
                HRESULT hr = args.GetString(0, 0, path);
                named = args.Get(0, 0);
                std::string argText = "FileName=" + (named ? Describe(*named) : std::string("missing"));
                if (FAILED(hr) || path.empty()) {
                    Log("host<-", who + ".Open(" + argText + ") = DISP_E_PARAMNOTFOUND");
                    return hr == DISP_E_TYPEMISMATCH ? hr : DISP_E_PARAMNOTFOUND;
                }
                Document* doc = nullptr;
                std::wstring error;
                hr = h.OpenDocument(path, &doc, error);
                if (FAILED(hr)) {
                    Log("host<-", who + ".Open(" + argText + ") = exception: " + Utf8(error));
                    return RaiseException(ex, h.info.name, error, hr);
                }
                Log("host<-", who + ".Open(" + argText + ") = S_OK " + Quote(doc->name));
                SetResult(result, doc->object.get());
                h.RaiseOpenEvent(doc);
                return S_OK;
            }
            case 3: {
                Document* doc = h.NewBlankDocument();
                Log("host<-", who + ".Add() = S_OK " + Quote(doc->name));
                SetResult(result, doc->object.get());
                return S_OK;
            }
            default: (void)flags; return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    static constexpr DispMember kMembers[] = {
        {L"Item", 0, {L"Index"}},
        {L"Count", 1, {}},
        {L"Open", 2, {L"FileName", L"ConfirmConversions", L"ReadOnly", L"AddToRecentFiles"}},
        {L"Add", 3, {}},
    };
};
constexpr DispMember CollectionObject::kMembers[];

// ---------------------------------------------------------------------------------------------
class ApplicationObject : public DispatchImpl<IDispatch>, public IConnectionPointContainer, public IExternalConnection {
public:
    ApplicationObject() {
        point_ = ComPtr<ConnectionPoint>::adopt(new (std::nothrow) ConnectionPoint(this, Host::Get().info.eventsIid));
        collection_ = ComPtr<CollectionObject>::adopt(new (std::nothrow) CollectionObject());
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return DispatchImpl<IDispatch>::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DispatchImpl<IDispatch>::Release(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return DispatchImpl<IDispatch>::QueryInterface(iid, out);
    }

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
        return Guard([&] { return FindPoint(iid, out); });
    }
    HRESULT FindPoint(REFIID iid, IConnectionPoint** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!point_ || iid != Host::Get().info.eventsIid) {
            Log("host<-", "Application.FindConnectionPoint(" + GuidUtf8(iid) + ") = CONNECT_E_NOCONNECTION");
            return CONNECT_E_NOCONNECTION;
        }
        Log("host<-", "Application.FindConnectionPoint(" + GuidUtf8(iid) + ") = S_OK");
        ComPtr<IConnectionPoint> point(point_.get());
        *out = point.release();
        return S_OK;
    }

    // IExternalConnection: strong connections from other processes keep an embedded host alive,
    // each one a reference on the server process.
    DWORD STDMETHODCALLTYPE AddConnection(DWORD type, DWORD) override {
        if (type & EXTCONN_STRONG) {
            ++external_;
            CoAddRefServerProcess();
            LogBuilt("host", [&] { return "external connections: " + std::to_string(external_); });
        }
        return external_;
    }
    DWORD STDMETHODCALLTYPE ReleaseConnection(DWORD type, DWORD, BOOL) override {
        if ((type & EXTCONN_STRONG) && external_ > 0) {
            --external_;
            ULONG process = CoReleaseServerProcess();
            // Counted and acted on even when the log line cannot be built.
            LogBuilt("host", [&] { return "external connections: " + std::to_string(external_); });
            // This runs inside the client's release call: the host must not end before the reply
            // has gone out, so the end is only requested here and decided once the call returned.
            if (external_ == 0 && process == 0) Host::Get().EndWhenUnused();
        }
        return external_;
    }
    DWORD ExternalConnections() const { return external_; }

    std::vector<ComPtr<IDispatch>> Sinks() const { return point_ ? point_->Sinks() : std::vector<ComPtr<IDispatch>>(); }
    void ClearSinks() {
        if (point_) point_->Clear();
    }

protected:
    ~ApplicationObject() override = default;
    REFIID PrimaryIid() const override { return Host::Get().info.applicationIid; }
    HRESULT QueryOther(REFIID iid, void** out) override {
        if (iid == IID_IConnectionPointContainer) {
            *out = static_cast<IConnectionPointContainer*>(this);
            AddRef();
            return S_OK;
        }
        if (iid == IID_IExternalConnection) {
            *out = static_cast<IExternalConnection*>(this);
            AddRef();
            return S_OK;
        }
        // Another host's _Application: say so in the log, it is how add-ins tell hosts apart.
        for (const auto& a : kApps) {
            if (iid == a.applicationIid) {
                Log("host<-", "Application.QueryInterface(" + Utf8(a.name) + " _Application " + GuidUtf8(iid) +
                                  ") = E_NOINTERFACE");
                break;
            }
        }
        return E_NOINTERFACE;
    }
    const DispMember* Members() const override {
        switch (Host::Get().info.kind) {
            case AppKind::Word: return kWordAppMembers;
            case AppKind::Excel: return kExcelAppMembers;
            default: return kPowerPointAppMembers;
        }
    }
    size_t MemberCount() const override {
        switch (Host::Get().info.kind) {
            case AppKind::Word: return sizeof kWordAppMembers / sizeof kWordAppMembers[0];
            case AppKind::Excel: return sizeof kExcelAppMembers / sizeof kExcelAppMembers[0];
            default: return sizeof kPowerPointAppMembers / sizeof kPowerPointAppMembers[0];
        }
    }
    const char* ObjectName() const override { return "Application"; }

    HRESULT Call(DISPID id, WORD flags, DispArgs& args, VARIANT* result, EXCEPINFO*) override {
        Host& h = Host::Get();
        const DispMember* m = nullptr;
        for (size_t i = 0; i < MemberCount(); ++i)
            if (Members()[i].id == id) m = &Members()[i];
        if (!m) return DISP_E_MEMBERNOTFOUND;
        std::string what = "Application." + Utf8(m->name) + " [" + FlagText(flags) + "]";
        Variant local;
        if (!result) result = local.get();
        if (IsPut(flags)) {
            const VARIANT* v = args.PutValue();
            bool b = false;
            if (!v) return DISP_E_PARAMNOTFOUND;
            if (id == kAppVisible && SUCCEEDED(VariantToBool(*v, b))) {
                // Shown, the host is the user's; hidden again, it is back under its clients' control
                // and ends with the last of them.
                h.ShowAll(b);
                h.userControl = b;
                Log("host<-", what + " " + Describe(*v) + " = S_OK");
                return S_OK;
            }
            if (id == kAppUserControl && SUCCEEDED(VariantToBool(*v, b))) {
                h.userControl = b;
                Log("host<-", what + " " + Describe(*v) + " = S_OK");
                return S_OK;
            }
            Log("host<-", what + " " + Describe(*v) + " = DISP_E_MEMBERNOTFOUND");
            return DISP_E_MEMBERNOTFOUND;
        }
        switch (id) {
            case kAppName: SetResult(result, std::wstring(h.info.name)); break;
            case kAppVersion: SetResult(result, h.version); break;
            case kAppCaption: SetResult(result, h.ApplicationCaption()); break;
            case kAppVisible: SetResult(result, h.visible); break;
            case kAppUserControl: SetResult(result, h.userControl); break;
            case kAppQuit:
                Log("host<-", what + " = S_OK");
                h.Quit();
                return S_OK;
            case kAppActiveWindow: {
                Frame* f = h.ActiveFrame();
                if (!f) {
                    Log("host<-", what + " = E_FAIL (no window)");
                    return E_FAIL;
                }
                SetResult(result, f->window.get());
                break;
            }
            case kAppCollection: SetResult(result, static_cast<IDispatch*>(collection_.get())); break;
            case kAppActiveDocument: {
                Frame* f = h.ActiveFrame();
                if (!f || !f->activeDocument) {
                    Log("host<-", what + " = E_FAIL (no document)");
                    return E_FAIL;
                }
                SetResult(result, f->activeDocument->object.get());
                break;
            }
            case kAppHwnd: {
                Frame* f = h.frames.empty() ? nullptr : h.frames.front().get();
                SetResult(result, f ? static_cast<int>(HandleToLong(f->hwnd)) : 0);
                break;
            }
            case kAppApplication: SetResult(result, static_cast<IDispatch*>(this)); break;
            default: return DISP_E_MEMBERNOTFOUND;
        }
        Log("host<-", what + " = " + Describe(*result));
        return S_OK;
    }

private:
    ComPtr<ConnectionPoint> point_;  // holds a raw pointer back to this object: ours outlives it
    ComPtr<CollectionObject> collection_;
    DWORD external_ = 0;
};

HRESULT CreateApplicationObject(ComPtr<IDispatch>& out) {
    ApplicationObject* app = new (std::nothrow) ApplicationObject();
    out = ComPtr<IDispatch>::adopt(app ? static_cast<DispatchImpl<IDispatch>*>(app) : nullptr);
    return out ? S_OK : E_OUTOFMEMORY;
}

static ApplicationObject* AppObject() {
    IDispatch* d = Host::Get().app.get();
    return d ? static_cast<ApplicationObject*>(static_cast<DispatchImpl<IDispatch>*>(d)) : nullptr;
}

ComPtr<IDispatch> NewDocumentObject(Document* doc) {
    return ComPtr<IDispatch>::adopt(new (std::nothrow) DocumentObject(doc));
}

ComPtr<IDispatch> NewWindowObject(Frame* frame) {
    return ComPtr<IDispatch>::adopt(new (std::nothrow) WindowObject(frame));
}

void Host::RaiseOpenEvent(Document* doc) {
    ApplicationObject* appObject = AppObject();
    if (!appObject) return;
    auto sinks = appObject->Sinks();
    Log("event", Utf8(info.openEventName) + " iid=" + GuidUtf8(info.eventsIid) +
                     " dispid=" + std::to_string(info.openEventId) + " document=" + Quote(doc->name) +
                     " sinks=" + std::to_string(sinks.size()));
    for (auto& sink : sinks) {
        VARIANTARG arg;
        VariantInit(&arg);
        V_VT(&arg) = VT_DISPATCH;
        V_DISPATCH(&arg) = doc->object.get();
        DISPPARAMS params{&arg, nullptr, 1, 0};
        Variant result;
        kv::ExcepInfo ex;
        UINT argErr = 0;
        HRESULT hr = sink->Invoke(info.openEventId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                  result.get(), ex.put(), &argErr);
        Log("host->", "sink.Invoke(dispid=" + std::to_string(info.openEventId) + " " + Utf8(info.openEventName) +
                          ", document=" + Quote(doc->name) + ") = " + HrText(hr));
    }
}

void DetachObjects() {
    // Clients may still hold documents and windows after the host's state is gone: cut them off
    // it first, so a late call fails instead of touching freed memory.
    Host& h = Host::Get();
    for (auto& d : h.documents)
        static_cast<DocumentObject*>(static_cast<DispatchImpl<IDispatch>*>(d->object.get()))->Detach();
    for (auto& f : h.frames)
        static_cast<WindowObject*>(static_cast<DispatchImpl<IDispatch>*>(f->window.get()))->Detach();
}

DWORD ExternalConnections() {
    ApplicationObject* a = AppObject();
    return a ? a->ExternalConnections() : 0;
}

void NotifyConnectionsOnQuit() {
    if (ApplicationObject* a = AppObject()) a->ClearSinks();
}

}  // namespace hostsim
