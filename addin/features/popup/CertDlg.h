// CCertDlg is the loading splash: a borderless picture window shown over the task pane while a
// template or the new library is fetched on the same thread (dialog IDD_LOADING_SPLASH). The
// fetch hands it the thread between its reads (ExchangeProgress): the splash then shows how
// far the download is, serves its own messages and the thread's painting, and answers Escape
// or its cancel button by stopping the download.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "addin/base/ui/DialogBase.h"
#include "addin/features/popup/SplashProgress.h"
#include "addin/features/service/ExchangeProgress.h"
#include "addin/resources/resource.h"
#include "platform/WinHandles.h"

namespace kv {

// Centres window over owner (over the work area when owner is null or gone).
void CentreWindowOver(HWND window, HWND owner);

// The loading splash.
class CCertDlg : private DialogBase, public ExchangeProgress {
public:
    static constexpr int kDialog = IDD_LOADING_SPLASH;
    static constexpr int kBitmap = IDB_LOADING_SPLASH;
    // The 96-DPI size used when the bitmap's size cannot be read.
    static constexpr int kFallbackWidth = 255;
    static constexpr int kFallbackHeight = 180;
    // The cancel button the splash adds to itself once a download reports.
    static constexpr int kCancelButton = IDCANCEL;

    // resources: the module holding the dialog and its bitmap (null: this library).
    explicit CCertDlg(HMODULE resources = nullptr);
    ~CCertDlg() override { Destroy(); }

    // Creates the splash modeless over owner, shows it and paints it before returning; label is
    // what the progress line says is being fetched. Clears an earlier cancel.
    bool Show(HWND owner, const wchar_t* label = nullptr);
    // Closes the window; messages the pump held back (a host's close, a quit) are posted again,
    // now that the download is off the stack.
    void Destroy();
    HWND hwnd() const { return window_.get(); }

    // Stops the download at its next report (Escape, the button, the pane going away).
    void Cancel() { cancelled_ = true; }
    bool cancelled() const { return cancelled_; }

    // ExchangeProgress: keeps the counts, repaints the progress line and serves the thread's
    // messages when a pump is due; false once cancelled.
    bool Continue(size_t received, long long total) override;

private:
    INT_PTR OnMessage(UINT message, WPARAM wp, LPARAM lp) override;
    void OnInit();
    void Layout(int dpi);
    void Paint(HDC dc);
    void PaintProgress(HDC dc, const RECT& strip);
    void StartShowingProgress();
    void PumpMessages();
    RECT StripRect() const;

    HMODULE resources_;
    HWND owner_ = nullptr;
    UniqueWindow window_;
    UniqueBitmap picture_;  // the copy nearest the window's DPI (the 100% one meanwhile)
    SIZE picture96_{kFallbackWidth, kFallbackHeight};
    UniqueFont font_;
    HWND cancelButton_ = nullptr;  // a child: goes with the window
    int dpi_ = 96;
    std::wstring label_;

    bool cancelled_ = false;
    bool reporting_ = false;  // a download has reported: the progress line is shown
    size_t received_ = 0;
    long long total_ = -1;
    DWORD startTick_ = 0;
    PumpSchedule schedule_;
    std::vector<MSG> heldBack_;
};

}  // namespace kv
