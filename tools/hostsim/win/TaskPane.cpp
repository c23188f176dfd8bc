// Custom task panes: the factory handed to add-ins and the panes it creates. Each pane is a
// window docked at the right edge of a frame with an AtlAxWin child (Wine's atl.dll container)
// that creates and hosts the ActiveX control named by its ProgID.

#include <algorithm>

#include "tools/hostsim/win/Dispatch.h"
#include "tools/hostsim/win/Host.h"
#include "tools/hostsim/win/Log.h"

extern "C" {
BOOL WINAPI AtlAxWinInit(void);
HRESULT WINAPI AtlAxGetControl(HWND hwnd, IUnknown** control);
}

namespace hostsim {

const wchar_t* PaneClassName();

class CustomTaskPaneObject : public DispatchImpl<_CustomTaskPane> {
public:
    CustomTaskPaneObject(Frame* frame, std::wstring title, int number)
        : frame_(frame), title_(std::move(title)), number_(number) {}

    HRESULT Create(const std::wstring& progId) {
        window_ = CreateWindowExW(0, PaneClassName(), title_.c_str(), WS_CHILD | WS_CLIPCHILDREN, 0, 0, width_, 400,
                                  frame_->hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!window_) return HRESULT_FROM_WIN32(GetLastError());
        SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(Host::Get().font), FALSE);
        // The container creates the control from the window text while the window is created.
        axWindow_ = CreateWindowExW(0, L"AtlAxWin", progId.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 22,
                                    width_, 378, window_, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!axWindow_) return HRESULT_FROM_WIN32(GetLastError());
        ComPtr<IUnknown> control;
        HRESULT hr = AtlAxGetControl(axWindow_, control.put());
        if (FAILED(hr) || !control) return FAILED(hr) ? hr : E_FAIL;
        control_ = control;
        return S_OK;
    }

    // Also cuts the pane off its frame: an add-in may hold the pane longer than the window lives.
    void DestroyWindowNow() {
        control_.reset();
        if (window_ && IsWindow(window_)) DestroyWindow(window_);
        window_ = axWindow_ = nullptr;
        frame_ = nullptr;
    }

    HWND window() const { return window_; }
    HWND axWindow() const { return axWindow_; }
    bool visible() const { return visible_; }
    int width() const { return width_; }
    ComPtr<IDispatch> Content() const {
        ComPtr<IDispatch> d;
        if (control_) control_->QueryInterface(IID_IDispatch, d.putVoid());
        return d;
    }

    // _CustomTaskPane
    HRESULT STDMETHODCALLTYPE get_Title(BSTR* out) override {
        return Guard([&] {
            if (!out) return E_POINTER;
            *out = SysAllocString(title_.c_str());
            LogBuilt("host<-", [&] { return Who() + ".Title [get] = " + Quote(title_); });
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_Application(IDispatch** out) override {
        return Guard([&] {
            if (!out) return E_POINTER;
            *out = Host::Get().app.get();
            if (*out) (*out)->AddRef();
            LogBuilt("host<-", [&] { return Who() + ".Application [get] = Application"; });
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_Window(IDispatch** out) override {
        return Guard([&] {
            if (!out) return E_POINTER;
            *out = nullptr;
            if (!frame_) return E_UNEXPECTED;
            *out = frame_->window.get();
            if (*out) (*out)->AddRef();
            LogBuilt("host<-", [&] { return Who() + ".Window [get] = Window " + std::to_string(frame_->number); });
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* out) override {
        return Guard([&] {
            if (!out) return E_POINTER;
            *out = visible_ ? VARIANT_TRUE : VARIANT_FALSE;
            Log("host<-", Who() + ".Visible [get] = " + std::to_string(*out));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL v) override {
        return Guard([&] {
            if (!frame_) return E_UNEXPECTED;
            visible_ = v != VARIANT_FALSE;
            Log("host<-", Who() + ".Visible [put] " + std::to_string(v) + " = S_OK");
            Host::Get().LayoutFrame(frame_);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_ContentControl(IDispatch** out) override {
        return Guard([&] {
            if (!out) return E_POINTER;
            ComPtr<IDispatch> d = Content();
            *out = d.release();
            LogBuilt("host<-",
                     [&] { return Who() + ".ContentControl [get] = " + (*out ? "IDispatch" : "none (E_FAIL)"); });
            return *out ? S_OK : E_FAIL;
        });
    }
    HRESULT STDMETHODCALLTYPE get_Height(int* out) override {
        return Guard([&] {
            if (!out) return E_POINTER;
            RECT r{};
            if (window_) GetWindowRect(window_, &r);
            *out = r.bottom - r.top;
            Log("host<-", Who() + ".Height [get] = " + std::to_string(*out));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE put_Height(int v) override {
        return Guard([&] {
            // Docked left or right, the height follows the window, as in the hosts.
            Log("host<-", Who() + ".Height [put] " + std::to_string(v) + " = E_FAIL (docked at the side)");
            return E_FAIL;
        });
    }
    HRESULT STDMETHODCALLTYPE get_Width(int* out) override {
        return Guard([&] {
            if (!out) return E_POINTER;
            *out = width_;
            Log("host<-", Who() + ".Width [get] = " + std::to_string(width_));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE put_Width(int v) override {
        return Guard([&] {
            if (v < 0 || v > 10000) {
                Log("host<-", Who() + ".Width [put] " + std::to_string(v) + " = E_INVALIDARG");
                return E_INVALIDARG;
            }
            if (!frame_) return E_UNEXPECTED;
            width_ = std::max(v, 20);
            Log("host<-", Who() + ".Width [put] " + std::to_string(v) + " = S_OK");
            Host::Get().LayoutFrame(frame_);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_DockPosition(MsoCTPDockPosition* out) override {
        return Guard([&] {
            if (!out) return E_POINTER;
            *out = msoCTPDockPositionRight;
            Log("host<-", Who() + ".DockPosition [get] = 2 (right)");
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE put_DockPosition(MsoCTPDockPosition v) override {
        return Guard([&] {
            // Only docking at the right is simulated.
            HRESULT hr = v == msoCTPDockPositionRight ? S_OK : E_NOTIMPL;
            Log("host<-", Who() + ".DockPosition [put] " + std::to_string(v) + " = " + HrText(hr));
            return hr;
        });
    }
    HRESULT STDMETHODCALLTYPE get_DockPositionRestrict(MsoCTPDockPositionRestrict* out) override {
        if (!out) return E_POINTER;
        *out = restrict_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_DockPositionRestrict(MsoCTPDockPositionRestrict v) override {
        return Guard([&] {
            restrict_ = v;
            Log("host<-", Who() + ".DockPositionRestrict [put] " + std::to_string(v) + " = S_OK");
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Delete() override {
        return Guard([&] {
            if (!frame_) return E_UNEXPECTED;
            Log("host<-", Who() + ".Delete() = S_OK");
            Frame* frame = frame_;
            ComPtr<_CustomTaskPane> self(this);
            auto& panes = frame->panes;
            panes.erase(std::remove_if(panes.begin(), panes.end(),
                                       [this](const ComPtr<_CustomTaskPane>& p) { return p.get() == this; }),
                        panes.end());
            DestroyWindowNow();
            Host::Get().LayoutFrame(frame);
            return S_OK;
        });
    }

protected:
    REFIID PrimaryIid() const override { return IID__CustomTaskPane; }
    const DispMember* Members() const override { return kMembers; }
    size_t MemberCount() const override { return sizeof kMembers / sizeof kMembers[0]; }
    const char* ObjectName() const override { return "CustomTaskPane"; }
    HRESULT Call(DISPID id, WORD flags, DispArgs& args, VARIANT* result, EXCEPINFO*) override {
        bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        Variant local;
        if (!result) result = local.get();
        VariantInit(result);
        const VARIANT* pv = put ? args.PutValue() : nullptr;
        if (put && !pv) return DISP_E_PARAMNOTFOUND;
        int iv = 0;
        bool bv = false;
        switch (id) {
            // The result's type is set only once a getter has filled it: a failed getter leaves it empty.
            case 0:
                if (put) return DISP_E_MEMBERNOTFOUND;
                return Typed(result, VT_BSTR, get_Title(&V_BSTR(result)));
            case 1:
                if (put) return DISP_E_MEMBERNOTFOUND;
                return Typed(result, VT_DISPATCH, get_Application(&V_DISPATCH(result)));
            case 2:
                if (put) return DISP_E_MEMBERNOTFOUND;
                return Typed(result, VT_DISPATCH, get_Window(&V_DISPATCH(result)));
            case 3:
                if (put)
                    return FAILED(VariantToBool(*pv, bv)) ? DISP_E_TYPEMISMATCH
                                                          : put_Visible(bv ? VARIANT_TRUE : VARIANT_FALSE);
                V_VT(result) = VT_BOOL;
                return get_Visible(&V_BOOL(result));
            case 4:
                if (put) return DISP_E_MEMBERNOTFOUND;
                return Typed(result, VT_DISPATCH, get_ContentControl(&V_DISPATCH(result)));
            case 5:
                if (put) return FAILED(VariantToInt(*pv, iv)) ? DISP_E_TYPEMISMATCH : put_Height(iv);
                V_VT(result) = VT_I4;
                return get_Height(reinterpret_cast<int*>(&V_I4(result)));
            case 6:
                if (put) return FAILED(VariantToInt(*pv, iv)) ? DISP_E_TYPEMISMATCH : put_Width(iv);
                V_VT(result) = VT_I4;
                return get_Width(reinterpret_cast<int*>(&V_I4(result)));
            case 7: {
                if (put)
                    return FAILED(VariantToInt(*pv, iv)) ? DISP_E_TYPEMISMATCH
                                                         : put_DockPosition(static_cast<MsoCTPDockPosition>(iv));
                MsoCTPDockPosition p;
                HRESULT hr = get_DockPosition(&p);
                V_VT(result) = VT_I4;
                V_I4(result) = p;
                return hr;
            }
            case 8: {
                if (put)
                    return FAILED(VariantToInt(*pv, iv))
                               ? DISP_E_TYPEMISMATCH
                               : put_DockPositionRestrict(static_cast<MsoCTPDockPositionRestrict>(iv));
                MsoCTPDockPositionRestrict p;
                HRESULT hr = get_DockPositionRestrict(&p);
                V_VT(result) = VT_I4;
                V_I4(result) = p;
                return hr;
            }
            case 9: return Delete();
            default: return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    std::string Who() const { return "CustomTaskPane[" + std::to_string(number_) + "]"; }
    static HRESULT Typed(VARIANT* result, VARTYPE type, HRESULT hr) {
        if (SUCCEEDED(hr)) V_VT(result) = type;
        return hr;
    }
    static constexpr DispMember kMembers[] = {
        {L"Title", 0, {}},   {L"Application", 1, {}},    {L"Window", 2, {}},
        {L"Visible", 3, {}}, {L"ContentControl", 4, {}}, {L"Height", 5, {}},
        {L"Width", 6, {}},   {L"DockPosition", 7, {}},   {L"DockPositionRestrict", 8, {}},
        {L"Delete", 9, {}},
    };
    Frame* frame_;
    std::wstring title_;
    int number_;
    HWND window_ = nullptr;
    HWND axWindow_ = nullptr;
    ComPtr<IUnknown> control_;
    bool visible_ = false;  // new panes start hidden, as in the hosts
    int width_ = 200;
    MsoCTPDockPositionRestrict restrict_ = msoCTPDockPositionRestrictNone;
};
constexpr DispMember CustomTaskPaneObject::kMembers[];

namespace {

class PaneFactory : public DispatchImpl<ICTPFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateCTP(BSTR progId, BSTR title, VARIANT parent, _CustomTaskPane** out) override {
        return Guard([&] { return CreateCtp(progId, title, parent, out); });
    }

    HRESULT CreateCtp(BSTR progId, BSTR title, const VARIANT& parent, _CustomTaskPane** out) {
        std::wstring p = progId ? progId : L"";
        std::wstring t = title ? title : L"";
        std::string call = "CTPFactory.CreateCTP(CTPAxID=" + Quote(p) + ", CTPTitle=" + Quote(t) +
                           ", CTPParentWindow=" + Describe(parent) + ")";
        if (!out) {
            Log("host<-", call + " = E_POINTER");
            return E_POINTER;
        }
        *out = nullptr;
        Host& h = Host::Get();
        Frame* frame = nullptr;
        const VARIANT* pv = &parent;
        if (V_VT(pv) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(pv)) pv = V_VARIANTREF(pv);
        bool missing = V_VT(pv) == VT_EMPTY || V_VT(pv) == VT_NULL ||
                       (V_VT(pv) == VT_ERROR && V_ERROR(pv) == DISP_E_PARAMNOTFOUND);
        if (missing) {
            frame = h.ActiveFrame();
        } else if (V_VT(pv) == VT_DISPATCH && V_DISPATCH(pv)) {
            // A window object of this host names the frame.
            for (auto& f : h.frames)
                if (f->window.get() == V_DISPATCH(pv)) frame = f.get();
        }
        if (!frame) {
            Log("host<-", call + " = E_INVALIDARG (no such window)");
            return E_INVALIDARG;
        }
        _CustomTaskPane* pane = nullptr;
        HRESULT hr = h.CreatePane(p, t, frame, &pane);
        if (FAILED(hr)) {
            Log("host<-", call + " = " + HrText(hr));
            return hr;
        }
        *out = pane;  // CreatePane returned it with a reference for the caller
        LogBuilt("host<-", [&] {
            return call + " = S_OK pane=" + std::to_string(frame->panes.size()) +
                   " window=" + std::to_string(frame->number);
        });
        return S_OK;
    }

protected:
    REFIID PrimaryIid() const override { return IID_ICTPFactory; }
    const DispMember* Members() const override { return kMembers; }
    size_t MemberCount() const override { return 1; }
    const char* ObjectName() const override { return "CTPFactory"; }
    HRESULT Call(DISPID id, WORD, DispArgs& args, VARIANT* result, EXCEPINFO*) override {
        if (id != 1) return DISP_E_MEMBERNOTFOUND;
        std::wstring p, t;
        if (FAILED(args.GetString(0, 0, p)) || FAILED(args.GetString(1, 1, t))) return DISP_E_PARAMNOTFOUND;
        Variant parent;  // our own copy
        const VARIANT* pv = args.Get(2, 2);
        if (pv)
            VariantCopy(parent.get(), const_cast<VARIANT*>(pv));
        else {
            V_VT(parent.get()) = VT_ERROR;
            V_ERROR(parent.get()) = DISP_E_PARAMNOTFOUND;
        }
        Bstr bp(p), bt(t);
        ComPtr<_CustomTaskPane> pane;
        HRESULT hr = CreateCTP(bp.get(), bt.get(), parent.v(), pane.put());
        if (SUCCEEDED(hr) && result) {
            VariantInit(result);
            V_VT(result) = VT_DISPATCH;
            V_DISPATCH(result) = pane.release();
        }
        return hr;
    }

private:
    static constexpr DispMember kMembers[] = {{L"CreateCTP", 1, {L"CTPAxID", L"CTPTitle", L"CTPParentWindow"}}};
};
constexpr DispMember PaneFactory::kMembers[];

}  // namespace

HRESULT Host::CreatePane(const std::wstring& progId, const std::wstring& title, Frame* frame, _CustomTaskPane** out) {
    *out = nullptr;
    static bool atlReady = false;
    if (!atlReady) {
        atlReady = AtlAxWinInit() != FALSE;
        if (!atlReady) {
            LogError("AtlAxWinInit failed");
            return E_FAIL;
        }
    }
    int number = 0;
    for (auto& f : frames) number += static_cast<int>(f->panes.size());
    auto pane = ComPtr<CustomTaskPaneObject>::adopt(new (std::nothrow) CustomTaskPaneObject(frame, title, number + 1));
    if (!pane) return E_OUTOFMEMORY;
    HRESULT hr = pane->Create(progId);
    if (FAILED(hr)) {
        Log("host", "control " + Quote(progId) + " could not be created and hosted: " + HrText(hr));
        pane->DestroyWindowNow();
        return hr;
    }
    Log("host", "control " + Quote(progId) + " hosted by AtlAxWin in window " + std::to_string(frame->number));
    frame->panes.push_back(ComPtr<_CustomTaskPane>(pane.get()));
    LayoutFrame(frame);
    *out = pane.release();
    return S_OK;
}

_CustomTaskPane* Host::PaneForFrame(Frame* frame) {
    if (!frame || frame->panes.empty()) return nullptr;
    for (auto& p : frame->panes)
        if (PaneVisible(p.get())) return p.get();
    return frame->panes.front().get();
}

ComPtr<ICTPFactory> NewPaneFactory() {
    return ComPtr<ICTPFactory>::adopt(new (std::nothrow) PaneFactory());
}
// Every _CustomTaskPane in a frame is one of ours.
static CustomTaskPaneObject* Impl(_CustomTaskPane* pane) {
    return static_cast<CustomTaskPaneObject*>(pane);
}
HWND PaneWindow(_CustomTaskPane* pane) {
    return pane ? Impl(pane)->window() : nullptr;
}
HWND PaneControlWindow(_CustomTaskPane* pane) {
    return pane ? Impl(pane)->axWindow() : nullptr;
}
bool PaneVisible(_CustomTaskPane* pane) {
    return pane && Impl(pane)->visible();
}
int PaneWidth(_CustomTaskPane* pane) {
    return pane ? Impl(pane)->width() : 0;
}
ComPtr<IDispatch> PaneContent(_CustomTaskPane* pane) {
    return pane ? Impl(pane)->Content() : ComPtr<IDispatch>();
}
void DestroyPaneWindow(_CustomTaskPane* pane) {
    if (pane) Impl(pane)->DestroyWindowNow();
}

// The office hosts offer a key message inside a task pane to the pane's control first
// (IOleInPlaceActiveObject::TranslateAccelerator) and dispatch it only when the control leaves
// it untranslated.
bool OfferKeyToPane(MSG* msg) {
    if (!msg || !msg->hwnd || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return false;
    for (auto& f : Host::Get().frames) {
        for (auto& p : f->panes) {
            HWND ax = PaneControlWindow(p.get());
            if (!ax || (msg->hwnd != ax && !IsChild(ax, msg->hwnd))) continue;
            ComPtr<IUnknown> control;
            if (FAILED(AtlAxGetControl(ax, control.put())) || !control) return false;
            ComPtr<IOleInPlaceActiveObject> active;
            if (FAILED(control->QueryInterface(IID_IOleInPlaceActiveObject, active.putVoid())) || !active) return false;
            const HRESULT hr = active->TranslateAccelerator(msg);
            if (msg->message == WM_KEYDOWN) {
                Log("host->",
                    "TranslateAccelerator(WM_KEYDOWN vk=" + std::to_string(msg->wParam) + ") = " + HrText(hr));
            }
            return hr == S_OK;
        }
    }
    return false;
}

// F6 moves the keyboard into the active window's task pane: its control is UI-activated, as the
// office hosts do when the user cycles to a pane.
bool FocusPaneFromKey(const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN || msg->wParam != VK_F6) return false;
    Frame* frame = Host::Get().ActiveFrame();
    if (!frame) return false;
    for (auto& p : frame->panes) {
        HWND ax = PaneControlWindow(p.get());
        if (!ax || !IsWindowVisible(ax)) continue;
        ComPtr<IUnknown> control;
        ComPtr<IOleObject> object;
        ComPtr<IOleClientSite> site;
        if (FAILED(AtlAxGetControl(ax, control.put())) || !control ||
            FAILED(control->QueryInterface(IID_IOleObject, object.putVoid())) || !object ||
            FAILED(object->GetClientSite(site.put()))) {
            return false;
        }
        RECT rect{};
        GetClientRect(ax, &rect);
        const HRESULT hr = object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site.get(), 0, ax, &rect);
        Log("host->", "F6: pane control DoVerb(OLEIVERB_UIACTIVATE) = " + HrText(hr));
        return true;
    }
    return false;
}

}  // namespace hostsim
