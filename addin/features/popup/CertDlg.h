// CCertDlg: the loading splash (dialog 135), a borderless picture window shown over the task
// pane while a template is fetched and opened on the same thread. It is painted once when it
// is shown, since the fetch that follows blocks the thread's messages.
#pragma once
#include <windows.h>

#include "platform/WinHandles.h"

namespace kv {

// Centres window over owner (over the work area when owner is null or gone).
void CentreWindowOver(HWND window, HWND owner);

class CCertDlg {
public:
    static constexpr int kDialog = 135;
    static constexpr int kBitmap = 273;
    // The size used when the bitmap's size cannot be read.
    static constexpr int kFallbackWidth = 255;
    static constexpr int kFallbackHeight = 180;

    // resources: the module holding dialog 135 and bitmap 273 (null: this library).
    explicit CCertDlg(HMODULE resources = nullptr);
    ~CCertDlg() { Destroy(); }
    CCertDlg(const CCertDlg&) = delete;
    CCertDlg& operator=(const CCertDlg&) = delete;

    // Creates the splash modeless over owner, shows it and paints it before returning.
    bool Show(HWND owner);
    void Destroy();
    HWND hwnd() const { return window_.get(); }

private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    void OnInit(HWND dialog);

    HMODULE resources_;
    HWND owner_ = nullptr;
    UniqueWindow window_;
    UniqueBrush brush_;
};

}  // namespace kv
