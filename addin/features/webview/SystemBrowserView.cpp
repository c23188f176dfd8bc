// The system web browser control (class id 8856F961-340A-11D0-A96B-00C04FD705A2) hosted in a
// child window: the client, in-place and frame sites it asks for, the document-host handler
// that hands it our host flags, and the DWebBrowserEvents2 sink whose DocumentComplete
// (dispatch id 259) for the top-level browser becomes WebViewEvents::DocumentComplete.
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ocidl.h>

#include "addin/base/com/ComObject.h"
#include "addin/features/webview/WebView.h"
#include "platform/WinHandles.h"

namespace kv {

namespace {

constexpr wchar_t kHostClass[] = L"KvSystemBrowserHost";
constexpr wchar_t kPostClass[] = L"KvSystemBrowserPost";
constexpr UINT kCompleted = WM_APP + 0x4C;
// How long the probe waits for the blank page before it judges the control unable to show pages.
constexpr DWORD kProbeMs = 3000;
// The document engine's class (mshtml's HTML document); the import libraries do not carry it.
constexpr CLSID kHtmlDocumentClass = {0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

class SystemBrowserView;

// The sites of the hosted control. Reference counted on its own: the control may keep it a
// little longer than the view lives, so the view detaches it when it goes away.
class BrowserSite final
    : public ComObject<BrowserSite, IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame, IDocHostUIHandler, IDispatch> {
public:
    BrowserSite(SystemBrowserView* view, HWND host) : view_(view), host_(host) {}
    void Detach() { view_ = nullptr; }
    void SetHostFlags(DWORD flags) { flags_ = flags; }

    // IUnknown is the client site; IOleWindow the in-place site's, IOleInPlaceUIWindow the
    // frame's; the events arrive on IDispatch.
    static const InterfaceEntry* Interfaces() {
        static const InterfaceEntry table[] = {
            KV_INTERFACE_AS(BrowserSite, IID_IOleClientSite, IOleClientSite),
            KV_INTERFACE_AS(BrowserSite, IID_IOleWindow, IOleInPlaceSite),
            KV_INTERFACE_AS(BrowserSite, IID_IOleInPlaceSite, IOleInPlaceSite),
            KV_INTERFACE_AS(BrowserSite, IID_IOleInPlaceUIWindow, IOleInPlaceFrame),
            KV_INTERFACE_AS(BrowserSite, IID_IOleInPlaceFrame, IOleInPlaceFrame),
            KV_INTERFACE_AS(BrowserSite, IID_IDocHostUIHandler, IDocHostUIHandler),
            KV_INTERFACE_AS(BrowserSite, IID_IDispatch, IDispatch),
            KV_INTERFACE_AS(BrowserSite, DIID_DWebBrowserEvents2, IDispatch),
            {},
        };
        return table;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** m) override {
        if (m) *m = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** c) override {
        if (c) *c = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (of the in-place site and of the frame)
    STDMETHODIMP GetWindow(HWND* w) override {
        if (!w) return E_POINTER;
        *w = host_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        ::GetClientRect(host_, pos);
        *clip = *pos;
        info->fMDIApp = FALSE;
        info->hwndFrame = ::GetAncestor(host_, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow / IOleInPlaceFrame: no menus, no tool space, no status line.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }  // also IDocHostUIHandler's
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }  // none
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
        if (!info) return E_POINTER;
        if (info->cbSize < sizeof(DOCHOSTUIINFO)) return E_INVALIDARG;
        info->dwFlags = flags_;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return S_OK;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key) *key = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override {
        if (target) *target = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetExternal(IDispatch** d) override {
        if (d) *d = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }

    // IDispatch: the DWebBrowserEvents2 sink.
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** t) override {
        if (t) *t = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

private:
    ~BrowserSite() override = default;
    SystemBrowserView* view_;
    HWND host_;
    DWORD flags_ = 0;
};

class SystemBrowserView : public WebView {
public:
    explicit SystemBrowserView(const WebViewOptions& options) : events_(options.events) {}

    ~SystemBrowserView() override {
        if (cookie_ && point_) point_->Unadvise(cookie_);
        if (ComPtr<IOleInPlaceObject> inPlace; object_ && SUCCEEDED(object_.as(IID_IOleInPlaceObject, &inPlace)))
            inPlace->InPlaceDeactivate();
        if (object_) {
            object_->Close(OLECLOSE_NOSAVE);
            object_->SetClientSite(nullptr);
        }
        if (site_) site_->Detach();
        if (post_.get()) ::SetWindowLongPtrW(post_.get(), GWLP_USERDATA, 0);
    }

    bool Create(const WebViewOptions& options) {
        if (!options.parent || !RegisterHostClass()) return false;
        // Without the document engine the control has nothing to show.
        {
            ComPtr<IUnknown> engine;
            if (FAILED(::CoCreateInstance(kHtmlDocumentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                          engine.putVoid())))
                return false;
        }
        const RECT& r = options.rect;
        host_.reset(::CreateWindowExW(0, kHostClass, L"",
                                      WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (options.visible ? WS_VISIBLE : 0),
                                      r.left, r.top, r.right - r.left, r.bottom - r.top, options.parent, nullptr,
                                      ::GetModuleHandleW(nullptr), nullptr));
        if (!host_.get()) return false;
        post_.reset(::CreateWindowExW(0, kPostClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      ::GetModuleHandleW(nullptr), this));
        if (!post_.get()) return false;
        site_ = ComPtr<BrowserSite>::adopt(new (std::nothrow) BrowserSite(this, host_.get()));
        if (!site_) return false;
        site_->SetHostFlags(options.hostFlags);

        if (FAILED(
                ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object_.putVoid())))
            return false;
        if (FAILED(object_->SetClientSite(static_cast<IOleClientSite*>(site_.get())))) return false;
        RECT client;
        ::GetClientRect(host_.get(), &client);
        if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_.get()), 0,
                                   host_.get(), &client)))
            return false;
        if (FAILED(object_.as(IID_IWebBrowser2, &browser_))) return false;
        browser_->put_Silent(VARIANT_TRUE);  // no script-error boxes from service pages

        ComPtr<IConnectionPointContainer> container;
        if (FAILED(object_.as(IID_IConnectionPointContainer, &container))) return false;
        if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point_.put()))) return false;
        if (FAILED(point_->Advise(static_cast<IDispatch*>(site_.get()), &cookie_))) return false;
        return true;
    }

    // Whether the control shows pages: a blank page must complete and give a document within
    // the probe time. Messages are pumped meanwhile; no completion reaches the caller.
    bool ShowsPages() {
        probing_ = true;
        probeDone_ = false;
        if (!Navigate(L"about:blank")) return probing_ = false;
        const DWORD start = ::GetTickCount();
        bool quit = false;
        WPARAM quitCode = 0;
        while (!probeDone_ && !quit) {
            const DWORD elapsed = ::GetTickCount() - start;
            if (elapsed >= kProbeMs) break;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kProbeMs - elapsed, QS_ALLINPUT);
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    quit = true;
                    quitCode = msg.wParam;
                    break;
                }
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        if (quit) ::PostQuitMessage(static_cast<int>(quitCode));  // the host's loop must still see it
        probing_ = false;
        return probeDone_ && HasDocument();
    }

    void OnDocumentComplete(IDispatch* frame) {
        // Only the top-level browser counts, not the frames of the page.
        ComPtr<IUnknown> a, b;
        if (!frame || !browser_ || FAILED(frame->QueryInterface(IID_IUnknown, a.putVoid())) ||
            FAILED(browser_->QueryInterface(IID_IUnknown, b.putVoid())) || a.get() != b.get())
            return;
        if (probing_) {
            probeDone_ = true;
            return;
        }
        // Passed on through our own posted message, so that it can never arrive inside the
        // call that started the load, whatever the control does.
        ::PostMessageW(post_.get(), kCompleted, 0, 0);
    }

    WebViewKind kind() const override { return WebViewKind::SystemBrowser; }
    HWND window() const override { return host_.get(); }

    bool Navigate(const std::wstring& url) override {
        if (!browser_) return false;
        Bstr target(url);
        Variant empty;
        return SUCCEEDED(browser_->Navigate(target.get(), empty.get(), empty.get(), empty.get(), empty.get()));
    }
    bool HasDocument() override { return static_cast<bool>(Document2()); }
    bool BodyText(std::wstring* text) override {
        text->clear();
        ComPtr<IHTMLDocument2> doc = Document2();
        ComPtr<IHTMLElement> body;
        if (!doc || FAILED(doc->get_body(body.put())) || !body) return false;
        Bstr inner;
        if (FAILED(body->get_innerText(inner.put()))) return false;
        *text = inner.str();
        return true;
    }
    bool HasElement(const std::wstring& id) override { return static_cast<bool>(ElementById(id)); }
    bool SetInputValue(const std::wstring& id, const std::wstring& value) override {
        ComPtr<IHTMLElement> element = ElementById(id);
        ComPtr<IHTMLInputElement> input;
        if (!element || FAILED(element.as(IID_IHTMLInputElement, &input))) return false;
        Bstr v(value);
        return SUCCEEDED(input->put_value(v.get()));
    }
    bool Click(const std::wstring& id) override {
        ComPtr<IHTMLElement> element = ElementById(id);
        return element && SUCCEEDED(element->click());
    }
    void SetHostFlags(DWORD flags) override {
        if (site_) site_->SetHostFlags(flags);
    }
    void Show(bool visible) override { ::ShowWindow(host_.get(), visible ? SW_SHOWNA : SW_HIDE); }
    void Move(const RECT& r) override {
        ::MoveWindow(host_.get(), r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        ComPtr<IOleInPlaceObject> inPlace;
        if (object_ && SUCCEEDED(object_.as(IID_IOleInPlaceObject, &inPlace))) {
            RECT client;
            ::GetClientRect(host_.get(), &client);
            inPlace->SetObjectRects(&client, &client);
        }
    }

private:
    ComPtr<IHTMLDocument2> Document2() {
        ComPtr<IDispatch> disp;
        ComPtr<IHTMLDocument2> doc;
        if (!browser_ || FAILED(browser_->get_Document(disp.put())) || !disp) return doc;
        disp.as(IID_IHTMLDocument2, &doc);
        return doc;
    }
    ComPtr<IHTMLElement> ElementById(const std::wstring& id) {
        ComPtr<IHTMLElement> element;
        ComPtr<IDispatch> disp;
        ComPtr<IHTMLDocument3> doc;
        if (!browser_ || FAILED(browser_->get_Document(disp.put())) || !disp ||
            FAILED(disp.as(IID_IHTMLDocument3, &doc)))
            return element;
        Bstr name(id);
        if (FAILED(doc->getElementById(name.get(), element.put()))) element.reset();
        return element;
    }

    static LRESULT CALLBACK PostProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE)
            ::SetWindowLongPtrW(w, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        if (msg == kCompleted) {
            auto* self = reinterpret_cast<SystemBrowserView*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
            if (self && self->events_) self->events_->DocumentComplete(*self);
            return 0;
        }
        return ::DefWindowProcW(w, msg, wp, lp);
    }

    static bool RegisterWindowClass(const wchar_t* name, WNDPROC proc, HBRUSH background) {
        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        if (::GetClassInfoExW(instance, name, &wc)) return true;
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = proc;
        wc.hInstance = instance;
        wc.hbrBackground = background;
        wc.lpszClassName = name;
        return ::RegisterClassExW(&wc) != 0;
    }
    static bool RegisterHostClass() {
        return RegisterWindowClass(kHostClass, ::DefWindowProcW, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH))) &&
               RegisterWindowClass(kPostClass, PostProc, nullptr);
    }

    WebViewEvents* events_;
    UniqueWindow host_;
    UniqueWindow post_;  // message-only: carries the completion into the message loop
    ComPtr<BrowserSite> site_;
    ComPtr<IOleObject> object_;
    ComPtr<IWebBrowser2> browser_;
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    bool probing_ = false;
    bool probeDone_ = false;
};

STDMETHODIMP BrowserSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    return Guard([&]() -> HRESULT {
        if (id != DISPID_DOCUMENTCOMPLETE || !view_ || !params || params->cArgs < 2) return S_OK;
        // Arguments come last first: rgvarg[1] is the browser or frame, rgvarg[0] the address.
        VARIANT& frame = params->rgvarg[1];
        IDispatch* disp = nullptr;
        if (frame.vt == VT_DISPATCH)
            disp = frame.pdispVal;
        else if (frame.vt == (VT_DISPATCH | VT_BYREF) && frame.ppdispVal)
            disp = *frame.ppdispVal;
        view_->OnDocumentComplete(disp);
        return S_OK;
    });
}

}  // namespace

std::unique_ptr<WebView> CreateSystemBrowserView(const WebViewOptions& options) {
    std::unique_ptr<SystemBrowserView> view(new (std::nothrow) SystemBrowserView(options));
    if (!view || !view->Create(options) || !view->ShowsPages()) return nullptr;
    return view;
}

}  // namespace kv
