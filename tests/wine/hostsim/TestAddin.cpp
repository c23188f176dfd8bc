// A small COM add-in for testing the host: it implements the add-in interfaces a host calls,
// connects to the application events, builds a ribbon with every control kind the host shows,
// creates task panes with the test control, and reports what it received as "addin ..." lines.
#include <olectl.h>

#include <map>
#include <string>
#include <vector>

#include "platform/WinHandles.h"
#include "platform/WinText.h"
#include "tests/wine/hostsim/TestCommon.h"
#include "tools/hostsim/OfficeHost_h.h"

namespace hostsimtest {

namespace {

using kv::Bstr;
using kv::ComPtr;
using kv::Variant;

const wchar_t kRibbon[] =
    L"<customUI xmlns=\"http://schemas.microsoft.com/office/2006/01/customui\" onLoad=\"OnRibbonLoad\">"
    L"<ribbon><tabs><tab id=\"TestTab\" label=\"테스트 탭\">"
    L"<group id=\"SearchGroup\" label=\"검색\">"
    L"<box id=\"Box0\" boxStyle=\"vertical\">"
    L"<labelControl id=\"Caption\" label=\"테스트 검색 \"/>"
    L"<box id=\"Box1\" boxStyle=\"horizontal\">"
    L"<editBox id=\"Edit1\" getText=\"ThisDocument.Edit1\" sizeString=\"WWWWWWWWWWWW\" onChange=\"OnEditChange\"/>"
    L"<button id=\"Go\" getImage=\"GetImageGo\" onAction=\"OnButton\"/>"
    L"</box></box>"
    L"<button id=\"Big\" label=\"큰 단추\" size=\"large\" getImage=\"GetImageBig\" getVisible=\"GetVisibleBig\" "
    L"onAction=\"OnButton\"/>"
    L"<button id=\"Hidden\" label=\"숨김\" getVisible=\"GetVisibleHidden\" onAction=\"OnButton\"/>"
    L"<dialogBoxLauncher><button id=\"Launcher\" onAction=\"OnLauncher\"/></dialogBoxLauncher>"
    L"</group>"
    L"<group id=\"OtherGroup\" label=\"기타\">"
    L"<button id=\"Refresh\" label=\"새로 고침\" imageMso=\"Refresh\" size=\"large\" onAction=\"OnRefresh\"/>"
    L"<checkBox id=\"Check1\" label=\"항상 보이기\" onAction=\"OnCheck\"/>"
    L"<button id=\"NoSuch\" label=\"없는 콜백\" onAction=\"NoSuchCallback\"/>"
    L"<button id=\"Modal\" label=\"대화 상자\" onAction=\"OnModal\"/>"
    L"<button id=\"OwnLoop\" label=\"자체 루프\" onAction=\"OnOwnLoop\"/>"
    L"</group>"
    L"</tab></tabs></ribbon></customUI>";

enum : DISPID {
    kOnRibbonLoad = 101,
    kOnButton,
    kOnEditChange,
    kOnCheck,
    kOnLauncher,
    kGetImageGo,
    kGetImageBig,
    kGetVisibleBig,
    kGetVisibleHidden,
    kOnRefresh,
    kOnModal,
    kOnOwnLoop,
};

const struct {
    const wchar_t* name;
    DISPID id;
} kCallbacks[] = {
    {L"OnRibbonLoad", kOnRibbonLoad},
    {L"OnButton", kOnButton},
    {L"OnEditChange", kOnEditChange},
    {L"OnCheck", kOnCheck},
    {L"OnLauncher", kOnLauncher},
    {L"GetImageGo", kGetImageGo},
    {L"GetImageBig", kGetImageBig},
    {L"GetVisibleBig", kGetVisibleBig},
    {L"GetVisibleHidden", kGetVisibleHidden},
    {L"OnRefresh", kOnRefresh},
    {L"OnModal", kOnModal},
    {L"OnOwnLoop", kOnOwnLoop},
};

const IID kWordEvents = {0x000209FE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kExcelEvents = {0x00024413, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kPowerPointEvents = {0x914934C2, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
const IID kWordApplication = {0x00020970, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::string Str(const VARIANT& v) {
    Variant t;
    if (FAILED(VariantChangeType(t.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR))) return "?";
    return Utf8(V_BSTR(t.get()), static_cast<int>(SysStringLen(V_BSTR(t.get()))));
}

std::string PropertyText(IDispatch* d, const wchar_t* name) {
    Variant v;
    HRESULT hr = GetProperty(d, name, v.get());
    if (FAILED(hr)) return "(failed)";
    return Str(v.v());
}

class Connect;

// One sink per host event interface; only the running host's connects.
class EventSink : public IDispatch {
public:
    EventSink(Connect* owner, REFIID iid, const char* name) : owner_(owner), iid_(iid), name_(name) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == iid_) {
            *out = this;
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
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** t) override {
        if (t) *t = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                                     UINT*) override;

    DWORD cookie = 0;
    ComPtr<IConnectionPoint> point;

private:
    virtual ~EventSink() = default;
    LONG refs_ = 1;
    Connect* owner_;
    IID iid_;
    const char* name_;
};

class Connect : public _IDTExtensibility2, public IRibbonExtensibility, public ICustomTaskPaneConsumer {
public:
    Connect() { ModuleAddRef(); }

    // IUnknown, shared by the three interfaces
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID__IDTExtensibility2)
            *out = static_cast<_IDTExtensibility2*>(this);
        else if (iid == IID_IDispatch)
            *out = static_cast<_IDTExtensibility2*>(this);  // the callbacks
        else if (iid == IID_IRibbonExtensibility)
            *out = static_cast<IRibbonExtensibility*>(this);
        else if (iid == IID_ICustomTaskPaneConsumer)
            *out = static_cast<ICustomTaskPaneConsumer*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return n;
    }

    // IDispatch: the ribbon callbacks by name
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** t) override {
        if (t) *t = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count == 0) return E_INVALIDARG;
        ids[0] = DISPID_UNKNOWN;
        for (const auto& c : kCallbacks)
            if (names[0] && lstrcmpW(names[0], c.name) == 0) ids[0] = c.id;
        return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT* result, EXCEPINFO*,
                                     UINT*) override;

    // _IDTExtensibility2
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* app, ext_ConnectMode mode, IDispatch* addin,
                                           SAFEARRAY**) override {
        app_ = ComPtr<IDispatch>(app);
        Say("addin OnConnection mode=" + std::to_string(mode) + " app.Name=" + PropertyText(app, L"Name") +
            " addin.ProgId=" + PropertyText(addin, L"ProgId"));
        Say("addin Version=" + PropertyText(app, L"Version"));
        ComPtr<IUnknown> word;
        HRESULT hr = app_ ? app_.as(kWordApplication, &word) : E_POINTER;
        Say("addin QueryInterface(Word _Application)=" + std::string(SUCCEEDED(hr) ? "S_OK" : "failed"));
        ConnectSink(kWordEvents, "Word");
        ConnectSink(kExcelEvents, "Excel");
        ConnectSink(kPowerPointEvents, "PowerPoint");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode mode, SAFEARRAY**) override {
        Say("addin OnDisconnection mode=" + std::to_string(mode));
        for (auto& s : sinks_)
            if (s->point) s->point->Unadvise(s->cookie);
        sinks_.clear();
        panes_.clear();
        ribbon_.reset();
        factory_.reset();
        app_.reset();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY**) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY**) override {
        Say("addin OnStartupComplete panes=" + std::to_string(panes_.size()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY**) override {
        _CustomTaskPane* pane = ActivePane();
        VARIANT_BOOL visible = VARIANT_FALSE;
        if (pane) pane->get_Visible(&visible);
        Say("addin OnBeginShutdown pane.Visible=" + std::to_string(visible));
        return S_OK;
    }

    // IRibbonExtensibility
    HRESULT STDMETHODCALLTYPE GetCustomUI(BSTR id, BSTR* xml) override {
        if (!xml) return E_POINTER;
        Say("addin GetCustomUI id=" + Utf8(id ? id : L""));
        *xml = SysAllocString(kRibbon);
        return *xml ? S_OK : E_OUTOFMEMORY;
    }

    // ICustomTaskPaneConsumer
    HRESULT STDMETHODCALLTYPE CTPFactoryAvailable(ICTPFactory* factory) override {
        Say(std::string("addin CTPFactoryAvailable factory=") + (factory ? "yes" : "no"));
        if (!factory) return S_OK;
        factory_ = ComPtr<ICTPFactory>(factory);
        {
            // A control that does not exist: the host must fail the call and keep no pane.
            Bstr progId(L"HostSimTest.Missing"), title(L"없음");
            Variant missing;
            V_VT(missing.get()) = VT_ERROR;
            V_ERROR(missing.get()) = DISP_E_PARAMNOTFOUND;
            ComPtr<_CustomTaskPane> none;
            HRESULT hr = factory_->CreateCTP(progId.get(), title.get(), missing.v(), none.put());
            Say(std::string("addin CreateCTP(missing control) ") + (FAILED(hr) && !none ? "failed" : "succeeded"));
        }
        _CustomTaskPane* pane = CreatePane();
        if (!pane) return S_OK;
        pane->put_Width(280);
        pane->put_Visible(VARIANT_TRUE);
        ComPtr<IDispatch> content;
        HRESULT hr = pane->get_ContentControl(content.put());
        Say("addin ContentControl hr=" + std::to_string(hr) + " Name=" + PropertyText(content.get(), L"Name"));
        return S_OK;
    }

    void OnEvent(const char* host, DISPID id, DISPPARAMS* p) {
        std::string doc = "?";
        if (p && p->cArgs >= 1 && V_VT(&p->rgvarg[p->cArgs - 1]) == VT_DISPATCH)
            doc = PropertyText(V_DISPATCH(&p->rgvarg[p->cArgs - 1]), L"Name");
        std::string caption;
        if (std::string(host) == "Word") {
            Variant w;
            if (SUCCEEDED(GetProperty(app_.get(), L"ActiveWindow", w.get())) && V_VT(w.get()) == VT_DISPATCH)
                caption = PropertyText(V_DISPATCH(w.get()), L"Caption");
        } else {
            caption = PropertyText(app_.get(), L"Caption");
        }
        std::string extra;
        if (std::string(host) == "PowerPoint")
            extra = " HWND=" + std::string(PropertyText(app_.get(), L"HWND") != "0" ? "set" : "0");
        Say(std::string("addin event ") + host + " dispid=" + std::to_string(id) + " doc=" + doc +
            " caption=" + caption + extra);
        // Like a search add-in: search the opened document's caption in the active window's pane.
        if (_CustomTaskPane* pane = ActivePane()) SearchIn(pane, caption);
    }

private:
    virtual ~Connect() { ModuleRelease(); }

    void ConnectSink(REFIID iid, const char* name) {
        ComPtr<IConnectionPointContainer> cpc;
        HRESULT hr = app_ ? app_.as(IID_IConnectionPointContainer, &cpc) : E_POINTER;
        ComPtr<IConnectionPoint> cp;
        if (SUCCEEDED(hr)) hr = cpc->FindConnectionPoint(iid, cp.put());
        if (SUCCEEDED(hr)) {
            auto sink = ComPtr<EventSink>::adopt(new EventSink(this, iid, name));
            hr = cp->Advise(static_cast<IDispatch*>(sink.get()), &sink->cookie);
            if (SUCCEEDED(hr)) {
                sink->point = cp;
                sinks_.push_back(sink);
            }
        }
        char buf[16];
        wsprintfA(buf, "0x%08lX", static_cast<unsigned long>(hr));
        Say(std::string("addin connect ") + name + " events=" + buf);
    }

    _CustomTaskPane* ActivePane() {
        auto it = panes_.find(GetActiveWindow());
        return it == panes_.end() ? nullptr : it->second.get();
    }

    _CustomTaskPane* CreatePane() {
        if (!factory_) return nullptr;
        Bstr progId(kControlProgId), title(L"테스트 창");
        Variant missing;
        V_VT(missing.get()) = VT_ERROR;
        V_ERROR(missing.get()) = DISP_E_PARAMNOTFOUND;
        ComPtr<_CustomTaskPane> pane;
        HRESULT hr = factory_->CreateCTP(progId.get(), title.get(), missing.v(), pane.put());
        char buf[16];
        wsprintfA(buf, "0x%08lX", static_cast<unsigned long>(hr));
        Say(std::string("addin CreateCTP hr=") + buf);
        if (FAILED(hr) || !pane) return nullptr;
        _CustomTaskPane* raw = pane.get();
        panes_[GetActiveWindow()] = std::move(pane);
        return raw;
    }

    void SearchIn(_CustomTaskPane* pane, const std::string& text) {
        ComPtr<IDispatch> content;
        if (FAILED(pane->get_ContentControl(content.put())) || !content) return;
        std::wstring w;
        if (!kv::Utf8ToWide(text, &w)) return;
        Variant arg;
        V_VT(arg.get()) = VT_BSTR;
        V_BSTR(arg.get()) = SysAllocString(w.c_str());
        CallMethod(content.get(), L"Search", arg.get(), 1, nullptr);
    }

    friend class EventSink;
    LONG refs_ = 1;
    ComPtr<IDispatch> app_;
    ComPtr<ICTPFactory> factory_;
    ComPtr<IRibbonUI> ribbon_;
    std::map<HWND, ComPtr<_CustomTaskPane>> panes_;
    std::vector<ComPtr<EventSink>> sinks_;
    std::string editText_;
};

HRESULT EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) {
    owner_->OnEvent(name_, id, p);
    return S_OK;
}

std::string ControlId(const VARIANT& v, std::string* context = nullptr) {
    if (V_VT(&v) != VT_DISPATCH || !V_DISPATCH(&v)) return "(no control)";
    // The ribbon control through its own interface, as a compiled add-in would use it.
    ComPtr<IRibbonControl> control;
    if (FAILED(V_DISPATCH(&v)->QueryInterface(IID_IRibbonControl, control.putVoid())) || !control)
        return "(not an IRibbonControl)";
    Bstr id;
    control->get_Id(id.put());
    std::string s = Utf8(id.get() ? id.get() : L"");
    if (context) {
        ComPtr<IDispatch> window;
        control->get_Context(window.put());
        *context = window ? PropertyText(window.get(), L"Caption") : "(none)";
    }
    return s;
}

IPictureDisp* MakeBitmapPicture(int size) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = size;
    bi.bmiHeader.biHeight = size;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    kv::UniqueBitmap bmp(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bmp) return nullptr;
    auto* px = static_cast<BYTE*>(bits);
    int stride = ((size * 3 + 3) / 4) * 4;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            BYTE* p = px + y * stride + x * 3;
            bool ring = (x - size / 2) * (x - size / 2) + (y - size / 2) * (y - size / 2) < (size * size) / 6;
            p[0] = ring ? 200 : 255;
            p[1] = ring ? 90 : 255;
            p[2] = ring ? 30 : 255;
        }
    PICTDESC pd = {};
    pd.cbSizeofstruct = sizeof pd;
    pd.picType = PICTYPE_BITMAP;
    pd.bmp.hbitmap = bmp.get();
    IPictureDisp* pic = nullptr;
    // The picture owns the bitmap once it exists.
    if (SUCCEEDED(OleCreatePictureIndirect(&pd, IID_IPictureDisp, TRUE, reinterpret_cast<void**>(&pic)))) bmp.release();
    return pic;
}

IPictureDisp* MakeIconPicture(int size) {
    kv::WindowDc screen(nullptr);
    kv::UniqueBitmap color(CreateCompatibleBitmap(screen.get(), size, size));
    kv::UniqueBitmap mask(CreateBitmap(size, size, 1, 1, nullptr));
    {
        kv::UniqueMemoryDc mem(CreateCompatibleDC(screen.get()));
        RECT r{0, 0, size, size};
        {
            kv::SelectedObject selected(mem.get(), color.get());
            kv::UniqueBrush green(CreateSolidBrush(RGB(40, 160, 60)));
            FillRect(mem.get(), &r, green.get());
        }
        kv::SelectedObject selected(mem.get(), mask.get());
        PatBlt(mem.get(), 0, 0, size, size, BLACKNESS);
    }
    ICONINFO ii = {TRUE, 0, 0, mask.get(), color.get()};
    kv::UniqueIcon icon(CreateIconIndirect(&ii));  // copies both bitmaps
    if (!icon) return nullptr;
    PICTDESC pd = {};
    pd.cbSizeofstruct = sizeof pd;
    pd.picType = PICTYPE_ICON;
    pd.icon.hicon = icon.get();
    IPictureDisp* pic = nullptr;
    // The picture owns the icon once it exists.
    if (SUCCEEDED(OleCreatePictureIndirect(&pd, IID_IPictureDisp, TRUE, reinterpret_cast<void**>(&pic))))
        icon.release();
    return pic;
}

HRESULT Connect::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT* result, EXCEPINFO*, UINT*) {
    UINT n = p ? p->cArgs : 0;
    auto arg = [p, n](UINT i) -> const VARIANT& { return p->rgvarg[n - 1 - i]; };
    switch (id) {
        case kOnRibbonLoad: {
            if (n != 1) return DISP_E_BADPARAMCOUNT;
            IUnknown* unk = V_VT(&arg(0)) == VT_DISPATCH  ? V_DISPATCH(&arg(0))
                            : V_VT(&arg(0)) == VT_UNKNOWN ? V_UNKNOWN(&arg(0))
                                                          : nullptr;
            HRESULT hr = unk ? unk->QueryInterface(IID_IRibbonUI, ribbon_.putVoid()) : E_POINTER;
            Say(std::string("addin OnRibbonLoad IRibbonUI=") + (SUCCEEDED(hr) ? "yes" : "no"));
            return hr;
        }
        case kOnButton: {
            if (n != 1) return DISP_E_BADPARAMCOUNT;
            std::string context;
            std::string cid = ControlId(arg(0), &context);
            Say("addin OnButton id=" + cid + " context=" + context + " edit=" + editText_);
            if (cid == "Go") {
                _CustomTaskPane* pane = ActivePane();
                if (!pane) pane = CreatePane();
                if (!pane) return S_OK;
                pane->put_Width(300);
                VARIANT_BOOL v = VARIANT_FALSE;
                pane->get_Visible(&v);
                if (v != VARIANT_TRUE) pane->put_Visible(VARIANT_TRUE);
                SearchIn(pane, editText_);
            }
            return S_OK;
        }
        case kOnEditChange: {
            if (n != 2) return DISP_E_BADPARAMCOUNT;
            editText_ = Str(arg(1));
            Say("addin OnEditChange id=" + ControlId(arg(0)) + " text=" + editText_);
            return S_OK;
        }
        case kOnCheck: {
            if (n != 2) return DISP_E_BADPARAMCOUNT;
            Say("addin OnCheck id=" + ControlId(arg(0)) +
                " pressed=" + (V_VT(&arg(1)) == VT_BOOL && V_BOOL(&arg(1)) ? "true" : "false"));
            return S_OK;
        }
        case kOnLauncher: {
            if (n != 1) return DISP_E_BADPARAMCOUNT;
            _CustomTaskPane* pane = ActivePane();
            if (!pane) {
                Say("addin OnLauncher id=" + ControlId(arg(0)) + " no pane");
                return S_FALSE;
            }
            VARIANT_BOOL v = VARIANT_FALSE;
            pane->get_Visible(&v);
            pane->put_Visible(v == VARIANT_TRUE ? VARIANT_FALSE : VARIANT_TRUE);
            Say("addin OnLauncher id=" + ControlId(arg(0)) + " visible=" + (v == VARIANT_TRUE ? "false" : "true"));
            return S_OK;
        }
        case kOnModal: {
            // A modal dialog inside a callback, as an add-in's login or about box runs.
            int answer = MessageBoxW(GetActiveWindow(), L"테스트 대화 상자입니다", L"테스트 알림", MB_OKCANCEL);
            Say("addin OnModal answer=" + std::to_string(answer));
            return S_OK;
        }
        case kOnOwnLoop: {
            // A modal loop of the add-in's own, as hand-written ones are: it ends on WM_QUIT and does
            // not post it again. Bounded, so a host that never quits does not hold the test forever.
            Say("addin OnOwnLoop started");
            const DWORD end = GetTickCount() + 20000;
            bool quit = false;
            MSG msg;
            while (!quit && static_cast<LONG>(end - GetTickCount()) > 0) {
                if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
                } else if (msg.message == WM_QUIT) {
                    quit = true;
                } else {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
            Say(std::string("addin OnOwnLoop ended ") + (quit ? "by WM_QUIT" : "by time"));
            return S_OK;
        }
        case kOnRefresh: {
            Say("addin OnRefresh id=" + ControlId(arg(0)));
            return ribbon_ ? ribbon_->Invalidate() : E_POINTER;
        }
        case kGetImageGo:
        case kGetImageBig: {
            if (n != 1 || !result) return DISP_E_BADPARAMCOUNT;
            IPictureDisp* pic = id == kGetImageGo ? MakeBitmapPicture(20) : MakeIconPicture(32);
            Say("addin GetImage id=" + ControlId(arg(0)));
            VariantInit(result);
            V_VT(result) = VT_DISPATCH;
            V_DISPATCH(result) = pic;
            return pic ? S_OK : E_FAIL;
        }
        case kGetVisibleBig:
        case kGetVisibleHidden: {
            if (n != 1 || !result) return DISP_E_BADPARAMCOUNT;
            Say("addin GetVisible id=" + ControlId(arg(0)));
            VariantInit(result);
            V_VT(result) = VT_BOOL;
            V_BOOL(result) = id == kGetVisibleBig ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
        default: return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace

HRESULT CreateAddin(REFIID iid, void** out) {
    auto c = ComPtr<_IDTExtensibility2>::adopt(new (std::nothrow) Connect());
    if (!c) return E_OUTOFMEMORY;
    return c->QueryInterface(iid, out);
}

}  // namespace hostsimtest
