// A small ActiveX control framework of our own (mingw has no ATL): everything a real OLE
// container uses to site, activate, size, draw, persist and script a windowed control, so that
// a control class holds only its own logic.
//
//   class CMyControl : public kv::ActiveXControl<CMyControl, IMyControl> {
//   public:
//       static const CLSID& ClassId() { return CLSID_MyControl; }
//       static const IID& EventsIid() { return DIID__IMyControlEvents; }
//       static constexpr DWORD kMiscStatus = kControlMiscStatus;  // or its own OLEMISC_ flags
//       // IMyControl's own methods (the stock property part is the framework's) ...
//   };
//   // in the module's class table: {&CLSID_MyControl, &CMyControl::CreateInstance}
//
// DualInterface is a dual interface described in the module's type library (resource 1) whose
// first methods after IDispatch are the stock properties, in this order, each as a put/get
// pair (putref, put and get for Font, MouseIcon and Picture; get only for HWND): AutoSize,
// BackColor, BackStyle, BorderColor, BorderStyle, BorderWidth, DrawMode, DrawStyle, DrawWidth,
// FillColor, FillStyle, Font, ForeColor, Enabled, HWND, TabStop, Text, Caption, BorderVisible,
// Appearance, MousePointer, MouseIcon, Picture, Valid, ReadyState. IDispatch runs through the
// type library (ITypeInfo::Invoke on DualInterface).
//
// The object answers IUnknown, IDispatch and DualInterface, IOleObject, IOleInPlaceObject
// (IOleWindow), IOleInPlaceActiveObject, IOleControl, IViewObject2 (IViewObject),
// IPersistStreamInit (IPersist), IPersistStorage, IPersistPropertyBag, IQuickActivate,
// IProvideClassInfo2 (IProvideClassInfo), IConnectionPointContainer (the events point with
// Derived::EventsIid() and IPropertyNotifySink), IObjectSafety and ISupportErrorInfo, and
// whatever Derived::FindInterface adds. It can be aggregated. Its initial extent is
// 5080 x 5080 HIMETRIC.
//
// Hooks: Derived declares a member of the same name and signature to replace a default (they
// are called on the derived type, not virtually):
//   HRESULT OnCreate(HWND window)     the control's window was created (WM_CREATE); make child
//                                     windows here. A failure fails the in-place activation.
//   void OnDestroy()                  the window is being destroyed (WM_DESTROY); children still exist.
//   void OnPositionChanged(const RECT& position)
//                                     the container gave a new position rectangle (in the
//                                     container window's coordinates); the framework has already
//                                     moved and clipped the window. Also called once on activation.
//   bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
//                                     every window message except WM_CREATE/WM_DESTROY comes here
//                                     first; return true with *result to stop the framework's
//                                     handling (WM_PAINT drawing, focus, mouse activation, default).
//   void OnDraw(HDC dc, const RECT& bounds)
//                                     draws the control (WM_PAINT with the client rectangle,
//                                     IViewObject::Draw with the caller's bounds); the default
//                                     draws the framework's face (frame and version text).
//   HRESULT PreTranslateAccelerator(MSG* message)
//                                     a keyboard message the container offers while the control
//                                     is UI active; return S_OK when handled, S_FALSE to let the
//                                     container's control site have it.
//   void* FindInterface(REFIID iid)   an interface beyond the framework's (nullptr: none); the
//                                     returned pointer is AddRef'd by the framework.
// Hooks must be public in Derived (or Derived befriends ActiveXControl). Derived's constructor
// and destructor must not rely on the window: it is created on activation and destroyed before
// Derived's destructor runs.
//
// Helpers for Derived: ClientSite(), InPlaceSite(), Window(), PositionRect(), Stock(),
// InPlaceActivate(verb), UIActivate(), ControlSiteTranslateAccelerator(msg) (the container's
// IOleControlSite::TranslateAccelerator with Shift 1, Ctrl 2, Alt 4), FireViewChange(),
// FireOnRequestEdit(dispid), FireOnChanged(dispid), SetDirty(), EventsPoint(),
// ControllingUnknown().
//
// Threading: apartment model; every call arrives on the thread that created the object.
#pragma once
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

#include "addin/base/com/ComServer.h"
#include "addin/base/com/TypeInfoDispatch.h"
#include "addin/base/control/ControlSupport.h"
#include "platform/WinHandles.h"

namespace kv {

template <class Derived, class DualInterface>
class ActiveXControl : public DispatchPart<DualInterface>,
                       public IOleObject,
                       public IOleInPlaceObject,
                       public IOleInPlaceActiveObject,
                       public IOleControl,
                       public IViewObject2,
                       public IPersistStreamInit,
                       public IPersistStorage,
                       public IPersistPropertyBag,
                       public IQuickActivate,
                       public IProvideClassInfo2,
                       public IConnectionPointContainer,
                       public IObjectSafety,
                       public ISupportErrorInfo,
                       protected ControlWindow {
public:
    static constexpr LONG kInitialExtent = 5080;  // HIMETRIC, both sides

    // The class-table entry point: a new object, aggregated when outer is given (the class
    // factory then asks for IID_IUnknown only).
    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
        return Guard([&]() -> HRESULT {
            Derived* control = new (std::nothrow) Derived();
            if (!control) return E_OUTOFMEMORY;
            control->outer_ = outer ? outer : static_cast<IUnknown*>(&control->inner_);
            // The inner unknown starts at one reference; the query adds the caller's.
            const HRESULT hr = control->inner_.QueryInterface(iid, object);
            control->inner_.Release();
            return hr;
        });
    }

    // ---- IUnknown (delegating) --------------------------------------------------------
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return outer_->QueryInterface(iid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

    // ---- Stock properties (the first part of DualInterface) -----------------------------
#define KV_STOCK_VALUE(Name, Type, member, dispid)  \
    STDMETHODIMP put_##Name(Type value) override {  \
        return PutStock(dispid, [&] {               \
            stock_.member = value;                  \
            return S_OK;                            \
        });                                         \
    }                                               \
    STDMETHODIMP get_##Name(Type* value) override { \
        if (!value) return E_POINTER;               \
        *value = stock_.member;                     \
        return S_OK;                                \
    }
#define KV_STOCK_BOOL(Name, member, dispid)                       \
    STDMETHODIMP put_##Name(VARIANT_BOOL value) override {        \
        return PutStock(dispid, [&] {                             \
            stock_.member = value ? VARIANT_TRUE : VARIANT_FALSE; \
            return S_OK;                                          \
        });                                                       \
    }                                                             \
    STDMETHODIMP get_##Name(VARIANT_BOOL* value) override {       \
        if (!value) return E_POINTER;                             \
        *value = stock_.member;                                   \
        return S_OK;                                              \
    }
#define KV_STOCK_TEXT(Name, member, dispid)                                             \
    STDMETHODIMP put_##Name(BSTR value) override {                                      \
        return PutStock(dispid, [&] {                                                   \
            stock_.member.assign(value ? value : L"", value ? SysStringLen(value) : 0); \
            return S_OK;                                                                \
        });                                                                             \
    }                                                                                   \
    STDMETHODIMP get_##Name(BSTR* value) override {                                     \
        return GetText(stock_.member, value);                                           \
    }
#define KV_STOCK_OBJECT(Name, Type, member, dispid, clone)                     \
    STDMETHODIMP putref_##Name(Type* value) override {                         \
        return PutStock(dispid, [&] {                                          \
            stock_.member = ComPtr<Type>(value);                               \
            return S_OK;                                                       \
        });                                                                    \
    }                                                                          \
    STDMETHODIMP put_##Name(Type* value) override {                            \
        return PutStock(dispid, [&] { return clone(value, &stock_.member); }); \
    }                                                                          \
    STDMETHODIMP get_##Name(Type** value) override {                           \
        if (!value) return E_POINTER;                                          \
        *value = ComPtr<Type>(stock_.member).release();                        \
        return S_OK;                                                           \
    }

    KV_STOCK_BOOL(AutoSize, autoSize, DISPID_AUTOSIZE)
    KV_STOCK_VALUE(BackColor, OLE_COLOR, backColor, DISPID_BACKCOLOR)
    KV_STOCK_VALUE(BackStyle, long, backStyle, DISPID_BACKSTYLE)
    KV_STOCK_VALUE(BorderColor, OLE_COLOR, borderColor, DISPID_BORDERCOLOR)
    KV_STOCK_VALUE(BorderStyle, long, borderStyle, DISPID_BORDERSTYLE)
    KV_STOCK_VALUE(BorderWidth, long, borderWidth, DISPID_BORDERWIDTH)
    KV_STOCK_VALUE(DrawMode, long, drawMode, DISPID_DRAWMODE)
    KV_STOCK_VALUE(DrawStyle, long, drawStyle, DISPID_DRAWSTYLE)
    KV_STOCK_VALUE(DrawWidth, long, drawWidth, DISPID_DRAWWIDTH)
    KV_STOCK_VALUE(FillColor, OLE_COLOR, fillColor, DISPID_FILLCOLOR)
    KV_STOCK_VALUE(FillStyle, long, fillStyle, DISPID_FILLSTYLE)
    KV_STOCK_OBJECT(Font, IFontDisp, font, DISPID_FONT, CloneFont)
    KV_STOCK_VALUE(ForeColor, OLE_COLOR, foreColor, DISPID_FORECOLOR)
    STDMETHODIMP put_Enabled(VARIANT_BOOL value) override {
        return PutStock(DISPID_ENABLED, [&] {
            stock_.enabled = value ? VARIANT_TRUE : VARIANT_FALSE;
            if (hwnd_) EnableWindow(hwnd_, value ? TRUE : FALSE);
            return S_OK;
        });
    }
    STDMETHODIMP get_Enabled(VARIANT_BOOL* value) override {
        if (!value) return E_POINTER;
        *value = stock_.enabled;
        return S_OK;
    }
    STDMETHODIMP get_HWND(LONG_PTR* value) override {
        if (!value) return E_POINTER;
        *value = reinterpret_cast<LONG_PTR>(hwnd_);
        return S_OK;
    }
    KV_STOCK_BOOL(TabStop, tabStop, DISPID_TABSTOP)
    KV_STOCK_TEXT(Text, text, DISPID_TEXT)
    KV_STOCK_TEXT(Caption, caption, DISPID_CAPTION)
    KV_STOCK_BOOL(BorderVisible, borderVisible, DISPID_BORDERVISIBLE)
    KV_STOCK_VALUE(Appearance, short, appearance, DISPID_APPEARANCE)
    KV_STOCK_VALUE(MousePointer, long, mousePointer, DISPID_MOUSEPOINTER)
    KV_STOCK_OBJECT(MouseIcon, IPictureDisp, mouseIcon, DISPID_MOUSEICON, SharePicture)
    KV_STOCK_OBJECT(Picture, IPictureDisp, picture, DISPID_PICTURE, SharePicture)
    KV_STOCK_BOOL(Valid, valid, DISPID_VALID)
    KV_STOCK_VALUE(ReadyState, long, readyState, DISPID_READYSTATE)

#undef KV_STOCK_VALUE
#undef KV_STOCK_BOOL
#undef KV_STOCK_TEXT
#undef KV_STOCK_OBJECT

    // ---- IOleObject ---------------------------------------------------------------------
    STDMETHODIMP SetClientSite(IOleClientSite* site) override {
        clientSite_ = ComPtr<IOleClientSite>(site);
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** site) override {
        if (!site) return E_POINTER;
        *site = ComPtr<IOleClientSite>(clientSite_).release();
        return S_OK;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override {
        return S_OK;
    }
    STDMETHODIMP Close(DWORD) override {
        InPlaceDeactivate();
        if (adviseHolder_) adviseHolder_->SendOnClose();
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject** data) override {
        if (data) *data = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND, LPCRECT) override {
        return Guard([&]() -> HRESULT {
            if (!clientSite_ && activeSite) clientSite_ = ComPtr<IOleClientSite>(activeSite);
            switch (verb) {
                case OLEIVERB_PRIMARY:
                case OLEIVERB_SHOW:
                case OLEIVERB_INPLACEACTIVATE: return InPlaceActivate(OLEIVERB_INPLACEACTIVATE);
                case OLEIVERB_UIACTIVATE: return InPlaceActivate(OLEIVERB_UIACTIVATE);
                case OLEIVERB_HIDE:
                    UIDeactivate();
                    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
                    return S_OK;
                case OLEIVERB_DISCARDUNDOSTATE: return S_OK;
                default: return E_NOTIMPL;  // no separate window, no property pages
            }
        });
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override {
        if (!verbs) return E_POINTER;
        return OleRegEnumVerbs(Derived::ClassId(), verbs);
    }
    STDMETHODIMP Update() override {
        return S_OK;
    }
    STDMETHODIMP IsUpToDate() override {
        return S_OK;
    }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = Derived::ClassId();
        return S_OK;
    }
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override {
        if (!type) return E_POINTER;
        return OleRegGetUserType(Derived::ClassId(), form, type);
    }
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override {
        if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        if (!size) return E_POINTER;
        extent_ = *size;
        dirty_ = true;
        FireViewChange();
        return S_OK;
    }
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override {
        if (!size) return E_POINTER;
        if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        *size = extent_;
        return S_OK;
    }
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override {
        if (!sink || !connection) return E_POINTER;
        if (!adviseHolder_) {
            const HRESULT hr = CreateOleAdviseHolder(adviseHolder_.put());
            if (FAILED(hr)) return hr;
        }
        return adviseHolder_->Advise(sink, connection);
    }
    STDMETHODIMP Unadvise(DWORD connection) override {
        return adviseHolder_ ? adviseHolder_->Unadvise(connection) : OLE_E_NOCONNECTION;
    }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override {
        if (!advise) return E_POINTER;
        *advise = nullptr;
        return adviseHolder_ ? adviseHolder_->EnumAdvise(advise) : S_OK;
    }
    // The registry's MiscStatus has "0" as the default and the control's bits under "1".
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override {
        if (!status) return E_POINTER;
        *status = aspect == DVASPECT_CONTENT ? Derived::kMiscStatus : 0;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override {
        return E_NOTIMPL;
    }

    // ---- IOleWindow, IOleInPlaceObject ----------------------------------------------------
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = hwnd_;
        return hwnd_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP InPlaceDeactivate() override {
        return Guard([&]() -> HRESULT {
            if (!inPlaceActive_) return S_OK;
            UIDeactivate();
            inPlaceActive_ = false;
            if (hwnd_) DestroyWindow(hwnd_);
            ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
            frame_.reset();
            document_.reset();
            if (site) site->OnInPlaceDeactivate();
            return S_OK;
        });
    }
    STDMETHODIMP UIDeactivate() override {
        if (!uiActive_) return S_OK;
        uiActive_ = false;
        if (frame_) frame_->SetActiveObject(nullptr, nullptr);
        if (document_) document_->SetActiveObject(nullptr, nullptr);
        if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
        return S_OK;
    }
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override {
        if (!position || !clip) return E_POINTER;
        return Guard([&]() -> HRESULT {
            position_ = *position;
            if (!hwnd_) return S_OK;
            const int width = position->right - position->left;
            const int height = position->bottom - position->top;
            RECT visible;
            if (!IntersectRect(&visible, position, clip)) SetRectEmpty(&visible);
            if (!EqualRect(&visible, position)) {
                OffsetRect(&visible, -position->left, -position->top);
                UniqueRegion region(CreateRectRgnIndirect(&visible));
                // The window owns the region once it is set.
                if (region && SetWindowRgn(hwnd_, region.get(), TRUE)) region.release();
                clipped_ = true;
            } else if (clipped_) {
                SetWindowRgn(hwnd_, nullptr, TRUE);
                clipped_ = false;
            }
            SetWindowPos(hwnd_, nullptr, position->left, position->top, width > 0 ? width : 0, height > 0 ? height : 0,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            derived().OnPositionChanged(position_);
            return S_OK;
        });
    }
    STDMETHODIMP ReactivateAndUndo() override {
        return E_NOTIMPL;
    }

    // ---- IOleInPlaceActiveObject ----------------------------------------------------------
    STDMETHODIMP TranslateAccelerator(LPMSG message) override {
        if (!message) return E_POINTER;
        return Guard([&]() -> HRESULT {
            if (derived().PreTranslateAccelerator(message) == S_OK) return S_OK;
            return ControlSiteTranslateAccelerator(message);
        });
    }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override {
        return S_OK;
    }
    STDMETHODIMP OnDocWindowActivate(BOOL) override {
        return S_OK;
    }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override {
        return S_OK;
    }
    STDMETHODIMP EnableModeless(BOOL) override {
        return S_OK;
    }

    // ---- IOleControl ----------------------------------------------------------------------
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override {
        if (!info) return E_POINTER;
        if (info->cb < sizeof(CONTROLINFO)) return E_INVALIDARG;
        info->hAccel = nullptr;
        info->cAccel = 0;
        info->dwFlags = 0;
        return S_OK;
    }
    STDMETHODIMP OnMnemonic(MSG*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override {
        return S_OK;
    }
    STDMETHODIMP FreezeEvents(BOOL freeze) override {
        frozenEvents_ += freeze ? 1 : (frozenEvents_ > 0 ? -1 : 0);
        return S_OK;
    }

    // ---- IViewObject2 ---------------------------------------------------------------------
    STDMETHODIMP Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                      BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override {
        if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        if (!dc) return E_INVALIDARG;
        return Guard([&]() -> HRESULT {
            RECT area;
            if (bounds) {
                SetRect(&area, bounds->left, bounds->top, bounds->right, bounds->bottom);
            } else if (hwnd_) {
                GetClientRect(hwnd_, &area);
            } else {
                return E_INVALIDARG;
            }
            derived().OnDraw(dc, area);
            return S_OK;
        });
    }
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) override {
        if (colors) *colors = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Unfreeze(DWORD) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP SetAdvise(DWORD, DWORD flags, IAdviseSink* sink) override {
        viewSink_ = ComPtr<IAdviseSink>(sink);
        viewAdviseFlags_ = flags;
        return S_OK;
    }
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override {
        if (aspects) *aspects = DVASPECT_CONTENT;
        if (flags) *flags = viewAdviseFlags_;
        if (sink) *sink = ComPtr<IAdviseSink>(viewSink_).release();
        return S_OK;
    }
    STDMETHODIMP GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override {
        return GetExtent(aspect, size);
    }

    // ---- IPersist, IPersistStreamInit, IPersistStorage, IPersistPropertyBag ---------------
    STDMETHODIMP GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = Derived::ClassId();
        return S_OK;
    }
    STDMETHODIMP IsDirty() override {
        return dirty_ ? S_OK : S_FALSE;
    }
    STDMETHODIMP InitNew() override {
        return S_OK;
    }
    STDMETHODIMP Load(LPSTREAM stream) override {
        if (!stream) return E_POINTER;
        return Guard([&]() -> HRESULT { return Loaded(LoadStockFromStream(stream, &stock_, &extent_)); });
    }
    STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override {
        if (!stream) return E_POINTER;
        return Guard([&]() -> HRESULT { return Saved(SaveStockToStream(stream, stock_, extent_), clearDirty); });
    }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override {
        if (!size) return E_POINTER;
        size->QuadPart = StockStreamSize(stock_);
        return S_OK;
    }
    STDMETHODIMP InitNew(IStorage*) override {
        return S_OK;
    }
    STDMETHODIMP Load(IStorage* storage) override {
        if (!storage) return E_POINTER;
        return Guard([&]() -> HRESULT {
            ComPtr<IStream> stream;
            const HRESULT hr =
                storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.put());
            if (FAILED(hr)) return hr;
            return Load(stream.get());
        });
    }
    STDMETHODIMP Save(IStorage* storage, BOOL) override {
        if (!storage) return E_POINTER;
        return Guard([&]() -> HRESULT {
            ComPtr<IStream> stream;
            const HRESULT hr = storage->CreateStream(kContentsStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                                     0, 0, stream.put());
            if (FAILED(hr)) return hr;
            return Save(stream.get(), TRUE);
        });
    }
    STDMETHODIMP SaveCompleted(IStorage*) override {
        return S_OK;
    }
    STDMETHODIMP HandsOffStorage() override {
        return S_OK;
    }
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override {
        if (!bag) return E_POINTER;
        return Guard([&]() -> HRESULT { return Loaded(LoadStockFromBag(bag, log, &stock_)); });
    }
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL) override {
        if (!bag) return E_POINTER;
        return Guard([&]() -> HRESULT { return Saved(SaveStockToBag(bag, stock_), clearDirty); });
    }

    // ---- IQuickActivate -------------------------------------------------------------------
    STDMETHODIMP QuickActivate(QACONTAINER* container, QACONTROL* control) override {
        if (!container || !control) return E_POINTER;
        // The fields read here are the first ones, present in every version of the structure.
        if (container->cbSize < offsetof(QACONTAINER, pUnkEventSink) + sizeof(IUnknown*) ||
            control->cbSize < sizeof(QACONTROL)) {
            return E_INVALIDARG;
        }
        return Guard([&]() -> HRESULT {
            const ULONG size = control->cbSize;
            ZeroMemory(control, sizeof(QACONTROL));
            control->cbSize = size;
            SetClientSite(container->pClientSite);
            if (container->pAdviseSink) SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
            if (container->pPropertyNotifySink) {
                const HRESULT hr = propertyPoint_.Advise(container->pPropertyNotifySink, &control->dwPropNotifyCookie);
                if (FAILED(hr)) return hr;
            }
            if (container->pUnkEventSink) {
                const HRESULT hr = eventsPoint_.Advise(container->pUnkEventSink, &control->dwEventCookie);
                if (FAILED(hr)) return hr;
            }
            GetMiscStatus(DVASPECT_CONTENT, &control->dwMiscStatus);
            return S_OK;
        });
    }
    STDMETHODIMP SetContentExtent(LPSIZEL size) override {
        return SetExtent(DVASPECT_CONTENT, size);
    }
    STDMETHODIMP GetContentExtent(LPSIZEL size) override {
        return GetExtent(DVASPECT_CONTENT, size);
    }

    // ---- IProvideClassInfo2 ---------------------------------------------------------------
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        return ModuleTypeInfo(1, Derived::ClassId(), info);
    }
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override {
        if (!guid) return E_POINTER;
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
            *guid = GUID_NULL;
            return E_INVALIDARG;
        }
        *guid = Derived::EventsIid();
        return S_OK;
    }

    // ---- IConnectionPointContainer --------------------------------------------------------
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override {
        if (!points) return E_POINTER;
        *points = nullptr;
        return Guard([&]() -> HRESULT {
            std::vector<IConnectionPoint*> items = {&eventsPoint_, &propertyPoint_};
            auto* enumerator = new (std::nothrow) ConnectionPointEnumerator(outer_, std::move(items));
            if (!enumerator) return E_OUTOFMEMORY;
            *points = enumerator;
            return S_OK;
        });
    }
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        if (!point) return E_POINTER;
        *point = nullptr;
        if (iid == eventsPoint_.iid()) {
            *point = &eventsPoint_;
        } else if (iid == IID_IPropertyNotifySink) {
            *point = &propertyPoint_;
        } else {
            return CONNECT_E_NOCONNECTION;
        }
        (*point)->AddRef();
        return S_OK;
    }

    // ---- IObjectSafety: safe for untrusted callers (scripting) only ------------------------
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override {
        if (!supported || !enabled) return E_POINTER;
        const HRESULT hr = Answers(iid);
        if (FAILED(hr)) {
            *supported = 0;
            *enabled = 0;
            return hr;
        }
        *supported = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
        *enabled = safety_;
        return S_OK;
    }
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override {
        const HRESULT hr = Answers(iid);
        if (FAILED(hr)) return hr;
        if (mask & ~static_cast<DWORD>(INTERFACESAFE_FOR_UNTRUSTED_CALLER)) return E_FAIL;
        safety_ = (safety_ & ~mask) | (enabled & mask);
        return S_OK;
    }

    // ---- ISupportErrorInfo ----------------------------------------------------------------
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == __uuidof(DualInterface) ? S_OK : S_FALSE;
    }

protected:
    ActiveXControl()
        : eventsPoint_(static_cast<IConnectionPointContainer*>(this), Derived::EventsIid()),
          propertyPoint_(static_cast<IConnectionPointContainer*>(this), IID_IPropertyNotifySink) {
        ModuleAddRef();
    }
    virtual ~ActiveXControl() {
        ModuleRelease();
    }
    ActiveXControl(const ActiveXControl&) = delete;
    ActiveXControl& operator=(const ActiveXControl&) = delete;

    // ---- Default hooks ---------------------------------------------------------------------
    HRESULT OnCreate(HWND) {
        return S_OK;
    }
    void OnDestroy() {}
    void OnPositionChanged(const RECT&) {}
    bool ProcessMessage(UINT, WPARAM, LPARAM, LRESULT*) {
        return false;
    }
    void OnDraw(HDC dc, const RECT& bounds) {
        DrawDefaultFace(dc, bounds, kControlFrameworkVersionText);
    }
    HRESULT PreTranslateAccelerator(MSG*) {
        return S_FALSE;
    }
    void* FindInterface(REFIID) {
        return nullptr;
    }

    // ---- Helpers ---------------------------------------------------------------------------
    IOleClientSite* ClientSite() const {
        return clientSite_.get();
    }
    IOleInPlaceSite* InPlaceSite() const {
        return inPlaceSite_.get();
    }
    const RECT& PositionRect() const {
        return position_;
    }
    StockProperties& Stock() {
        return stock_;
    }
    const StockProperties& Stock() const {
        return stock_;
    }
    ConnectionPoint& EventsPoint() {
        return eventsPoint_;
    }
    IUnknown* ControllingUnknown() const {
        return outer_;
    }
    bool IsInPlaceActive() const {
        return inPlaceActive_;
    }
    bool IsUIActive() const {
        return uiActive_;
    }
    void SetDirty(bool dirty = true) {
        dirty_ = dirty;
    }

    // Activates in place (creating the window as a child of the site's window, positioned by
    // the site's window context) and, for OLEIVERB_UIACTIVATE, in the user interface too.
    HRESULT InPlaceActivate(LONG verb) {
        if (!clientSite_) return E_UNEXPECTED;
        if (!inPlaceActive_) {
            ComPtr<IOleInPlaceSite> site;
            HRESULT hr = clientSite_.as(IID_IOleInPlaceSite, &site);
            if (FAILED(hr)) return hr;
            if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
            hr = site->OnInPlaceActivate();
            if (FAILED(hr)) return hr;
            inPlaceSite_ = std::move(site);
            inPlaceActive_ = true;
        }
        HWND parent = nullptr;
        HRESULT hr = inPlaceSite_->GetWindow(&parent);
        if (SUCCEEDED(hr) && !parent) hr = E_FAIL;
        RECT position = {};
        RECT clip = {};
        OLEINPLACEFRAMEINFO frameInfo = {};
        frameInfo.cb = sizeof frameInfo;
        if (SUCCEEDED(hr)) {
            frame_.reset();
            document_.reset();
            hr = inPlaceSite_->GetWindowContext(frame_.put(), document_.put(), &position, &clip, &frameInfo);
        }
        if (SUCCEEDED(hr) && !hwnd_ && !CreateControlWindow(parent, position)) hr = E_FAIL;
        if (FAILED(hr)) {
            InPlaceDeactivate();
            return hr;
        }
        SetObjectRects(&position, &clip);
        ShowWindow(hwnd_, SW_SHOW);
        if (stock_.enabled == VARIANT_FALSE) EnableWindow(hwnd_, FALSE);
        return verb == OLEIVERB_UIACTIVATE ? UIActivate() : S_OK;
    }

    // UI activation: the site and the frame learn that this control is the active object, and
    // the keyboard focus moves into the control's window.
    HRESULT UIActivate() {
        if (!inPlaceActive_) {
            return InPlaceActivate(OLEIVERB_UIACTIVATE);
        }
        if (uiActive_) {
            // Active already, yet the keyboard went elsewhere: a new activation brings it back.
            HWND focus = GetFocus();
            if (hwnd_ && focus != hwnd_ && !IsChild(hwnd_, focus)) SetFocus(hwnd_);
            return S_OK;
        }
        uiActive_ = true;  // before SetFocus: WM_SETFOCUS comes back here
        inPlaceSite_->OnUIActivate();
        HWND focus = GetFocus();
        if (hwnd_ && focus != hwnd_ && !IsChild(hwnd_, focus)) SetFocus(hwnd_);
        auto* active = static_cast<IOleInPlaceActiveObject*>(this);
        if (frame_) {
            frame_->SetActiveObject(active, nullptr);
            frame_->SetBorderSpace(nullptr);
        }
        if (document_) {
            document_->SetActiveObject(active, nullptr);
            document_->SetBorderSpace(nullptr);
        }
        return S_OK;
    }

    // The container's accelerator handling, with the modifier keys held (Shift 1, Ctrl 2, Alt 4).
    HRESULT ControlSiteTranslateAccelerator(MSG* message) {
        ComPtr<IOleControlSite> site;
        if (!clientSite_ || FAILED(clientSite_.as(IID_IOleControlSite, &site)) || !site) return S_FALSE;
        DWORD modifiers = 0;
        if (GetKeyState(VK_SHIFT) < 0) modifiers |= 1;
        if (GetKeyState(VK_CONTROL) < 0) modifiers |= 2;
        if (GetKeyState(VK_MENU) < 0) modifiers |= 4;
        return site->TranslateAccelerator(message, modifiers) == S_OK ? S_OK : S_FALSE;
    }

    void FireViewChange() {
        if (hwnd_) {
            InvalidateRect(hwnd_, nullptr, TRUE);
        } else if (viewSink_) {
            viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
        }
    }
    // S_FALSE when a property-notification sink refuses the change.
    HRESULT FireOnRequestEdit(DISPID id) {
        if (frozenEvents_ > 0) return S_OK;
        for (const ComPtr<IUnknown>& sink : propertyPoint_.Sinks()) {
            if (static_cast<IPropertyNotifySink*>(sink.get())->OnRequestEdit(id) == S_FALSE) return S_FALSE;
        }
        return S_OK;
    }
    HRESULT FireOnChanged(DISPID id) {
        if (frozenEvents_ > 0) return S_OK;
        for (const ComPtr<IUnknown>& sink : propertyPoint_.Sinks()) {
            static_cast<IPropertyNotifySink*>(sink.get())->OnChanged(id);
        }
        return S_OK;
    }

private:
    static constexpr const wchar_t* kContentsStream = L"Contents";

    // The non-delegating unknown: the object's own identity and reference count.
    struct InnerUnknown final : IUnknown {
        ActiveXControl* owner;
        explicit InnerUnknown(ActiveXControl* o) : owner(o) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
            return owner->InnerQueryInterface(iid, object);
        }
        STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&owner->refs_)); }
        STDMETHODIMP_(ULONG) Release() override {
            const LONG left = InterlockedDecrement(&owner->refs_);
            if (left == 0 && !owner->destroying_) owner->FinalRelease();
            return static_cast<ULONG>(left);
        }
    };

    Derived& derived() {
        return static_cast<Derived&>(*this);
    }

    HRESULT InnerQueryInterface(REFIID iid, void** object) {
        if (!object) return E_POINTER;
        *object = FindOwnInterface(iid);
        if (!*object) return E_NOINTERFACE;
        static_cast<IUnknown*>(*object)->AddRef();
        return S_OK;
    }

    void* FindOwnInterface(REFIID iid) {
        if (iid == IID_IUnknown) return static_cast<IUnknown*>(&inner_);
        if (iid == IID_IDispatch || iid == __uuidof(DualInterface)) return static_cast<DualInterface*>(this);
        if (iid == IID_IOleObject) return static_cast<IOleObject*>(this);
        if (iid == IID_IOleInPlaceObject || iid == IID_IOleWindow) return static_cast<IOleInPlaceObject*>(this);
        if (iid == IID_IOleInPlaceActiveObject) return static_cast<IOleInPlaceActiveObject*>(this);
        if (iid == IID_IOleControl) return static_cast<IOleControl*>(this);
        if (iid == IID_IViewObject || iid == IID_IViewObject2) return static_cast<IViewObject2*>(this);
        if (iid == IID_IPersist || iid == IID_IPersistStreamInit) return static_cast<IPersistStreamInit*>(this);
        if (iid == IID_IPersistStorage) return static_cast<IPersistStorage*>(this);
        if (iid == IID_IPersistPropertyBag) return static_cast<IPersistPropertyBag*>(this);
        if (iid == IID_IQuickActivate) return static_cast<IQuickActivate*>(this);
        if (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2)
            return static_cast<IProvideClassInfo2*>(this);
        if (iid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
        if (iid == IID_IObjectSafety) return static_cast<IObjectSafety*>(this);
        if (iid == IID_ISupportErrorInfo) return static_cast<ISupportErrorInfo*>(this);
        return derived().FindInterface(iid);
    }

    // Whether the object itself (not an aggregating outer object) answers iid.
    HRESULT Answers(REFIID iid) {
        return FindOwnInterface(iid) ? S_OK : E_NOINTERFACE;
    }

    // The last reference went: the window, the sites and the sinks go while the whole object
    // still exists (the window's messages reach Derived's hooks), then the object.
    void FinalRelease() {
        destroying_ = true;  // references taken and dropped during the teardown must not delete it again
        refs_ = 1;
        InPlaceDeactivate();
        if (hwnd_) DestroyWindow(hwnd_);
        eventsPoint_.Clear();
        propertyPoint_.Clear();
        clientSite_.reset();
        viewSink_.reset();
        adviseHolder_.reset();
        delete static_cast<Derived*>(this);
    }

    // DualInterface's type information (its dispatch side) with a reference for the caller,
    // loaded once from the module's first type library; IDispatch (DispatchPart) calls go
    // through its vtable side.
    HRESULT TypeInfoFor(REFIID, ITypeInfo** info) override {
        return DualTypeInfo(info);
    }
    HRESULT DualTypeInfo(ITypeInfo** info) {
        if (!dispatchInfo_) {
            const HRESULT hr = ModuleTypeInfo(1, __uuidof(DualInterface), dispatchInfo_.put());
            if (FAILED(hr)) return hr;
        }
        *info = ComPtr<ITypeInfo>(dispatchInfo_).release();
        return S_OK;
    }

    template <class Setter>
    HRESULT PutStock(DISPID id, Setter&& set) {
        return Guard([&]() -> HRESULT {
            if (FireOnRequestEdit(id) == S_FALSE) return S_FALSE;
            const HRESULT hr = set();
            if (FAILED(hr)) return hr;
            dirty_ = true;
            FireOnChanged(id);
            FireViewChange();
            return S_OK;
        });
    }

    static HRESULT GetText(const std::wstring& text, BSTR* out) {
        if (!out) return E_POINTER;
        *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    // put (not putref) takes a copy of a font, so later changes to the caller's font stay there.
    static HRESULT CloneFont(IFontDisp* value, ComPtr<IFontDisp>* stored) {
        if (!value) {
            stored->reset();
            return S_OK;
        }
        ComPtr<IFont> font;
        HRESULT hr = value->QueryInterface(IID_IFont, font.putVoid());
        if (FAILED(hr)) return hr;
        ComPtr<IFont> copy;
        hr = font->Clone(copy.put());
        if (FAILED(hr)) return hr;
        ComPtr<IFontDisp> dispatch;
        hr = copy.as(IID_IFontDisp, &dispatch);
        if (FAILED(hr)) return hr;
        *stored = std::move(dispatch);
        return S_OK;
    }
    static HRESULT SharePicture(IPictureDisp* value, ComPtr<IPictureDisp>* stored) {
        *stored = ComPtr<IPictureDisp>(value);
        return S_OK;
    }

    HRESULT Loaded(HRESULT hr) {
        if (FAILED(hr)) return hr;
        dirty_ = false;
        if (hwnd_) EnableWindow(hwnd_, stock_.enabled ? TRUE : FALSE);
        FireViewChange();
        return S_OK;
    }
    HRESULT Saved(HRESULT hr, BOOL clearDirty) {
        if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
        return hr;
    }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        HWND window = hwnd_;
        if (message == WM_CREATE) return SUCCEEDED(derived().OnCreate(window)) ? 0 : -1;
        if (message == WM_DESTROY) {
            derived().OnDestroy();
            return DefWindowProcW(window, message, wParam, lParam);
        }
        LRESULT result = 0;
        if (derived().ProcessMessage(message, wParam, lParam, &result)) return result;
        switch (message) {
            case WM_PAINT: {
                PaintDc paint(window);
                RECT client;
                GetClientRect(window, &client);
                derived().OnDraw(paint.get(), client);
                return 0;
            }
            case WM_SETFOCUS:
                NotifyFocus(TRUE);
                if (inPlaceActive_ && !uiActive_) UIActivate();
                break;
            case WM_KILLFOCUS: NotifyFocus(FALSE); break;
            case WM_MOUSEACTIVATE:
                if (inPlaceActive_ && !uiActive_) UIActivate();
                break;
            default: break;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void NotifyFocus(BOOL got) {
        ComPtr<IOleControlSite> site;
        if (clientSite_ && SUCCEEDED(clientSite_.as(IID_IOleControlSite, &site)) && site) site->OnFocus(got);
    }

    InnerUnknown inner_{this};
    IUnknown* outer_ = &inner_;  // the outer object's unknown when aggregated
    LONG refs_ = 1;
    bool destroying_ = false;

    StockProperties stock_;
    SIZEL extent_ = {kInitialExtent, kInitialExtent};
    RECT position_ = {};
    bool dirty_ = false;
    bool inPlaceActive_ = false;
    bool uiActive_ = false;
    bool clipped_ = false;
    int frozenEvents_ = 0;
    DWORD safety_ = 0;
    DWORD viewAdviseFlags_ = 0;

    ComPtr<IOleClientSite> clientSite_;
    ComPtr<IOleInPlaceSite> inPlaceSite_;
    ComPtr<IOleInPlaceFrame> frame_;
    ComPtr<IOleInPlaceUIWindow> document_;
    ComPtr<IAdviseSink> viewSink_;
    ComPtr<IOleAdviseHolder> adviseHolder_;
    ComPtr<ITypeInfo> dispatchInfo_;
    ConnectionPoint eventsPoint_;
    ConnectionPoint propertyPoint_;
};

}  // namespace kv
