#include "addin/composition/Connect.h"

#include <new>
#include <string_view>
#include <vector>

#include "addin/base/com/ComRegistration.h"
#include "addin/base/com/ComServer.h"
#include "addin/base/host/HostModel.h"
#include "addin/composition/RibbonDefinition.h"
#include "addin/features/service/ServiceConfig.h"
#include "addin/features/service/Settings.h"
#include "addin/features/service/UsageLog.h"
#include "addin/features/update/LibraryEntry.h"
#include "platform/WinHandles.h"
#include "addin/widgets/pane/PaneWindows.h"
#include "addin/base/shared/SharedState.h"
#include "addin/base/shared/TextCut.h"
#include "platform/Network.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"
#include "platform/WinText.h"

namespace kv {
namespace {

constexpr wchar_t kControlProgId[] = L"KestrovaSE.SimTaskPane";
constexpr wchar_t kPaneTitle[] = L"서식 검색";
constexpr wchar_t kPowerPointProgId[] = L"PowerPoint.Application";
constexpr int kPaneWidth = 300;

// The hosts' application interfaces; answered only by the host they belong to.
constexpr IID kWordApplication = {0x00020970, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kExcelApplication = {0x000208D5, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kPowerPointApplication = {0x91493442, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};


HRESULT GetNamedProperty(IDispatch* object, const wchar_t* name, VARIANT* value) {
    if (!object) return E_POINTER;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none = {};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
}

// Text in the thread's code page, cut to the 249 bytes of a 250-byte buffer on a whole
// character. Characters the code page lacks become its default character, as the host's own
// narrow text would.
std::string NarrowText(const wchar_t* text, UINT length) {
    if (!text || length == 0) return std::string();
    return CutCp949(WideToCodePageLossy(CP_THREAD_ACP, std::wstring_view(text, length)));
}

// A writable NUL-terminated copy for the control's CHAR* parameters.
std::vector<char> Buffer(const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return buffer;
}

// The vtable half of a dual interface's dispatch type information, which ITypeInfo::Invoke
// calls through.
HRESULT VtableTypeInfo(ITypeInfo* dispatch, ITypeInfo** info) {
    HREFTYPE ref = 0;
    const HRESULT hr = dispatch->GetRefTypeOfImplType(-1, &ref);
    if (FAILED(hr)) return hr;
    return dispatch->GetRefTypeInfo(ref, info);
}

HRESULT InvokeThrough(ITypeInfo* dispatch, void* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argumentError) {
    ComPtr<ITypeInfo> vtable;
    const HRESULT hr = VtableTypeInfo(dispatch, vtable.put());
    if (FAILED(hr)) return hr;
    return vtable->Invoke(self, id, flags, params, result, exception, argumentError);
}

}  // namespace

// One host event interface on the application object. The add-in object owns it and cuts the
// link (Disconnect) before it lets go, so an event after that reaches nothing.
class ApplicationEventSink final : public IDispatch {
public:
    ApplicationEventSink(CConnect* owner, const IID& iid, DISPID eventId) : owner_(owner), iid_(iid), eventId_(eventId) {
        ModuleAddRef();
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch && iid != iid_) return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    // Only the document-open event is handled; the event's own arguments are not used.
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return Guard([&] {
            if (id == eventId_ && owner_) {
                ComPtr<CConnect> keep(owner_);
                keep->HostEventHandler(id);
            }
            return S_OK;
        });
    }

    HRESULT Connect(IDispatch* application) {
        ComPtr<IConnectionPointContainer> container;
        HRESULT hr = application ? application->QueryInterface(IID_IConnectionPointContainer, container.putVoid())
                                 : E_POINTER;
        if (FAILED(hr)) return hr;
        ComPtr<IConnectionPoint> point;
        hr = container->FindConnectionPoint(iid_, point.put());
        if (FAILED(hr)) return hr;
        DWORD cookie = 0;
        hr = point->Advise(static_cast<IDispatch*>(this), &cookie);
        if (FAILED(hr)) return hr;
        point_ = std::move(point);
        cookie_ = cookie;
        return S_OK;
    }
    bool connected() const { return static_cast<bool>(point_); }
    void Disconnect() {
        owner_ = nullptr;
        if (point_) point_->Unadvise(cookie_);
        point_.reset();
    }

private:
    ~ApplicationEventSink() { ModuleRelease(); }

    LONG refs_ = 1;
    CConnect* owner_;
    IID iid_;
    DISPID eventId_;
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

// ---- Object -------------------------------------------------------------------------------------

HRESULT CConnect::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    // The object starts with one reference, ours; the query adds the caller's.
    const auto connect = kv::ComPtr<CConnect>::adopt(new (std::nothrow) CConnect(DefaultUpdateTrigger(), DefaultMembershipUi()));
    if (!connect) return E_OUTOFMEMORY;
    return connect->QueryInterface(iid, object);
}

CConnect::CConnect(UpdateTrigger& updates, MembershipUi& membership) : updates_(updates), membership_(membership) {
    ModuleAddRef();
}

CConnect::~CConnect() {
    DisconnectSinks();
    ModuleRelease();
}

STDMETHODIMP CConnect::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    // IDispatch is the callbacks', so the host resolves the ribbon's names against TarnwickLib.
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ICallbackInterface) {
        *object = static_cast<ICallbackInterface*>(this);
    } else if (iid == IID_IRibbonExtensibility) {
        *object = static_cast<IRibbonExtensibility*>(this);
    } else if (iid == IID_ICustomTaskPaneConsumer) {
        *object = static_cast<ICustomTaskPaneConsumer*>(this);
    } else if (iid == IID__IDTExtensibility2) {
        *object = static_cast<_IDTExtensibility2*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CConnect::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) CConnect::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

// ---- Dispatch -----------------------------------------------------------------------------------

HRESULT CConnect::TypeInfoFor(REFIID iid, ITypeInfo** info) {
    return Guard([&]() -> HRESULT {
        if (iid == IID_ICallbackInterface) {
            if (!callbackInfo_) {
                ComPtr<ITypeLib> lib;
                HRESULT hr = LoadTypeLibEx(ModulePath(ModuleHandle()).c_str(), REGKIND_NONE, lib.put());
                if (FAILED(hr)) return hr;
                hr = lib->GetTypeInfoOfGuid(iid, callbackInfo_.put());
                if (FAILED(hr)) return hr;
            }
            *info = callbackInfo_.get();
            (*info)->AddRef();
            return S_OK;
        }
        // The office interfaces: the library's second type library resource.
        if (!officeLib_) {
            const std::wstring path = ModulePath(ModuleHandle()) + L"\\2";
            const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, officeLib_.put());
            if (FAILED(hr)) return hr;
        }
        return officeLib_->GetTypeInfoOfGuid(iid, info);
    });
}

HRESULT CConnect::InvokeFor(REFIID iid, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* exception, UINT* argumentError) {
    ComPtr<ITypeInfo> info;
    if (iid == IID_IRibbonExtensibility || iid == IID_ICustomTaskPaneConsumer) {
        HRESULT hr = TypeInfoFor(iid, info.put());
        if (FAILED(hr)) return hr;
        void* self = iid == IID_IRibbonExtensibility ? static_cast<void*>(static_cast<IRibbonExtensibility*>(this))
                                                     : static_cast<void*>(static_cast<ICustomTaskPaneConsumer*>(this));
        return InvokeThrough(info.get(), self, id, flags, params, result, exception, argumentError);
    }
    // The ribbon callbacks, then the connection interface.
    HRESULT hr = TypeInfoFor(IID_ICallbackInterface, info.put());
    if (FAILED(hr)) return hr;
    hr = InvokeThrough(info.get(), static_cast<ICallbackInterface*>(this), id, flags, params, result, exception,
                       argumentError);
    if (hr != DISP_E_MEMBERNOTFOUND) return hr;
    hr = TypeInfoFor(IID__IDTExtensibility2, info.put());
    if (FAILED(hr)) return hr;
    return InvokeThrough(info.get(), static_cast<_IDTExtensibility2*>(this), id, flags, params, result, exception,
                         argumentError);
}

// ---- Connection ---------------------------------------------------------------------------------

STDMETHODIMP CConnect::OnConnection(IDispatch* Application, ext_ConnectMode, IDispatch* AddInInst, SAFEARRAY**) {
    return Guard([&] {
        if (connected_) return S_OK;  // a second connection of the same object changes nothing
        if (Application) Application->QueryInterface(IID_IDispatch, application_.putVoid());
        if (AddInInst) AddInInst->QueryInterface(IID_IDispatch, addinInstance_.putVoid());
        ConnectSinks();
        if (sinks_[2] && sinks_[2]->connected()) {
            programKind_ = ProgramKind::PowerPoint;
        } else if (sinks_[1] && sinks_[1]->connected()) {
            programKind_ = ProgramKind::Excel;
        } else if (sinks_[0] && sinks_[0]->connected()) {
            programKind_ = ProgramKind::Word;
        } else {
            programKind_ = ProgramKind::None;
        }
        ribbonSearchText_.clear();

        std::string version;
        Variant value;
        if (SUCCEEDED(GetNamedProperty(application_.get(), L"Version", value.put())) &&
            SUCCEEDED(VariantChangeType(value.get(), value.get(), 0, VT_BSTR))) {
            version = NarrowText(V_BSTR(value.get()), SysStringLen(V_BSTR(value.get())));
        }
        const LoadedSettings settings = LoadSettings(SystemSettings(), version);
        hostMajorVersion_ = settings.hostMajorVersion;
        identity_ = settings.identity;
        connected_ = true;
        AddinConnected();

        LibraryLogSender sender;
        AddinLogState state;
        state.nextOpenIsUserDocument = SystemSharedState().NextOpenIsUserDocument();
        AddinUsageLog(sender, UsageEventKind::Start, programKind_, identity_, state);
        return S_OK;
    });
}

void CConnect::ConnectSinks() {
    // Word's, Excel's, PowerPoint's: only the running host's own interface connects.
    const struct {
        const IID* iid;
        DISPID eventId;
    } kinds[3] = {
        {&DIID_WordApplicationEvents, kDocumentOpenId},
        {&DIID_ExcelAppEvents, kWorkbookOpenId},
        {&DIID_PowerPointEApplication, kAfterPresentationOpenId},
    };
    for (int i = 0; i < 3; ++i) {
        auto* sink = new (std::nothrow) ApplicationEventSink(this, *kinds[i].iid, kinds[i].eventId);
        if (!sink) continue;
        ComPtr<ApplicationEventSink> owned = ComPtr<ApplicationEventSink>::adopt(sink);
        if (SUCCEEDED(sink->Connect(application_.get()))) {
            sinks_[i] = std::move(owned);
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

STDMETHODIMP CConnect::OnDisconnection(ext_DisconnectMode, SAFEARRAY**) {
    return Guard([&] {
        // The first of this and OnBeginShutdown takes the process off the host count; at the
        // last host the templates clean-up and the updater start run there.
        if (connected_) AddinLeaving(PaneDocumentsFolder());
        // Unloaded while the host runs, nothing may be left that calls back into this object.
        connected_ = false;
        DisconnectSinks();
        for (auto& entry : panes_) {
            if (entry.second) entry.second->Delete();
        }
        panes_.clear();
        ribbon_.reset();
        paneFactory_.reset();
        application_.reset();
        addinInstance_.reset();
        return S_OK;
    });
}

STDMETHODIMP CConnect::OnAddInsUpdate(SAFEARRAY**) { return S_OK; }

STDMETHODIMP CConnect::OnStartupComplete(SAFEARRAY**) {
    return Guard([&] {
        if (!connected_ || hostMajorVersion_ <= 11) return S_OK;
        // Another host has started the update already.
        SharedState& shared = SystemSharedState();
        if (shared.UpdateState() != 0) {
            shared.SetUpdateState(1);
            return S_OK;
        }
        ComPtr<_CustomTaskPane> pane;
        FindPane(ActiveWindowKey(), &pane);
        if (!pane) return S_OK;
        ComPtr<ISimTaskPane> control = ControlOf(pane.get());
        if (!control) return S_OK;
        updates_.Run(*control.get(), identity_);
        return S_OK;
    });
}

STDMETHODIMP CConnect::OnBeginShutdown(SAFEARRAY**) {
    return Guard([&] {
        if (!connected_) return S_OK;
        SavePaneVisibility();
        AddinLeaving(PaneDocumentsFolder());
        return S_OK;
    });
}

void CConnect::SavePaneVisibility() {
    int32_t key = ActiveWindowKey();
    if (programKind_ == ProgramKind::PowerPoint) PowerPointWindowKey(application_.get(), &key);
    ComPtr<_CustomTaskPane> pane;
    FindPane(key, &pane);
    if (!pane) return;
    ComPtr<IDispatch> content;
    if (FAILED(pane->get_ContentControl(content.put())) || !content) return;
    VARIANT_BOOL visible = VARIANT_FALSE;
    // An unreadable visibility leaves the stored value as it was.
    if (FAILED(pane->get_Visible(&visible))) return;
    SystemSettings().WriteNumber(SettingsRoot::User, kUserSettingsKey, "visible", visible == VARIANT_TRUE ? 1 : 0);
}

// ---- Ribbon definition and task panes -----------------------------------------------------------

STDMETHODIMP CConnect::GetCustomUI(BSTR, BSTR* RibbonXml) {
    if (!RibbonXml) return E_POINTER;
    *RibbonXml = SysAllocString(kRibbonDefinition);
    return *RibbonXml ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CConnect::CTPFactoryAvailable(ICTPFactory* CTPFactoryInst) {
    return Guard([&]() -> HRESULT {
        if (!CTPFactoryInst) return S_OK;
        if (!connected_) return S_OK;
        paneFactory_ = ComPtr<ICTPFactory>(CTPFactoryInst);

        int32_t key = ActiveWindowKey();
        CLSID powerPoint = {};
        HRESULT probe = CLSIDFromProgID(kPowerPointProgId, &powerPoint);
        if (SUCCEEDED(probe)) {
            ComPtr<IDispatch> application;
            probe = application_.as(kPowerPointApplication, &application);
            if (SUCCEEDED(probe)) PowerPointWindowKey(application.get(), &key);
        }

        ComPtr<_CustomTaskPane> pane;
        if (!FindPane(key, &pane)) {
            const HRESULT hr = CreatePane(key, &pane);
            if (hr == E_OUTOFMEMORY) return hr;
        }
        if (pane) {
            pane->put_Width(kPaneWidth);
            if (identity_.paneVisibleAtStart) pane->put_Visible(VARIANT_TRUE);
            if (ComPtr<ISimTaskPane> control = ControlOf(pane.get())) {
                // The first search: the keyword last searched in any host, or the host's own lists.
                const std::string keyword = SystemSharedState().LastKeyword();
                if (!keyword.empty()) {
                    std::vector<char> text = Buffer(keyword);
                    control->put_SearchText2(text.data(), application_.get());
                } else {
                    control->put_Application(application_.get());
                }
            }
        }
        return probe;
    });
}

int32_t CConnect::ActiveWindowKey() {
    return static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetActiveWindow())));
}

bool CConnect::PowerPointWindowKey(IDispatch* application, int32_t* key) {
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

bool CConnect::FindPane(int32_t key, ComPtr<_CustomTaskPane>* pane) const {
    const auto it = panes_.find(key);
    if (it == panes_.end()) {
        pane->reset();
        return false;
    }
    *pane = it->second;
    return true;
}

HRESULT CConnect::CreatePane(int32_t key, ComPtr<_CustomTaskPane>* pane) {
    pane->reset();
    if (!paneFactory_) return E_POINTER;
    Bstr progId(kControlProgId);
    Bstr title(kPaneTitle);
    if (!progId.get() || !title.get()) return E_OUTOFMEMORY;
    Variant missing;
    V_VT(missing.get()) = VT_ERROR;
    V_ERROR(missing.get()) = DISP_E_PARAMNOTFOUND;
    ComPtr<_CustomTaskPane> created;
    const HRESULT hr = paneFactory_->CreateCTP(progId.get(), title.get(), missing.v(), created.put());
    // Entered also when the host gave no pane: that window then has none, and is not retried.
    panes_.emplace(key, created);
    *pane = created;
    return hr;
}

ComPtr<ISimTaskPane> CConnect::ControlOf(_CustomTaskPane* pane) {
    ComPtr<ISimTaskPane> control;
    if (!pane) return control;
    ComPtr<IDispatch> content;
    if (FAILED(pane->get_ContentControl(content.put())) || !content) return control;
    content.as(IID_ISimTaskPane, &control);
    return control;
}

void CConnect::ShowPane(_CustomTaskPane* pane) {
    pane->put_Width(kPaneWidth);
    VARIANT_BOOL visible = VARIANT_FALSE;
    if (FAILED(pane->get_Visible(&visible)) || visible != VARIANT_TRUE) pane->put_Visible(VARIANT_TRUE);
}

ComPtr<_CustomTaskPane> CConnect::ActivePane() const {
    ComPtr<_CustomTaskPane> pane;
    if (connected_) FindPane(ActiveWindowKey(), &pane);
    return pane;
}

void CConnect::SearchRibbonText(ISimTaskPane* control) {
    std::vector<char> text = Buffer(ribbonSearchText_);
    control->put_SearchText2(text.data(), application_.get());
}

// ---- Ribbon callbacks ---------------------------------------------------------------------------

STDMETHODIMP CConnect::changeSearchText(IDispatch*, BSTR strSearchText) {
    return Guard([&] {
        if (!connected_) return S_OK;
        ribbonSearchText_ = NarrowText(strSearchText, SysStringLen(strSearchText));
        ComPtr<_CustomTaskPane> pane = ActivePane();
        if (!pane) return S_OK;
        ShowPane(pane.get());
        if (ComPtr<ISimTaskPane> control = ControlOf(pane.get())) SearchRibbonText(control.get());
        return S_OK;
    });
}

STDMETHODIMP CConnect::ButtonClicked(IDispatch*) {
    return Guard([&]() -> HRESULT {
        if (!connected_) return S_OK;
        const int32_t key = ActiveWindowKey();
        ComPtr<_CustomTaskPane> pane;
        if (!FindPane(key, &pane) && paneFactory_) {
            const HRESULT hr = CreatePane(key, &pane);
            if (hr == E_OUTOFMEMORY) return hr;
        }
        if (!pane) return S_OK;
        ComPtr<IDispatch> content;
        HRESULT hr = pane->get_ContentControl(content.put());
        if (SUCCEEDED(hr) && !content) hr = E_NOINTERFACE;
        ComPtr<ISimTaskPane> control;
        if (SUCCEEDED(hr)) hr = content.as(IID_ISimTaskPane, &control);
        if (FAILED(hr)) return hr;
        ShowPane(pane.get());
        SearchRibbonText(control.get());
        return S_OK;
    });
}

STDMETHODIMP CConnect::putVisiblePane(IDispatch*) {
    return Guard([&] {
        ComPtr<_CustomTaskPane> pane = ActivePane();
        if (!pane) return S_FALSE;
        pane->put_Width(kPaneWidth);
        VARIANT_BOOL visible = VARIANT_FALSE;
        pane->get_Visible(&visible);
        if (visible == VARIANT_TRUE) {
            pane->put_Visible(VARIANT_FALSE);
        } else if (ComPtr<ISimTaskPane> control = ControlOf(pane.get())) {
            pane->put_Visible(VARIANT_TRUE);
            char empty[1] = {'\0'};
            control->put_SearchText2(empty, application_.get());
        }
        return S_OK;
    });
}

STDMETHODIMP CConnect::putVisiblePaneAllways(IDispatch*) {
    return Guard([&] {
        ComPtr<_CustomTaskPane> pane = ActivePane();
        if (!pane) return S_FALSE;
        pane->put_Width(kPaneWidth);
        VARIANT_BOOL visible = VARIANT_FALSE;
        pane->get_Visible(&visible);
        if (visible != VARIANT_TRUE && ControlOf(pane.get())) pane->put_Visible(VARIANT_TRUE);
        return S_OK;
    });
}

STDMETHODIMP CConnect::ButtonCert(IDispatch*) {
    return Guard([&] {
        ComPtr<_CustomTaskPane> pane = ActivePane();
        if (!pane) return S_FALSE;
        ComPtr<ISimTaskPane> control = ControlOf(pane.get());
        // Not known (a control that cannot be asked) is the level of a user not logged in.
        SHORT level = -1;
        if (control && FAILED(control->get_LoginStatus(&level))) level = -1;
        membership_.ShowLogin(GetActiveWindow(), level);
        if (control) control->put_SearchList();
        return S_OK;
    });
}

void CConnect::OpenServicePage(int uflag) {
    if (!connected_) return;
    OpenBrowserPage(SystemShell(), LoadServiceConfig(SystemSettings()), ServicePagePath(uflag, identity_));
}

STDMETHODIMP CConnect::ButtonPremium(IDispatch*) {
    return Guard([&] {
        OpenServicePage(3);
        return S_OK;
    });
}

STDMETHODIMP CConnect::ButtonHome(IDispatch*) {
    return Guard([&] {
        OpenServicePage(4);
        return S_OK;
    });
}

STDMETHODIMP CConnect::ButtonHelp(IDispatch*) {
    return Guard([&] {
        OpenServicePage(5);
        return S_OK;
    });
}

STDMETHODIMP CConnect::OnRibbonLoad(IUnknown* pRibbonUIUnk) {
    if (!pRibbonUIUnk) return E_POINTER;
    return pRibbonUIUnk->QueryInterface(IID_IRibbonUI, ribbon_.putVoid());
}

STDMETHODIMP CConnect::ButtonInfo(IDispatch*) {
    return Guard([&] {
        if (connected_) membership_.ShowAbout(GetActiveWindow());
        return S_OK;
    });
}

STDMETHODIMP CConnect::ButtonLogout(IDispatch*) { return S_OK; }

STDMETHODIMP CConnect::GetImageCert(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::Cert, ppdispImage);
}
STDMETHODIMP CConnect::GetImageCustomButton(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::CustomButton, ppdispImage);
}
STDMETHODIMP CConnect::GetImagePay(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::Pay, ppdispImage);
}
STDMETHODIMP CConnect::GetImageHomepage(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::Homepage, ppdispImage);
}
STDMETHODIMP CConnect::GetImageHelp(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::Help, ppdispImage);
}
STDMETHODIMP CConnect::GetImageInfo(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::Info, ppdispImage);
}
STDMETHODIMP CConnect::GetImageSearchButton(IDispatch*, IPictureDisp** ppdispImage) {
    return NewRibbonPicture(RibbonImage::SearchButton, ppdispImage);
}

// The check box "항상보이기" has no effect: the visibility at start comes from shutdown alone.
STDMETHODIMP CConnect::CheckBoxVisible(IDispatch*, BOOL) { return S_OK; }

// ---- Host events --------------------------------------------------------------------------------

bool CConnect::ReadCaption(IDispatch* object, std::string* caption) {
    caption->clear();
    Variant value;
    if (FAILED(GetNamedProperty(object, L"Caption", value.put()))) return false;
    if (V_VT(value.get()) == VT_EMPTY || V_VT(value.get()) == VT_NULL) return true;
    if (FAILED(VariantChangeType(value.get(), value.get(), 0, VT_BSTR))) return false;
    // A null string is an empty caption.
    *caption = NarrowText(V_BSTR(value.get()), SysStringLen(V_BSTR(value.get())));
    return true;
}

void CConnect::SendFileNameLog(ProgramKind program) {
    LibraryLogSender sender;
    AddinLogState state;
    state.nextOpenIsUserDocument = SystemSharedState().NextOpenIsUserDocument();
    state.openedDocumentName = openedDocumentName_;
    AddinUsageLog(sender, UsageEventKind::DocumentOpen, program, identity_, state);
}

void CConnect::ReturnFocus(HWND window) {
    const DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    const DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
    const bool attached = foregroundThread != 0 && windowThread != 0 && foregroundThread != windowThread &&
                          AttachThreadInput(foregroundThread, windowThread, TRUE);
    SetForegroundWindow(window);
    BringWindowToTop(window);
    SetFocus(window);
    if (attached) AttachThreadInput(foregroundThread, windowThread, FALSE);
}

void CConnect::HostEventHandler(DISPID eventId) {
    if (!connected_) return;
    std::string caption;  // the 250-byte buffer, cleared for every event
    ComPtr<_CustomTaskPane> pane;
    if (eventId == kDocumentOpenId) {
        ComPtr<IDispatch> word;
        Variant window;
        if (SUCCEEDED(application_.as(kWordApplication, &word)) &&
            SUCCEEDED(GetNamedProperty(word.get(), L"ActiveWindow", window.put())) &&
            V_VT(window.get()) == VT_DISPATCH && V_DISPATCH(window.get()) &&
            ReadCaption(V_DISPATCH(window.get()), &caption)) {
            openedDocumentName_ = caption;
            SendFileNameLog(ProgramKind::Word);
        }
        const HWND active = GetActiveWindow();
        // The pane of the window the document opened in: created when that window has none.
        const int32_t key = ActiveWindowKey();
        if (!FindPane(key, &pane) && paneFactory_) CreatePane(key, &pane);
        if (pane) {
            pane->put_Width(kPaneWidth);
            if (identity_.paneVisibleAtStart) pane->put_Visible(VARIANT_TRUE);
            ComPtr<ISimTaskPane> control = ControlOf(pane.get());
            if (control && !caption.empty()) {
                std::vector<char> text = Buffer(caption);
                control->put_SearchFileName(text.data());
            }
        }
        if (active) ReturnFocus(active);
    } else if (eventId == kWorkbookOpenId) {
        ComPtr<IDispatch> excel;
        if (SUCCEEDED(application_.as(kExcelApplication, &excel)) && ReadCaption(excel.get(), &caption)) {
            openedDocumentName_ = caption;
            SendFileNameLog(ProgramKind::Excel);
        }
        // Excel creates no pane here; a window without one searches nothing.
        FindPane(ActiveWindowKey(), &pane);
        ComPtr<ISimTaskPane> control = ControlOf(pane.get());
        if (control && !caption.empty()) {
            std::vector<char> text = Buffer(caption);
            control->put_SearchFileName(text.data());
        }
    } else if (eventId == kAfterPresentationOpenId) {
        CLSID clsid = {};
        ComPtr<IUnknown> running;
        ComPtr<IDispatch> powerPoint;
        if (FAILED(CLSIDFromProgID(kPowerPointProgId, &clsid)) || FAILED(GetActiveObject(clsid, nullptr, running.put())) ||
            FAILED(running.as(kPowerPointApplication, &powerPoint))) {
            return;
        }
        int32_t key = 0;
        PowerPointWindowKey(powerPoint.get(), &key);
        if (ReadCaption(powerPoint.get(), &caption)) {
            openedDocumentName_ = caption;
            SendFileNameLog(ProgramKind::PowerPoint);
        }
        if (!FindPane(key, &pane) && paneFactory_) CreatePane(key, &pane);
        if (pane) {
            pane->put_Width(kPaneWidth);
            if (identity_.paneVisibleAtStart) pane->put_Visible(VARIANT_TRUE);
            ComPtr<ISimTaskPane> control = ControlOf(pane.get());
            if (control && !caption.empty()) {
                std::vector<char> text = Buffer(caption);
                control->put_SearchFileName(text.data());
            }
        }
    }
}

}  // namespace kv
