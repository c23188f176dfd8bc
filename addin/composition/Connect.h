// CConnect: the add-in object ("Tarnwick.Connect") that Word, Excel and PowerPoint load. It
// takes the connection and shutdown calls, hands out the ribbon and answers its callbacks,
// keeps one task pane per host window with CSimTaskPane inside, and hands the host's
// document-open events on. The decisions are AddinController's; this object adapts the host's
// COM calls to it and implements its host, pane and action interfaces over the real host.
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
#include <string>

#include "OfficeAddin_h.h"
#include "TarnwickLib_h.h"
#include "addin/base/com/ComObject.h"
#include "addin/base/com/TypeInfoDispatch.h"
#include "addin/base/host/ApplicationEventSink.h"
#include "addin/composition/AddinController.h"
#include "addin/composition/AddinServices.h"
#include "platform/WinHandles.h"

namespace kv {

// The COM add-in object: the host's entry point into the library.
class CConnect final
    : public ComObject<CConnect, DispatchPart<IRibbonExtensibility>, DispatchPart<ICustomTaskPaneConsumer>,
                       DispatchPart<_IDTExtensibility2>, DispatchPart<ICallbackInterface>>,
      private ApplicationEventReceiver,
      private AddinHost,
      private AddinActions,
      private PaneFactory {
public:
    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object);
    static const InterfaceEntry* Interfaces();

    CConnect(UpdateTrigger& updates, MembershipUi& membership);

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

    // ---- ICallbackInterface (the ribbon callbacks, RibbonCallbacks.cpp) -------------------------
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

    // Text in the thread's code page, cut to the 249 bytes of a 250-byte buffer on a whole
    // character.
    static std::string NarrowText(const wchar_t* text, UINT length);

private:
    ~CConnect() override;

    HRESULT TypeInfoFor(REFIID iid, ITypeInfo** info) override;
    HRESULT InvokeFor(REFIID iid, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                      UINT* argumentError) override;

    void ConnectSinks();
    void DisconnectSinks();

    // ---- ApplicationEventReceiver: the document-open event of the sink's own host ---------------
    void OnApplicationEvent(REFIID eventInterface, DISPID id, const DISPPARAMS* params) override;

    // ---- AddinHost -----------------------------------------------------------------------------
    int32_t ActiveWindowKey() override;
    bool ApplicationWindowKey(int32_t* key) override;
    HostStatus ProbeApplicationWindow(int32_t* key) override;
    bool ReadOpenedDocument(ProgramKind program, OpenedDocument* document) override;
    void ReturnFocus(int32_t windowKey) override;

    // ---- AddinActions --------------------------------------------------------------------------
    void ShowLogin(int16_t loginLevel) override;
    void ShowAbout() override;
    void OpenServicePage(int uflag, const Identity& identity) override;
    void Connected() override;
    void Leaving() override;

    // ---- PaneFactory ---------------------------------------------------------------------------
    HostStatus CreatePane(std::shared_ptr<AddinPane>* pane) override;

    UpdateTrigger& updates_;
    MembershipUi& membership_;
    LibraryLogSender log_;
    ComPtr<IRibbonUI> ribbon_;
    ComPtr<ICTPFactory> paneFactory_;
    ComPtr<IDispatch> application_;
    ComPtr<IDispatch> addinInstance_;
    ComPtr<ApplicationEventSink> sinks_[3];  // Word, Excel, PowerPoint: the order they are connected in
    // The type information of the four dispatch interfaces, loaded at first use.
    ComPtr<ITypeInfo> callbackInfo_;
    ComPtr<ITypeInfo> extensibilityInfo_;
    ComPtr<ITypeInfo> ribbonInfo_;
    ComPtr<ITypeInfo> paneConsumerInfo_;
    AddinController controller_;
};

}  // namespace kv
