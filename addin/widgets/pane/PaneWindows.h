// The task pane's windows and the services behind them: the result list, the search box and
// search button, the banner button, the service client and the host dispatch layer, around one
// PaneController. CSimTaskPane (SimTaskPane.h) owns one and feeds it its window's life: create,
// size, commands, destroy.
#pragma once
#include <windows.h>

#include <string>

#include "addin/base/host/HostDispatch.h"
#include "addin/base/ui/ShadeButtonST.h"
#include "addin/features/service/UsageLog.h"
#include "addin/widgets/pane/MyEdit.h"
#include "addin/widgets/pane/PaneController.h"
#include "addin/widgets/pane/PaneKeys.h"
#include "addin/widgets/pane/TaskPaneListWnd.h"
#include "platform/WinHandles.h"

namespace kv {

// The process-wide documents folder, stored when a pane's window is created (the last host's
// templates clean-up uses it). Empty until then.
std::wstring PaneDocumentsFolder();

class CPaneWindows {
public:
    explicit CPaneWindows(PaneActions& actions);
    CPaneWindows(const CPaneWindows&) = delete;
    CPaneWindows& operator=(const CPaneWindows&) = delete;
    ~CPaneWindows();

    PaneController& controller() { return controller_; }
    // The pane's service client; opening a template downloads on its TemplateFile slot.
    ServiceClient& client() { return client_; }
    const ServiceConfig& config() const { return config_; }
    const Identity& identity() const { return identity_; }

    // The control's window exists: the children in their order, the banner and the login level.
    void OnCreate(HWND control);
    void OnDestroy();
    // The control's client size changed (in its pixels: every size is scaled to its DPI).
    void OnSize(int width, int height);
    // The control's DPI changed (WM_DPICHANGED, or WM_DPICHANGED_AFTERPARENT for the child it
    // is in a host): fonts and pictures for the new DPI, then the layout.
    void OnDpiChanged();
    // The system's colours or settings changed (high contrast on or off): everything redraws.
    void OnSystemColours();
    // WM_COMMAND from a child (also those the list passes on); true when handled. The search
    // box's focus notifications also ask the container for activation (keyboard input).
    bool OnCommand(WPARAM wp, LPARAM lp);
    // WM_CTLCOLOREDIT: true when window is the search box (its colours are then set in dc).
    bool OnEditColor(HDC dc, HWND window);
    // Enter in the pane: the search button's search.
    void SearchFromKey() { controller_.OnCommand(kIdSearchButton); }

    HWND listWindow() const { return list_.hwnd(); }

    // A focus key offered by the container while the focus is in the pane.
    enum class FocusMove {
        NotMine,  // the focused window or the container handles it
        Done,     // moved, activated, or kept at the list's end
        AtEnd,    // Tab past the last control (Shift+Tab before the first), with ends Leave
    };
    FocusMove OnFocusKey(FocusKey key, FocusEnds ends);
    // The control got the focus from outside the pane: it goes on to the search box.
    void OnControlFocus(HWND previous);

private:
    HWND StopWindow(int id) const;
    void AttachAccessibility();

    ServiceConfig config_;
    ServiceClient client_;
    ServiceLogSender sender_;
    DispatchEnvironment hosts_;
    Identity identity_;
    PaneActions& actions_;
    CMyEdit box_;
    PaneController controller_;
    CTaskPaneListWnd list_;
    CShadeButtonST searchButton_;
    CShadeButtonST banner_;
    HWND control_ = nullptr;
    int bannerWidth_ = -1;
    int bannerHeight_ = -1;
    int buttonWidth_ = -1;
    int buttonHeight_ = -1;
};

}  // namespace kv
