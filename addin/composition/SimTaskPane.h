// CSimTaskPane: the task-pane control ("KestrovaSE.SimTaskPane") on our ActiveX framework. The
// framework does everything a container needs of a control; this class adds ISimTaskPane's own
// methods and hands its window's life to CPaneWindows (children, layout, commands).
#pragma once
#include <windows.h>

#include "TarnwickLib_h.h"
#include "addin/base/control/ActiveXControl.h"
#include "addin/features/membership/MembershipWin.h"
#include "addin/features/popup/CertDlg.h"
#include "addin/features/popup/PreviewLayer.h"
#include "addin/widgets/pane/PaneWindows.h"

namespace kv {

class CSimTaskPane : public ActiveXControl<CSimTaskPane, ISimTaskPane> {
public:
    static const CLSID& ClassId() { return CLSID_SimTaskPane; }
    static const IID& EventsIid() { return DIID__ISimTaskPaneEvents; }
    static constexpr DWORD kMiscStatus = kControlMiscStatus;

    CSimTaskPane();
    ~CSimTaskPane() override;

    // ---- ISimTaskPane's own methods (dispatch ids 1 to 9) ------------------------------------
    STDMETHODIMP put_SearchText(BSTR bstrSearchText, IDispatch* pApplication) override;
    STDMETHODIMP put_Application(IDispatch* pApplication) override;
    STDMETHODIMP put_SearchList() override;
    STDMETHODIMP get_version(CHAR* szVersion) override;
    STDMETHODIMP set_DownloadDll(CHAR* szLocalPath) override;
    STDMETHODIMP get_NewVersion(CHAR* szLocalPath, LONG* lReturn) override;
    STDMETHODIMP get_LoginStatus(SHORT* nLoginStatus) override;
    STDMETHODIMP put_SearchText2(CHAR* szText, IDispatch* pApplication) override;
    STDMETHODIMP put_SearchFileName(CHAR* szFileName) override;

    // ---- Framework hooks ---------------------------------------------------------------------
    HRESULT OnCreate(HWND window);
    void OnDestroy();
    void OnPositionChanged(const RECT& position);
    bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // The control draws nothing itself: all it shows are its child windows.
    void OnDraw(HDC, const RECT&) {}

    // The keys the container offers: Tab, Shift+Tab, the arrows in the list and Space on a
    // button move the focus or click (translated); Enter searches and is reported not
    // translated, the other navigation keys stay with the pane, every other key is the
    // container's to translate.
    STDMETHODIMP TranslateAccelerator(LPMSG message) override;

private:
    // Header clicks, the search box's focus and the search button ask the container for
    // activation; an entry opens its template in the host (addin/open) behind the loading
    // splash, which shows the download's progress and can cancel it, or runs the preview popup.
    class Actions final : public PaneActions {
    public:
        explicit Actions(CSimTaskPane* owner) : owner_(owner) {}
        void ShowSplash() override;
        void CloseSplash() override { splash_.Destroy(); }
        void RequestUiActivation() override { owner_->UIActivate(); }
        void RequestInPlaceActivation() override { owner_->InPlaceActivate(OLEIVERB_INPLACEACTIVATE); }
        void OpenTemplate(const std::string& url, const std::string& fileName, int32_t image1) override;
        int RunPreview(const PreviewRequest& request) override;
        // Shows the splash over the control for a download that reports to it.
        ExchangeProgress& ShowDownloadSplash(const wchar_t* label);
        // The pane goes away: a running download stops at its next report.
        void CancelDownload() { splash_.Cancel(); }

    private:
        CSimTaskPane* owner_;
        CCertDlg splash_;
    };

    Actions actions_;
    CPaneWindows panes_;
};

}  // namespace kv
