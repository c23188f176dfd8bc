#include "addin/composition/Connect.h"

#include <new>
#include <string_view>
#include <vector>

#include "addin/base/host/HostModel.h"
#include "addin/base/shared/SharedState.h"
#include "addin/base/shared/TextCut.h"
#include "addin/composition/RibbonDefinition.h"
#include "addin/features/service/Addresses.h"
#include "addin/features/service/ServiceConfig.h"
#include "addin/features/service/Settings.h"
#include "addin/features/update/LibraryEntry.h"
#include "addin/widgets/pane/PaneWindows.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"
#include "platform/WinText.h"

namespace kv {
namespace {

constexpr wchar_t kControlProgId[] = L"KestrovaSE.SimTaskPane";
constexpr wchar_t kPaneTitle[] = L"서식 검색";
constexpr wchar_t kPowerPointProgId[] = L"PowerPoint.Application";

// The hosts' application interfaces; answered only by the host they belong to.
constexpr IID kWordApplication = {0x00020970, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kExcelApplication = {0x000208D5, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kPowerPointApplication = {0x91493442, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};

static_assert(kHostOutOfMemory == E_OUTOFMEMORY, "the controller passes the host's out-of-memory through");

// The three hosts' application events, in the order they are connected, with the one event of
// each that the add-in handles.
struct EventInterface {
    const IID* iid;
    DISPID eventId;
};
const EventInterface kEventInterfaces[3] = {
    {&DIID_WordApplicationEvents, kDocumentOpenId},
    {&DIID_ExcelAppEvents, kWorkbookOpenId},
    {&DIID_PowerPointEApplication, kAfterPresentationOpenId},
};

HRESULT GetNamedProperty(IDispatch* object, const wchar_t* name, VARIANT* value) {
    if (!object) return E_POINTER;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none = {};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
}

// A writable NUL-terminated copy for the control's CHAR* parameters.
std::vector<char> Buffer(const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return buffer;
}

bool PowerPointWindowKey(IDispatch* application, int32_t* key) {
    ComPtr<IDispatch> powerPoint;
    if (!application || FAILED(application->QueryInterface(kPowerPointApplication, powerPoint.putVoid()))) {
        return false;
    }
    Variant value;
    if (FAILED(GetNamedProperty(powerPoint.get(), L"HWND", value.put()))) return false;
    if (FAILED(VariantChangeType(value.get(), value.get(), 0, VT_UI4))) return false;
    *key = static_cast<int32_t>(V_UI4(value.get()));
    return true;
}

// The caption (UTF-16, null counts as empty) as OpenedDocumentName-sized text.
bool ReadCaption(IDispatch* object, std::string* caption) {
    caption->clear();
    Variant value;
    if (FAILED(GetNamedProperty(object, L"Caption", value.put()))) return false;
    if (V_VT(value.get()) == VT_EMPTY || V_VT(value.get()) == VT_NULL) return true;
    if (FAILED(VariantChangeType(value.get(), value.get(), 0, VT_BSTR))) return false;
    *caption = CConnect::NarrowText(V_BSTR(value.get()), SysStringLen(V_BSTR(value.get())));
    return true;
}

// CSimTaskPane inside a pane, through ISimTaskPane.
class SimTaskPaneControl final : public PaneControl {
public:
    SimTaskPaneControl(ComPtr<ISimTaskPane> control, IDispatch* application, UpdateTrigger& updates)
        : control_(std::move(control)), application_(application), updates_(updates) {}

    void PutSearchText2(const std::string& text) override {
        std::vector<char> buffer = Buffer(text);
        control_->put_SearchText2(buffer.data(), application_);
    }
    void PutApplication() override { control_->put_Application(application_); }
    void PutSearchFileName(const std::string& caption) override {
        std::vector<char> buffer = Buffer(caption);
        control_->put_SearchFileName(buffer.data());
    }
    bool LoginStatus(int16_t* level) override {
        SHORT value = -1;
        if (FAILED(control_->get_LoginStatus(&value))) return false;
        *level = value;
        return true;
    }
    void PutSearchList() override { control_->put_SearchList(); }
    void RunUpdate(const Identity& identity) override { updates_.Run(*control_.get(), identity); }

private:
    ComPtr<ISimTaskPane> control_;
    IDispatch* application_;  // the add-in object's, which outlives every call on this
    UpdateTrigger& updates_;
};

// A custom task pane of the host (_CustomTaskPane).
class HostTaskPane final : public AddinPane {
public:
    HostTaskPane(ComPtr<_CustomTaskPane> pane, const ComPtr<IDispatch>& application, UpdateTrigger& updates)
        : pane_(std::move(pane)), application_(application), updates_(updates) {}

    void SetWidth(int width) override { pane_->put_Width(width); }
    bool Visible(bool* visible) override {
        VARIANT_BOOL value = VARIANT_FALSE;
        if (FAILED(pane_->get_Visible(&value))) return false;
        *visible = value == VARIANT_TRUE;
        return true;
    }
    void SetVisible(bool visible) override { pane_->put_Visible(visible ? VARIANT_TRUE : VARIANT_FALSE); }
    bool HasContentControl() override {
        ComPtr<IDispatch> content;
        return SUCCEEDED(pane_->get_ContentControl(content.put())) && content;
    }
    std::unique_ptr<PaneControl> Control(HostStatus* status) override {
        ComPtr<IDispatch> content;
        HRESULT hr = pane_->get_ContentControl(content.put());
        if (SUCCEEDED(hr) && !content) hr = E_NOINTERFACE;
        ComPtr<ISimTaskPane> control;
        if (SUCCEEDED(hr)) hr = content.as(IID_ISimTaskPane, &control);
        if (SUCCEEDED(hr) && !control) hr = E_NOINTERFACE;
        if (status) *status = hr;
        if (FAILED(hr)) return nullptr;
        return std::make_unique<SimTaskPaneControl>(std::move(control), application_.get(), updates_);
    }
    void Delete() override { pane_->Delete(); }

private:
    ComPtr<_CustomTaskPane> pane_;
    const ComPtr<IDispatch>& application_;  // the add-in object's, which owns the pane table
    UpdateTrigger& updates_;
};

}  // namespace

// ---- Object -------------------------------------------------------------------------------------

HRESULT CConnect::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateComObject<CConnect>(iid, object, DefaultUpdateTrigger(), DefaultMembershipUi());
}

const InterfaceEntry* CConnect::Interfaces() {
    // IUnknown and IDispatch are the callbacks', so the host resolves the ribbon's names
    // against TarnwickLib.
    static const InterfaceEntry table[] = {
        KV_INTERFACE(CConnect, ICallbackInterface),   KV_INTERFACE_AS(CConnect, IID_IDispatch, ICallbackInterface),
        KV_INTERFACE(CConnect, IRibbonExtensibility), KV_INTERFACE(CConnect, ICustomTaskPaneConsumer),
        KV_INTERFACE(CConnect, _IDTExtensibility2),   {},
    };
    return table;
}

CConnect::CConnect(UpdateTrigger& updates, MembershipUi& membership)
    : updates_(updates),
      membership_(membership),
      controller_(AddinControllerServices{*this, *this, SystemSettings(), log_, SystemSharedState()}) {}

CConnect::~CConnect() {
    DisconnectSinks();
}

std::string CConnect::NarrowText(const wchar_t* text, UINT length) {
    // Characters the code page lacks become its default character, as the host's own narrow
    // text would.
    if (!text || length == 0) return std::string();
    return CutCp949(WideToCodePageLossy(CP_THREAD_ACP, std::wstring_view(text, length)));
}

// ---- Dispatch -----------------------------------------------------------------------------------

HRESULT CConnect::TypeInfoFor(REFIID iid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    // The callbacks are TarnwickLib's (the first type library); the office interfaces are in
    // the library's second one.
    ComPtr<ITypeInfo>* cached = nullptr;
    int library = 2;
    if (iid == IID_ICallbackInterface) {
        cached = &callbackInfo_;
        library = 1;
    } else if (iid == IID__IDTExtensibility2) {
        cached = &extensibilityInfo_;
    } else if (iid == IID_IRibbonExtensibility) {
        cached = &ribbonInfo_;
    } else if (iid == IID_ICustomTaskPaneConsumer) {
        cached = &paneConsumerInfo_;
    } else {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    if (!*cached) {
        const HRESULT hr = ModuleTypeInfo(library, iid, cached->put());
        if (FAILED(hr)) return hr;
    }
    *info = cached->get();
    (*info)->AddRef();
    return S_OK;
}

HRESULT CConnect::InvokeFor(REFIID iid, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* exception, UINT* argumentError) {
    ComPtr<ITypeInfo> info;
    if (iid == IID_IRibbonExtensibility || iid == IID_ICustomTaskPaneConsumer) {
        HRESULT hr = TypeInfoFor(iid, info.put());
        if (FAILED(hr)) return hr;
        void* self = iid == IID_IRibbonExtensibility ? static_cast<void*>(static_cast<IRibbonExtensibility*>(this))
                                                     : static_cast<void*>(static_cast<ICustomTaskPaneConsumer*>(this));
        return InvokeThroughTypeInfo(info.get(), self, id, flags, params, result, exception, argumentError);
    }
    // The ribbon callbacks, then the connection interface.
    HRESULT hr = TypeInfoFor(IID_ICallbackInterface, info.put());
    if (FAILED(hr)) return hr;
    hr = InvokeThroughTypeInfo(info.get(), static_cast<ICallbackInterface*>(this), id, flags, params, result, exception,
                               argumentError);
    if (hr != DISP_E_MEMBERNOTFOUND) return hr;
    hr = TypeInfoFor(IID__IDTExtensibility2, info.put());
    if (FAILED(hr)) return hr;
    return InvokeThroughTypeInfo(info.get(), static_cast<_IDTExtensibility2*>(this), id, flags, params, result,
                                 exception, argumentError);
}

// ---- Connection ---------------------------------------------------------------------------------

STDMETHODIMP CConnect::OnConnection(IDispatch* Application, ext_ConnectMode, IDispatch* AddInInst, SAFEARRAY**) {
    return Guard([&] {
        if (controller_.connected()) return S_OK;  // a second connection of the same object changes nothing
        if (Application) Application->QueryInterface(IID_IDispatch, application_.putVoid());
        if (AddInInst) AddInInst->QueryInterface(IID_IDispatch, addinInstance_.putVoid());
        ConnectSinks();
        const ProgramKind program =
            ProgramKindFromEvents(sinks_[0] && sinks_[0]->connected(), sinks_[1] && sinks_[1]->connected(),
                                  sinks_[2] && sinks_[2]->connected());
        std::string version;
        Variant value;
        if (SUCCEEDED(GetNamedProperty(application_.get(), L"Version", value.put())) &&
            SUCCEEDED(VariantChangeType(value.get(), value.get(), 0, VT_BSTR))) {
            version = NarrowText(V_BSTR(value.get()), SysStringLen(V_BSTR(value.get())));
        }
        controller_.Connect(program, version);
        return S_OK;
    });
}

void CConnect::ConnectSinks() {
    // Word's, Excel's, PowerPoint's: only the running host's own interface connects.
    for (int i = 0; i < 3; ++i) {
        auto sink = ComPtr<ApplicationEventSink>::adopt(new (std::nothrow)
                                                            ApplicationEventSink(*kEventInterfaces[i].iid, *this));
        if (!sink) continue;
        if (SUCCEEDED(sink->Connect(application_.get()))) {
            sinks_[i] = std::move(sink);
        } else {
            sink->Disconnect();
        }
    }
}

void CConnect::DisconnectSinks() {
    for (ComPtr<ApplicationEventSink>& sink : sinks_) {
        if (sink) sink->Disconnect();
        sink.reset();
    }
}

void CConnect::OnApplicationEvent(REFIID eventInterface, DISPID id, const DISPPARAMS*) {
    // Only the sink's own document-open event; its arguments are not used.
    for (const EventInterface& events : kEventInterfaces) {
        if (*events.iid != eventInterface || events.eventId != id) continue;
        ComPtr<CConnect> keep(this);
        controller_.DocumentOpened(id);
        return;
    }
}

STDMETHODIMP CConnect::OnDisconnection(ext_DisconnectMode, SAFEARRAY**) {
    return Guard([&] {
        // Unloaded while the host runs, nothing may be left that calls back into this object.
        controller_.Disconnect();
        DisconnectSinks();
        controller_.DeletePanes();
        ribbon_.reset();
        paneFactory_.reset();
        application_.reset();
        addinInstance_.reset();
        return S_OK;
    });
}

STDMETHODIMP CConnect::OnAddInsUpdate(SAFEARRAY**) {
    return S_OK;
}

STDMETHODIMP CConnect::OnStartupComplete(SAFEARRAY**) {
    return Guard([&] {
        controller_.StartupComplete();
        return S_OK;
    });
}

STDMETHODIMP CConnect::OnBeginShutdown(SAFEARRAY**) {
    return Guard([&] {
        controller_.BeginShutdown();
        return S_OK;
    });
}

// ---- Ribbon definition and task panes -----------------------------------------------------------

STDMETHODIMP CConnect::GetCustomUI(BSTR, BSTR* RibbonXml) {
    if (!RibbonXml) return E_POINTER;
    *RibbonXml = SysAllocString(kRibbonDefinition);
    return *RibbonXml ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CConnect::CTPFactoryAvailable(ICTPFactory* CTPFactoryInst) {
    return Guard([&]() -> HRESULT {
        if (!CTPFactoryInst || !controller_.connected()) return S_OK;
        paneFactory_ = ComPtr<ICTPFactory>(CTPFactoryInst);
        return controller_.FactoryAvailable(this);
    });
}

HostStatus CConnect::CreatePane(std::shared_ptr<AddinPane>* pane) {
    pane->reset();
    if (!paneFactory_) return E_POINTER;
    Bstr progId(kControlProgId);
    Bstr title(kPaneTitle);
    if (!progId.get() || !title.get()) return E_OUTOFMEMORY;
    // No parent window: the host uses its active one.
    Variant missing;
    V_VT(missing.get()) = VT_ERROR;
    V_ERROR(missing.get()) = DISP_E_PARAMNOTFOUND;
    ComPtr<_CustomTaskPane> created;
    const HRESULT hr = paneFactory_->CreateCTP(progId.get(), title.get(), missing.v(), created.put());
    if (created) *pane = std::make_shared<HostTaskPane>(std::move(created), application_, updates_);
    return hr;
}

// ---- Host ---------------------------------------------------------------------------------------

int32_t CConnect::ActiveWindowKey() {
    return static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetActiveWindow())));
}

bool CConnect::ApplicationWindowKey(int32_t* key) {
    return PowerPointWindowKey(application_.get(), key);
}

HostStatus CConnect::ProbeApplicationWindow(int32_t* key) {
    CLSID powerPoint = {};
    HRESULT probe = CLSIDFromProgID(kPowerPointProgId, &powerPoint);
    if (FAILED(probe)) return probe;
    ComPtr<IDispatch> application;
    probe = application_.as(kPowerPointApplication, &application);
    if (SUCCEEDED(probe)) PowerPointWindowKey(application.get(), key);
    return probe;
}

bool CConnect::ReadOpenedDocument(ProgramKind program, OpenedDocument* document) {
    // Word: the caption of its active window; Excel: the application's. PowerPoint: the running
    // application's caption and window; without a running one there is nothing to do.
    if (program == ProgramKind::Word) {
        ComPtr<IDispatch> word;
        Variant window;
        document->captionRead = SUCCEEDED(application_.as(kWordApplication, &word)) &&
                                SUCCEEDED(GetNamedProperty(word.get(), L"ActiveWindow", window.put())) &&
                                V_VT(window.get()) == VT_DISPATCH && V_DISPATCH(window.get()) &&
                                ReadCaption(V_DISPATCH(window.get()), &document->caption);
        return true;
    }
    if (program == ProgramKind::Excel) {
        ComPtr<IDispatch> excel;
        document->captionRead =
            SUCCEEDED(application_.as(kExcelApplication, &excel)) && ReadCaption(excel.get(), &document->caption);
        return true;
    }
    CLSID clsid = {};
    ComPtr<IUnknown> running;
    ComPtr<IDispatch> powerPoint;
    if (FAILED(CLSIDFromProgID(kPowerPointProgId, &clsid)) || FAILED(GetActiveObject(clsid, nullptr, running.put())) ||
        FAILED(running.as(kPowerPointApplication, &powerPoint))) {
        return false;
    }
    PowerPointWindowKey(powerPoint.get(), &document->applicationWindowKey);
    document->captionRead = ReadCaption(powerPoint.get(), &document->caption);
    return true;
}

void CConnect::ReturnFocus(int32_t windowKey) {
    // Window handles carry 32 significant bits, sign-extended in a 64-bit process.
    const HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(windowKey));
    const DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    const DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
    const bool attached = foregroundThread != 0 && windowThread != 0 && foregroundThread != windowThread &&
                          AttachThreadInput(foregroundThread, windowThread, TRUE);
    SetForegroundWindow(window);
    BringWindowToTop(window);
    SetFocus(window);
    if (attached) AttachThreadInput(foregroundThread, windowThread, FALSE);
}

// ---- Actions ------------------------------------------------------------------------------------

void CConnect::ShowLogin(int16_t loginLevel) {
    membership_.ShowLogin(GetActiveWindow(), loginLevel);
}

void CConnect::ShowAbout() {
    membership_.ShowAbout(GetActiveWindow());
}

void CConnect::OpenServicePage(int uflag, const Identity& identity) {
    OpenBrowserPage(SystemShell(), LoadServiceConfig(SystemSettings()), ServicePagePath(uflag, identity));
}

void CConnect::Connected() {
    AddinConnected();
}

// At the last host the templates clean-up and the updater start run there.
void CConnect::Leaving() {
    AddinLeaving(PaneDocumentsFolder());
}

}  // namespace kv
