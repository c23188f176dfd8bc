// A minimal windowed ActiveX control for hosting tests: IOleObject and IOleInPlaceObject for
// the container, IDispatch for callers. Its window holds a title, an edit box, a search button
// and a result line that fills in a moment after a search starts (an asynchronous search).
#include <string>

#include "platform/WinHandles.h"
#include "tests/wine/hostsim/TestCommon.h"

namespace hostsimtest {

namespace {

const wchar_t kWindowClass[] = L"HostSimTestControl";
constexpr UINT_PTR kSearchTimer = 1;

enum : DISPID { kName = 1, kText, kSearch, kState };

class TestControl : public IOleObject, public IOleInPlaceObject, public IDispatch {
public:
    TestControl() { ModuleAddRef(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleObject)
            *out = static_cast<IOleObject*>(this);
        else if (iid == IID_IOleInPlaceObject || iid == IID_IOleWindow)
            *out = static_cast<IOleInPlaceObject*>(this);
        else if (iid == IID_IDispatch)
            *out = static_cast<IDispatch*>(this);
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

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
        site_ = kv::ComPtr<IOleClientSite>(site);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** out) override {
        if (!out) return E_POINTER;
        *out = kv::ComPtr<IOleClientSite>(site_).release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override {
        DestroyOwnWindow();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) override {
        Say("control DoVerb(" + std::to_string(verb) + ") parent=" + (parent ? "window" : "none"));
        if (!hwnd_) {
            if (!parent) return E_INVALIDARG;
            RECT r = rect ? *rect : RECT{0, 0, 200, 300};
            if (!CreateOwnWindow(parent, r)) return E_FAIL;
        }
        IOleClientSite* s = site ? site : site_.get();
        kv::ComPtr<IOleInPlaceSite> inplace;
        if (s && SUCCEEDED(s->QueryInterface(IID_IOleInPlaceSite, inplace.putVoid())) && inplace) {
            if (inplace->CanInPlaceActivate() == S_OK) inplace->OnInPlaceActivate();
        }
        ShowWindow(hwnd_, SW_SHOW);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* out) override {
        if (!out) return E_POINTER;
        *out = kControlClsid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR* out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL* size) override {
        if (size) extent_ = *size;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL* out) override {
        if (!out) return E_POINTER;
        *out = extent_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD* cookie) override {
        if (cookie) *cookie = 0;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* out) override {
        if (!out) return E_POINTER;
        *out = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
               OLEMISC_SETCLIENTSITEFIRST;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow / IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
        if (!out) return E_POINTER;
        *out = hwnd_;
        return hwnd_ ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override {
        if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT pos, LPCRECT) override {
        if (pos && hwnd_) MoveWindow(hwnd_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        if (out) *out = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        static const struct {
            const wchar_t* name;
            DISPID id;
        } table[] = {{L"Name", kName}, {L"Text", kText}, {L"Search", kSearch}, {L"State", kState}};
        if (!names || !ids || count == 0) return E_INVALIDARG;
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        for (const auto& t : table)
            if (names[0] && lstrcmpiW(names[0], t.name) == 0) {
                ids[0] = t.id;
                return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
            }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
        auto setString = [result](const std::wstring& s) {
            if (!result) return;
            VariantInit(result);
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        };
        auto firstString = [p](std::wstring& out) {
            if (!p || p->cArgs < 1) return false;
            kv::Variant v;
            if (FAILED(VariantChangeType(v.get(), &p->rgvarg[p->cArgs - 1], 0, VT_BSTR))) return false;
            BSTR b = V_BSTR(v.get());
            out.assign(b ? b : L"", b ? SysStringLen(b) : 0);
            return true;
        };
        std::wstring text;
        switch (id) {
            case kName: setString(kControlProgId); return S_OK;
            case kState: setString(state_); return S_OK;
            case kText:
                if (put) {
                    if (!firstString(text)) return DISP_E_TYPEMISMATCH;
                    if (hwnd_) SetDlgItemTextW(hwnd_, kEditId, text.c_str());
                    Say("control Text=" + Utf8(text.c_str()));
                    return S_OK;
                }
                setString(EditText());
                return S_OK;
            case kSearch:
                if (!firstString(text)) return DISP_E_BADPARAMCOUNT;
                StartSearch(text);
                return S_OK;
            default: return DISP_E_MEMBERNOTFOUND;
        }
    }

    void StartSearch(const std::wstring& text) {
        Say("control Search(\"" + Utf8(text.c_str()) + "\")");
        pending_ = text;
        state_ = L"searching";
        if (!hwnd_) return;
        SetDlgItemTextW(hwnd_, kEditId, text.c_str());
        SetDlgItemTextW(hwnd_, kResultId, L"");
        SetTimer(hwnd_, kSearchTimer, 200, nullptr);
    }

    void FinishSearch() {
        KillTimer(hwnd_, kSearchTimer);
        std::wstring result = L"결과: " + pending_;
        SetDlgItemTextW(hwnd_, kResultId, result.c_str());
        state_ = L"done";
        Say("control search done \"" + Utf8(result.c_str()) + "\"");
    }

private:
    virtual ~TestControl() {
        DestroyOwnWindow();
        ModuleRelease();
    }

    std::wstring EditText() const {
        wchar_t buf[256] = {};
        if (hwnd_) GetDlgItemTextW(hwnd_, kEditId, buf, 256);
        return buf;
    }

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<TestControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        switch (msg) {
            case WM_NCCREATE:
                SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                                  reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
                break;
            case WM_COMMAND:
                if (self && LOWORD(wp) == kSearchButtonId && HIWORD(wp) == BN_CLICKED) {
                    Say("control search button clicked");
                    self->StartSearch(self->EditText());
                    return 0;
                }
                break;
            case WM_TIMER:
                if (self && wp == kSearchTimer) {
                    self->FinishSearch();
                    return 0;
                }
                break;
            case WM_SIZE: {
                int w = LOWORD(lp);
                MoveWindow(GetDlgItem(hwnd, kTitleId), 8, 8, w - 16, 20, TRUE);
                MoveWindow(GetDlgItem(hwnd, kEditId), 8, 34, w - 80, 24, TRUE);
                MoveWindow(GetDlgItem(hwnd, kSearchButtonId), w - 68, 34, 60, 24, TRUE);
                MoveWindow(GetDlgItem(hwnd, kResultId), 8, 66, w - 16, 20, TRUE);
                return 0;
            }
            case WM_NCDESTROY:
                if (self) self->hwnd_ = nullptr;
                break;
            default: break;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    bool CreateOwnWindow(HWND parent, const RECT& r) {
        static bool registered = false;
        if (!registered) {
            WNDCLASSEXW wc = {};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = WndProc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
            wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
            wc.lpszClassName = kWindowClass;
            registered = RegisterClassExW(&wc) != 0;
            if (!registered) return false;
        }
        hwnd_ = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPCHILDREN, r.left, r.top, r.right - r.left,
                                r.bottom - r.top, parent, nullptr, GetModuleHandleW(nullptr), this);
        if (!hwnd_) return false;
        font_.reset(
            CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, HANGUL_CHARSET, 0, 0, 0, 0, L"NanumGothic"));
        struct Child {
            const wchar_t* cls;
            const wchar_t* text;
            DWORD style;
            int id;
        };
        const Child children[] = {
            {L"STATIC", L"테스트 컨트롤", SS_LEFT, kTitleId},
            {L"EDIT", L"", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, kEditId},
            {L"BUTTON", L"검색", BS_PUSHBUTTON | WS_TABSTOP, kSearchButtonId},
            {L"STATIC", L"", SS_LEFT, kResultId},
        };
        for (const auto& c : children) {
            HWND w = CreateWindowExW(0, c.cls, c.text, WS_CHILD | WS_VISIBLE | c.style, 0, 0, 10, 10, hwnd_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), GetModuleHandleW(nullptr),
                                     nullptr);
            SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        }
        RECT client;
        GetClientRect(hwnd_, &client);
        SendMessageW(hwnd_, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
        Say("control window created");
        return true;
    }

    void DestroyOwnWindow() {
        if (hwnd_) DestroyWindow(hwnd_);
        hwnd_ = nullptr;
        font_.reset();
    }

    LONG refs_ = 1;
    kv::ComPtr<IOleClientSite> site_;
    HWND hwnd_ = nullptr;
    kv::UniqueFont font_;
    SIZEL extent_{5080, 5080};
    std::wstring state_ = L"idle";
    std::wstring pending_;
};

}  // namespace

HRESULT CreateControl(REFIID iid, void** out) {
    auto c = kv::ComPtr<IOleObject>::adopt(new (std::nothrow) TestControl());
    if (!c) return E_OUTOFMEMORY;
    return c->QueryInterface(iid, out);
}

}  // namespace hostsimtest
