#include "addin/composition/SimTaskPane.h"

#include <cstring>
#include <string_view>

#include "addin/base/shared/TextCut.h"
#include "addin/base/ui/WindowScale.h"
#include "addin/features/open/TemplateOpenWin.h"
#include "addin/features/update/LibraryEntry.h"
#include "addin/features/update/LibraryService.h"
#include "addin/widgets/pane/PaneKeys.h"
#include "platform/WinText.h"

namespace kv {
namespace {

// A narrow text from a caller: read up to the buffer size the add-in uses (250 bytes, so the
// cut can tell a whole last character from a split one), then cut to 249 bytes.
std::string CallerText(const CHAR* text) {
    if (!text) return std::string();
    return CutCp949(text, kNarrowTextBuffer, kNarrowTextMax);
}

}  // namespace

CSimTaskPane::CSimTaskPane() : actions_(this), panes_(actions_) {}

void CSimTaskPane::Actions::OpenTemplate(const std::string& url, const std::string& fileName, int32_t image1) {
    TemplateSearch& search = owner_->panes_.controller().search();
    OpenRequest request;
    request.application = search.application();
    request.paneKind = search.hostKind();
    request.url = url;
    request.fileName = fileName;
    request.image1 = image1;
    // A cancelled download opens nothing and writes nothing.
    OpenTemplateInHost(owner_->panes_.client(), request, &splash_);
}

void CSimTaskPane::Actions::ShowSplash() {
    HWND window = nullptr;
    owner_->GetWindow(&window);
    splash_.Show(window);
}

ExchangeProgress& CSimTaskPane::Actions::ShowDownloadSplash(const wchar_t* label) {
    HWND window = nullptr;
    owner_->GetWindow(&window);
    splash_.Show(window, label);
    return splash_;
}

int CSimTaskPane::Actions::RunPreview(const PreviewRequest& request) {
    // The popup's login and logout are the membership part's.
    PopupMembership login(owner_->panes_.config());
    const PopupContext context{owner_->panes_.config(), owner_->panes_.identity(), SystemShell(), login};
    CPreviewLayer popup(context, request);
    return popup.Run(::GetActiveWindow());
}

CSimTaskPane::~CSimTaskPane() = default;

STDMETHODIMP CSimTaskPane::TranslateAccelerator(LPMSG message) {
    if (!message) return E_POINTER;
    return Guard([&]() -> HRESULT {
        // Tab, the arrows and Space move through the pane's controls as in a dialog; Tab past
        // the last one is the container's, and where the container does not take it, the
        // focus wraps round.
        const FocusKey focusKey = FocusKeyOf(message->message, message->wParam, ::GetKeyState(VK_SHIFT) < 0);
        switch (panes_.OnFocusKey(focusKey, FocusEnds::Leave)) {
            case CPaneWindows::FocusMove::Done: return S_OK;
            case CPaneWindows::FocusMove::AtEnd:
                if (ControlSiteTranslateAccelerator(message) == S_OK) return S_OK;
                panes_.OnFocusKey(focusKey, FocusEnds::Wrap);
                return S_OK;
            case CPaneWindows::FocusMove::NotMine: break;
        }
        switch (DecidePaneKey(message->message, message->wParam)) {
            case PaneKey::Search: panes_.SearchFromKey(); return S_FALSE;
            case PaneKey::KeepInPane: return S_FALSE;
            case PaneKey::OfferToHost: break;
        }
        return ControlSiteTranslateAccelerator(message);
    });
}

STDMETHODIMP CSimTaskPane::put_SearchText(BSTR bstrSearchText, IDispatch* pApplication) {
    return Guard([&] {
        // A null BSTR is the empty text; conversion first, then the 249-byte cut.
        const std::wstring_view wide(bstrSearchText, SysStringLen(bstrSearchText));
        const std::string text = WideToCodePageLossy(CP_THREAD_ACP, wide);
        panes_.controller().PutSearchText(text, WrapDispatch(pApplication));
        return S_OK;
    });
}

STDMETHODIMP CSimTaskPane::put_Application(IDispatch* pApplication) {
    return Guard([&] {
        panes_.controller().PutApplication(WrapDispatch(pApplication));
        return S_OK;
    });
}

STDMETHODIMP CSimTaskPane::put_SearchList() {
    return Guard([&] {
        panes_.controller().PutSearchList();
        return S_OK;
    });
}

// The version check and the library download of the self-update, on the pane's own client.
// A failed fetch leaves the caller's buffer as it was.
STDMETHODIMP CSimTaskPane::get_version(CHAR* szVersion) {
    if (!szVersion) return S_OK;
    return Guard([&] {
        FetchNewestVersion(panes_.client(), szVersion);
        return S_OK;
    });
}

// S_FALSE (1) whenever the path does not end up holding the complete, checked library.
STDMETHODIMP CSimTaskPane::set_DownloadDll(CHAR* szLocalPath) {
    if (!szLocalPath || !*szLocalPath) return S_FALSE;
    const HRESULT hr = Guard([&] {
        // Paths live in 260-byte buffers: a longer text is no path of ours, never cut to one.
        const size_t length = ::strnlen(szLocalPath, MAX_PATH);
        if (length >= MAX_PATH) return S_FALSE;
        // Bytes that are no text of the code page would name some other file: refused.
        std::wstring path;
        if (!AnsiToWide(std::string_view(szLocalPath, length), &path) || path.empty()) return S_FALSE;
        // One download at a time; the splash serves the thread's messages while this one runs,
        // so the control is kept alive until it is over.
        PaneController& pane = panes_.controller();
        if (pane.busy()) return S_FALSE;
        PaneController::BusyScope busy(pane);
        const ComPtr<ISimTaskPane> keepAlive(this);
        ExchangeProgress& progress = actions_.ShowDownloadSplash(L"새 버전을 내려받는 중");
        const int result = DownloadLibraryTo(panes_.client(), path, &progress);
        actions_.CloseSplash();
        return result == 0 ? S_OK : S_FALSE;
    });
    return hr == S_OK ? S_OK : S_FALSE;
}

// Kept for the interface's layout; lReturn stays as the caller set it.
STDMETHODIMP CSimTaskPane::get_NewVersion(CHAR*, LONG*) {
    return S_OK;
}

STDMETHODIMP CSimTaskPane::get_LoginStatus(SHORT* nLoginStatus) {
    if (!nLoginStatus) return E_POINTER;
    *nLoginStatus = panes_.controller().LoginStatus();
    return S_OK;
}

STDMETHODIMP CSimTaskPane::put_SearchText2(CHAR* szText, IDispatch* pApplication) {
    return Guard([&] {
        panes_.controller().PutSearchText2(CallerText(szText), WrapDispatch(pApplication));
        return S_OK;
    });
}

STDMETHODIMP CSimTaskPane::put_SearchFileName(CHAR* szFileName) {
    return Guard([&] {
        panes_.controller().PutSearchFileName(CallerText(szFileName));
        return S_OK;
    });
}

HRESULT CSimTaskPane::OnCreate(HWND window) {
    return Guard([&] {
        panes_.OnCreate(window);
        return S_OK;
    });
}

void CSimTaskPane::OnDestroy() {
    Guard([&] {
        actions_.CancelDownload();
        panes_.OnDestroy();
        return S_OK;
    });
}

void CSimTaskPane::OnPositionChanged(const RECT& position) {
    // The children are placed in the control's own client area, which has the size of the
    // position rectangle (its origin is the container's business).
    Guard([&] {
        panes_.OnSize(position.right - position.left, position.bottom - position.top);
        return S_OK;
    });
}

bool CSimTaskPane::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == kWmDpiChanged || message == kWmDpiChangedAfterParent) {
        // The window's own DPI is read again (WM_DPICHANGED's wParam says the same for a
        // top-level window, and a child gets no number).
        Guard([&] {
            panes_.OnDpiChanged();
            return S_OK;
        });
        return false;
    }
    if (message == WM_SETTINGCHANGE || message == WM_SYSCOLORCHANGE || message == WM_THEMECHANGED) {
        Guard([&] {
            panes_.OnSystemColours();
            return S_OK;
        });
        return false;
    }
    if (message == WM_CTLCOLOREDIT) {
        // The search box's colours. The default processing would put the system's text colour
        // back, so the box gets the system's window brush from here.
        bool box = false;
        Guard([&] {
            box = panes_.OnEditColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
            return S_OK;
        });
        if (box) *result = reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        return box;
    }
    if (message == WM_SETFOCUS) {
        // Focus given to the pane (the container's F6, UI activation) is the search box's;
        // the framework's own handling follows.
        Guard([&] {
            panes_.OnControlFocus(reinterpret_cast<HWND>(wParam));
            return S_OK;
        });
        return false;
    }
    if (message != WM_COMMAND) return false;
    // An entry click may run a download whose splash serves the thread's messages; should the
    // container let the control go meanwhile, it lives on until the click is over.
    const ComPtr<ISimTaskPane> keepAlive(this);
    bool handled = false;
    Guard([&] {
        handled = panes_.OnCommand(wParam, lParam);
        return S_OK;
    });
    if (handled) *result = 0;
    return handled;
}

}  // namespace kv
