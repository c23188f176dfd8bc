#include "addin/features/popup/CertDlg.h"

#include <cstdlib>

#include "addin/base/ui/ResourceModule.h"
#include "addin/base/ui/WindowScale.h"

namespace kv {

namespace {

const wchar_t kFontFace[] = L"돋움";
const wchar_t kDefaultLabel[] = L"서식을 내려받는 중";
const wchar_t kCancelText[] = L"취소";

// The progress line along the picture's foot, in 96-DPI pixels.
constexpr int kStripHeight = 40;
constexpr int kMargin = 8;
constexpr int kTextTop = 5;
constexpr int kTextHeight = 16;
constexpr int kBarTop = 25;
constexpr int kBarHeight = 8;
constexpr int kButtonWidth = 48;
constexpr int kButtonHeight = 24;

// WM_DPICHANGED, which older headers lack.
constexpr UINT kDpiChanged = 0x02E0;

// Keyboard and mouse input: while a download runs it is for the splash alone, as behind a
// modal dialog; what the user does to the pane or the host waits for nothing and is dropped.
bool IsInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

// Messages that end windows or the thread's loop: dispatched in the middle of a download they
// would free what the download's callers still use, so they wait until it is off the stack.
bool EndsSomething(const MSG& msg) {
    return msg.message == WM_QUIT || msg.message == WM_CLOSE ||
           (msg.message == WM_SYSCOMMAND && (msg.wParam & 0xFFF0) == SC_CLOSE);
}

COLORREF Colour(bool highContrast, int system, COLORREF own) {
    return highContrast ? ::GetSysColor(system) : own;
}

void Fill(HDC dc, const RECT& r, COLORREF colour) {
    ::SetDCBrushColor(dc, colour);
    ::FillRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
}

void Frame(HDC dc, const RECT& r, COLORREF colour) {
    ::SetDCBrushColor(dc, colour);
    ::FrameRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
}

std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

}  // namespace

void CentreWindowOver(HWND window, HWND owner) {
    RECT mine{}, over{};
    ::GetWindowRect(window, &mine);
    if (!owner || !::GetWindowRect(owner, &over)) ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    const int w = mine.right - mine.left, h = mine.bottom - mine.top;
    const int x = over.left + ((over.right - over.left) - w) / 2;
    const int y = over.top + ((over.bottom - over.top) - h) / 2;
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

CCertDlg::CCertDlg(HMODULE resources) : resources_(ResourceModule(resources)) {}

bool CCertDlg::Show(HWND owner, const wchar_t* label) {
    Destroy();
    owner_ = owner;
    label_ = label ? label : kDefaultLabel;
    cancelled_ = false;
    reporting_ = false;
    received_ = 0;
    total_ = -1;
    schedule_ = PumpSchedule();
    window_.reset(CreateModeless(resources_, kDialog, owner));
    if (!window_) return false;
    ::ShowWindow(window_.get(), SW_SHOWNOACTIVATE);
    // Painted now: the download's first report may be a while away (connecting).
    ::UpdateWindow(window_.get());
    return true;
}

void CCertDlg::Destroy() {
    window_.reset();
    cancelButton_ = nullptr;
    picture_.reset();
    font_.reset();
    reporting_ = false;
    std::vector<MSG> held;
    held.swap(heldBack_);
    for (const MSG& msg : held) {
        if (msg.message == WM_QUIT)
            ::PostQuitMessage(static_cast<int>(msg.wParam));
        else
            ::PostMessageW(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    }
}

void CCertDlg::OnInit() {
    // The picture's 96-DPI size is its 100% copy's.
    UniqueBitmap plain(
        static_cast<HBITMAP>(::LoadImageW(resources_, MAKEINTRESOURCEW(kBitmap), IMAGE_BITMAP, 0, 0, 0)));
    BITMAP info{};
    if (plain && ::GetObjectW(plain.get(), sizeof info, &info) == sizeof info && info.bmWidth > 0 &&
        info.bmHeight > 0) {
        picture96_ = {info.bmWidth, std::abs(info.bmHeight)};
    }
    Layout(WindowDpi(dialog_));
    CentreWindowOver(dialog_, owner_);
}

void CCertDlg::Layout(int dpi) {
    dpi_ = dpi;
    picture_.reset(static_cast<HBITMAP>(LoadPictureForDpi(resources_, kBitmap, IMAGE_BITMAP, dpi)));
    font_ = CreateUiFont(12, FW_NORMAL, false, kFontFace, dpi);
    ::SetWindowPos(dialog_, nullptr, 0, 0, ScalePx(picture96_.cx, dpi), ScalePx(picture96_.cy, dpi),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (cancelButton_) {
        const RECT strip = StripRect();
        const int w = ScalePx(kButtonWidth, dpi), h = ScalePx(kButtonHeight, dpi);
        ::SetWindowPos(cancelButton_, nullptr, strip.right - ScalePx(kMargin, dpi) - w,
                       strip.top + (strip.bottom - strip.top - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(cancelButton_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    }
    ::InvalidateRect(dialog_, nullptr, FALSE);
}

RECT CCertDlg::StripRect() const {
    RECT client{};
    if (dialog_) ::GetClientRect(dialog_, &client);
    client.top = client.bottom - ScalePx(kStripHeight, dpi_);
    if (client.top < 0) client.top = 0;
    return client;
}

void CCertDlg::StartShowingProgress() {
    reporting_ = true;
    startTick_ = ::GetTickCount();
    cancelButton_ =
        ::CreateWindowExW(0, L"BUTTON", kCancelText, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
                          dialog_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCancelButton)), nullptr, nullptr);
    Layout(dpi_);
}

void CCertDlg::Paint(HDC dc) {
    RECT client{};
    ::GetClientRect(dialog_, &client);
    const int w = client.right, h = client.bottom;
    // Drawn off-screen first, so the moving bar does not flicker.
    UniqueMemoryDc buffer(::CreateCompatibleDC(dc));
    UniqueBitmap canvas(::CreateCompatibleBitmap(dc, w > 0 ? w : 1, h > 0 ? h : 1));
    if (!buffer || !canvas) return;
    SelectedObject canvasIn(buffer.get(), canvas.get());
    Fill(buffer.get(), client, ::GetSysColor(COLOR_WINDOW));
    BITMAP info{};
    if (picture_ && ::GetObjectW(picture_.get(), sizeof info, &info) == sizeof info) {
        UniqueMemoryDc source(::CreateCompatibleDC(dc));
        if (source) {
            SelectedObject pictureIn(source.get(), picture_.get());
            const int pw = info.bmWidth, ph = std::abs(info.bmHeight);
            if (pw == w && ph == h) {
                ::BitBlt(buffer.get(), 0, 0, w, h, source.get(), 0, 0, SRCCOPY);
            } else {
                // The 100% copy stands in until a copy for this DPI exists.
                ::SetStretchBltMode(buffer.get(), HALFTONE);
                ::SetBrushOrgEx(buffer.get(), 0, 0, nullptr);
                ::StretchBlt(buffer.get(), 0, 0, w, h, source.get(), 0, 0, pw, ph, SRCCOPY);
            }
        }
    }
    if (reporting_) PaintProgress(buffer.get(), StripRect());
    ::BitBlt(dc, 0, 0, w, h, buffer.get(), 0, 0, SRCCOPY);
}

void CCertDlg::PaintProgress(HDC dc, const RECT& strip) {
    const bool hc = HighContrastOn();
    const auto px = [this](int v) { return ScalePx(v, dpi_); };
    Fill(dc, strip, Colour(hc, COLOR_WINDOW, RGB(250, 250, 250)));
    const COLORREF line = Colour(hc, COLOR_WINDOWTEXT, RGB(160, 160, 160));
    Fill(dc, RECT{strip.left, strip.top, strip.right, strip.top + 1}, line);

    const int right = strip.right - px(kMargin) - px(kButtonWidth) - px(kMargin);
    RECT text{strip.left + px(kMargin), strip.top + px(kTextTop), right, strip.top + px(kTextTop + kTextHeight)};
    {
        SavedDcState saved(dc);
        SelectedObject fontIn(dc, font_.get());
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, Colour(hc, COLOR_WINDOWTEXT, RGB(51, 51, 51)));
        // The counts matter more than the label: the label goes when both do not fit.
        const std::wstring counts = Widen(ProgressText(received_, total_));
        std::wstring line1 = label_ + L"  " + counts;
        SIZE extent{};
        if (::GetTextExtentPoint32W(dc, line1.c_str(), static_cast<int>(line1.size()), &extent) &&
            extent.cx > text.right - text.left)
            line1 = counts;
        ::DrawTextW(dc, line1.c_str(), static_cast<int>(line1.size()), &text,
                    DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }

    RECT bar{strip.left + px(kMargin), strip.top + px(kBarTop), right, strip.top + px(kBarTop + kBarHeight)};
    if (bar.right <= bar.left + 2) return;
    Frame(dc, bar, line);
    RECT inside{bar.left + 1, bar.top + 1, bar.right - 1, bar.bottom - 1};
    const int track = inside.right - inside.left;
    const COLORREF fill = Colour(hc, COLOR_HIGHLIGHT, RGB(41, 128, 214));
    const int percent = ProgressPercent(received_, total_);
    if (percent >= 0) {
        inside.right = inside.left + track * percent / 100;
    } else {
        // No length: a block that keeps moving says the download is alive.
        const int block = track / 4;
        inside.left += MarqueeOffset(static_cast<int64_t>(::GetTickCount() - startTick_), track, block);
        inside.right = inside.left + block;
    }
    if (inside.right > inside.left) Fill(dc, inside, fill);
}

bool CCertDlg::Continue(size_t received, long long total) {
    received_ = received;
    total_ = total;
    if (!window_ || cancelled_) return !cancelled_;
    if (!reporting_) StartShowingProgress();
    if (schedule_.Due(static_cast<int64_t>(::GetTickCount64()))) {
        const RECT strip = StripRect();
        ::InvalidateRect(window_.get(), &strip, FALSE);
        PumpMessages();
    }
    return !cancelled_;
}

void CCertDlg::PumpMessages() {
    const ULONGLONG start = ::GetTickCount64();
    MSG msg;
    for (int n = 0; n < kPumpMaxMessages && window_; ++n) {
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) break;
        HWND splash = window_.get();
        const bool ours = msg.hwnd == splash || ::IsChild(splash, msg.hwnd);
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            Cancel();
            continue;
        }
        if (!ours && EndsSomething(msg)) {
            heldBack_.push_back(msg);
            Cancel();
            if (msg.message == WM_QUIT) break;
            continue;
        }
        if (!ours && IsInput(msg.message)) continue;
        if (ours && ::IsDialogMessageW(splash, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
        if (::GetTickCount64() - start >= static_cast<ULONGLONG>(kPumpBudgetMs)) break;
    }
    // The progress line is painted now even when other messages took the budget.
    if (window_) ::UpdateWindow(window_.get());
}

INT_PTR CCertDlg::OnMessage(UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_INITDIALOG: OnInit(); return TRUE;
        case WM_ERASEBKGND:
            // Everything is painted in WM_PAINT, off-screen first.
            ::SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, 1);
            return TRUE;
        case WM_PAINT: {
            PaintDc paint(dialog_);
            if (paint.get()) Paint(paint.get());
            return TRUE;
        }
        case kDpiChanged: {
            Layout(LOWORD(wp));
            if (const RECT* suggested = reinterpret_cast<const RECT*>(lp))
                ::SetWindowPos(dialog_, nullptr, suggested->left, suggested->top, 0, 0,
                               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return TRUE;
        }
        case WM_DESTROY:
            // Gone with its owner (the pane closing) while a download reports: the download
            // stops too, rather than run on behind no window.
            if (reporting_) Cancel();
            return FALSE;
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
            // High contrast switched on or off: the next paint takes the colours it needs.
            ::InvalidateRect(dialog_, nullptr, FALSE);
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
                // While a download reports, its owner closes the splash once it has stopped.
                if (reporting_) {
                    if (LOWORD(wp) == IDCANCEL) Cancel();
                } else {
                    Destroy();
                }
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

}  // namespace kv
