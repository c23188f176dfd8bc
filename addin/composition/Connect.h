// CConnect: the add-in object ("Tarnwick.Connect") that Word, Excel and PowerPoint load. It
// takes the connection and shutdown calls, hands out the ribbon and answers its callbacks,
// keeps one task pane per host window with CSimTaskPane inside, and hands the host's
// document-open events to HostEventHandler. Everything about templates is asked of the control.
//
// Each dispatch interface answers IDispatch from its own type information (DispatchPart). The
// ribbon's IDispatch is ICallbackInterface, whose Invoke falls back to _IDTExtensibility2's;
// the host events come through three separate sink objects, so an event id can never be taken
// for a member of the add-in's own interfaces (Word's DocumentOpen has the id of
// OnStartupComplete).
#pragma once
#include <windows.h>
#include <ocidl.h>

#include <cstdint>
#include <map>
#include <string>

#include "OfficeAddin_h.h"
#include "TarnwickLib_h.h"
#include "addin/composition/AddinServices.h"
#include "addin/features/service/Addresses.h"
#include "addin/features/service/Identity.h"
#include "platform/WinHandles.h"

namespace kv {

class ApplicationEventSink;

// A dispatch interface whose IDispatch half is answered from the type information of I (the
// dispatch description of the dual interface). The final class supplies the type information
// and the invocation once for all its parts.
template <class I>
class DispatchPart : public I {
protected:
    virtual HRESULT TypeInfoFor(REFIID iid, ITypeInfo** info) = 0;
    virtual HRESULT InvokeFor(REFIID iid, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception, UINT* argumentError) = 0;

public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return TypeInfoFor(__uuidof(I), info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        ComPtr<ITypeInfo> info;
        const HRESULT hr = TypeInfoFor(__uuidof(I), info.put());
        if (FAILED(hr)) return hr;
        return DispGetIDsOfNames(info.get(), names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override {
        return InvokeFor(__uuidof(I), id, flags, params, result, exception, argumentError);
    }
};

class CConnect final : public DispatchPart<IRibbonExtensibility>,
                       public DispatchPart<ICustomTaskPaneConsumer>,
                       public DispatchPart<_IDTExtensibility2>,
                       public DispatchPart<ICallbackInterface> {
public:
    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object);

    CConnect(UpdateTrigger& updates, MembershipUi& membership);

    // ---- IUnknown ----------------------------------------------------------------------------
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // ---- IRibbonExtensibility ------------------------------------------------------------------
    STDMETHODIMP GetCustomUI(BSTR RibbonID, BSTR* RibbonXml) override;

    // ---- ICustomTaskPaneConsumer -------------------------------------------------------------
    STDMETHODIMP CTPFactoryAvailable(ICTPFactory* CTPFactoryInst) override;

    // ---- _IDTExtensibility2 ------------------------------------------------------------------
    STDMETHODIMP OnConnection(IDispatch* Application, ext_ConnectMode ConnectMode, IDispatch* AddInInst,
                              SAFEARRAY** custom) override;
    STDMETHODIMP OnDisconnection(ext_DisconnectMode RemoveMode, SAFEARRAY** custom) override;
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY** custom) override;
    STDMETHODIMP OnStartupComplete(SAFEARRAY** custom) override;
    STDMETHODIMP OnBeginShutdown(SAFEARRAY** custom) override;

    // ---- ICallbackInterface (the ribbon callbacks) -------------------------------------------
    STDMETHODIMP changeSearchText(IDispatch* RibbonControl, BSTR strSearchText) override;
    STDMETHODIMP ButtonClicked(IDispatch* RibbonControl) override;
    STDMETHODIMP putVisiblePane(IDispatch* RibbonControl) override;
    STDMETHODIMP ButtonCert(IDispatch* RibbonControl) override;
    STDMETHODIMP ButtonPremium(IDispatch* RibbonControl) override;
    STDMETHODIMP ButtonHome(IDispatch* RibbonControl) override;
    STDMETHODIMP ButtonHelp(IDispatch* RibbonControl) override;
    STDMETHODIMP OnRibbonLoad(IUnknown* pRibbonUIUnk) override;
    STDMETHODIMP ButtonInfo(IDispatch* RibbonControl) override;
    STDMETHODIMP ButtonLogout(IDispatch* RibbonControl) override;
    STDMETHODIMP putVisiblePaneAllways(IDispatch* RibbonControl) override;
    STDMETHODIMP GetImageCert(IDispatch* RibbonControl, IPictureDisp** ppdispImage) override;
    STDMETHODIMP GetImageCustomButton(IDispatch* RibbonControl, IPictureDisp** ppdispImage) override;
    STDMETHODIMP GetImagePay(IDispatch* RibbonControl, IPictureDisp** ppdispImage) override;
    STDMETHODIMP GetImageHomepage(IDispatch* RibbonControl, IPictureDisp** ppdispImage) override;
    STDMETHODIMP GetImageHelp(IDispatch* RibbonControl, IPictureDisp** ppdispImage) override;
    STDMETHODIMP GetImageInfo(IDispatch* RibbonControl, IPictureDisp** ppdispImage) override;
    STDMETHODIMP GetImageSearchButton(IDispatch* RibbonControl, IPictureDisp** ppdispImage) override;
    STDMETHODIMP CheckBoxVisible(IDispatch* RibbonControl, BOOL bPressed) override;

    // A document-open event of the running host, from its sink (Part of the host events).
    void HostEventHandler(DISPID eventId);

private:
    ~CConnect();

    HRESULT TypeInfoFor(REFIID iid, ITypeInfo** info) override;
    HRESULT InvokeFor(REFIID iid, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argumentError) override;

    using PaneTable = std::map<int32_t, ComPtr<_CustomTaskPane>>;

    void ConnectSinks();
    void DisconnectSinks();
    // OnBeginShutdown: the "visible" value from the pane of the active window.
    void SavePaneVisibility();
    // The key of the thread's active window; of PowerPoint's application window where noted.
    static int32_t ActiveWindowKey();
    bool PowerPointWindowKey(IDispatch* application, int32_t* key);
    // FindPane: whether the key has an entry; *pane is its pane (null for an empty entry).
    bool FindPane(int32_t key, ComPtr<_CustomTaskPane>* pane) const;
    HRESULT CreatePane(int32_t key, ComPtr<_CustomTaskPane>* pane);
    // The pane's control through its content control, or null.
    static ComPtr<ISimTaskPane> ControlOf(_CustomTaskPane* pane);
    // Width 300 and shown unless already visible.
    static void ShowPane(_CustomTaskPane* pane);
    ComPtr<_CustomTaskPane> ActivePane() const;
    void SearchRibbonText(ISimTaskPane* control);
    void OpenServicePage(int uflag);
    void SendFileNameLog(ProgramKind program);
    void ReturnFocus(HWND window);
    // Reads the caption (UTF-16, null counts as empty) into OpenedDocumentName-sized text.
    static bool ReadCaption(IDispatch* object, std::string* caption);

    LONG refs_ = 1;
    bool connected_ = false;  // between OnConnection and OnDisconnection
    UpdateTrigger& updates_;
    MembershipUi& membership_;
    ComPtr<IRibbonUI> ribbon_;
    ComPtr<ICTPFactory> paneFactory_;
    ComPtr<IDispatch> application_;
    ComPtr<IDispatch> addinInstance_;
    ComPtr<ApplicationEventSink> sinks_[3];  // Word, Excel, PowerPoint: the order they are connected in
    ProgramKind programKind_ = ProgramKind::None;
    int32_t hostMajorVersion_ = 0;
    Identity identity_;
    PaneTable panes_;
    std::string openedDocumentName_;
    std::string ribbonSearchText_;
    ComPtr<ITypeInfo> callbackInfo_;
    ComPtr<ITypeLib> officeLib_;
};

}  // namespace kv
