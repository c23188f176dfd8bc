// CCertDlg is the loading splash: a borderless picture window shown over the task pane while a
// template is fetched and opened on the same thread (dialog IDD_LOADING_SPLASH). It is painted
// once when it is shown, since the fetch that follows blocks the thread's messages.
#pragma once
#include <windows.h>

#include "addin/base/ui/DialogBase.h"
#include "addin/resources/resource.h"
#include "platform/WinHandles.h"

namespace kv {

// Centres window over owner (over the work area when owner is null or gone).
void CentreWindowOver(HWND window, HWND owner);

// The loading splash.
class CCertDlg : private DialogBase {
public:
    static constexpr int kDialog = IDD_LOADING_SPLASH;
    static constexpr int kBitmap = IDB_LOADING_SPLASH;
    // The size used when the bitmap's size cannot be read.
    static constexpr int kFallbackWidth = 255;
    static constexpr int kFallbackHeight = 180;

    // resources: the module holding the dialog and its bitmap (null: this library).
    explicit CCertDlg(HMODULE resources = nullptr);
    ~CCertDlg() override { Destroy(); }

    // Creates the splash modeless over owner, shows it and paints it before returning.
    bool Show(HWND owner);
    void Destroy();
    HWND hwnd() const { return window_.get(); }

private:
    INT_PTR OnMessage(UINT message, WPARAM wp, LPARAM lp) override;
    void OnInit();

    HMODULE resources_;
    HWND owner_ = nullptr;
    UniqueWindow window_;
    UniqueBrush brush_;
};

}  // namespace kv
