#include "addin/widgets/pane/MyEdit.h"

#include <string_view>

#include "addin/base/shared/TextCut.h"
#include "addin/base/ui/ResourceModule.h"
#include "addin/base/ui/WindowScale.h"
#include "addin/widgets/pane/PaneWindows.h"
#include "platform/WinText.h"

namespace kv {
namespace {

// The superclass: the system EDIT's procedure under our class name. Registered while a box
// exists, so an unloaded library leaves no class pointing into it.
WNDPROC g_editProc = nullptr;
int g_liveBoxes = 0;

LRESULT CALLBACK MyEditProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    return ::CallWindowProcW(g_editProc, window, message, wp, lp);
}

bool RegisterMyEdit() {
    if (g_liveBoxes > 0) return true;
    WNDCLASSEXW system{};
    system.cbSize = sizeof system;
    if (!::GetClassInfoExW(nullptr, L"EDIT", &system)) return false;
    g_editProc = system.lpfnWndProc;
    WNDCLASSEXW mine = system;
    mine.lpfnWndProc = MyEditProc;
    mine.hInstance = ResourceModule();
    mine.lpszClassName = CMyEdit::kClassName;
    mine.style &= ~CS_GLOBALCLASS;
    if (!::RegisterClassExW(&mine) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    return true;
}

void UnregisterMyEdit() {
    if (g_liveBoxes == 0) ::UnregisterClassW(CMyEdit::kClassName, ResourceModule());
}

// "굴림", 12 pixels high at 96 DPI, Hangul character set; the placeholder in italics.
UniqueFont BoxFont(bool entered, int dpi) {
    return CreateUiFont(12, entered ? 600 : FW_NORMAL, !entered, L"굴림", dpi);
}

}  // namespace

const wchar_t CMyEdit::kClassName[] = L"KvMyEdit";
const wchar_t CMyEdit::kPlaceholder[] = L"필요한 서식을 입력해 주세요";

CMyEdit::~CMyEdit() {
    Destroy();
}

bool CMyEdit::Create(HWND parent, int id, const RECT& rect) {
    Destroy();
    if (!RegisterMyEdit()) return false;
    edit_.reset(::CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ResourceModule(), nullptr));
    if (!edit_) {
        UnregisterMyEdit();
        return false;
    }
    ++g_liveBoxes;
    dpi_ = WindowDpi(edit_.get());
    if (entered_) {
        // What a caller put in before the window existed shows in it.
        SetStateFont(true);
        ::SetWindowTextW(edit_.get(), CodePageToWideLossy(CP_ACP, text_).c_str());
    } else {
        SetPlaceholder();
    }
    return true;
}

void CMyEdit::Destroy() {
    if (!edit_) return;
    // Keep what the box holds for a window made later.
    text_ = entered_ ? WindowText() : std::string();
    edit_.reset();
    font_.reset();
    --g_liveBoxes;
    UnregisterMyEdit();
}

void CMyEdit::SetStateFont(bool entered) {
    // The old font goes only after the box has the new one.
    UniqueFont font = BoxFont(entered, dpi_);
    if (edit_) ::SendMessageW(edit_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    font_ = std::move(font);
}

void CMyEdit::SetPlaceholder() {
    SetStateFont(false);
    entered_ = false;
    text_.clear();
    if (edit_) ::SetWindowTextW(edit_.get(), kPlaceholder);
}

void CMyEdit::OnFocusGained() {
    if (entered_) return;  // earlier text stays
    entered_ = true;
    SetStateFont(true);
    if (edit_) ::SetWindowTextW(edit_.get(), L"");
}

void CMyEdit::OnFocusLost() {
    if (!entered_) return;
    if (WindowText().empty()) SetPlaceholder();
}

void CMyEdit::SetDpi(int dpi) {
    if (dpi <= 0 || dpi == dpi_) return;
    dpi_ = dpi;
    if (edit_) SetStateFont(entered_);
}

void CMyEdit::OnColor(HDC dc) const {
    // Under high contrast the system's text colours: the box's background is the window brush.
    if (HighContrastOn()) {
        ::SetTextColor(dc, ::GetSysColor(entered_ ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        if (!entered_) ::SetBkMode(dc, TRANSPARENT);
        return;
    }
    ::SetTextColor(dc, entered_ ? RGB(0, 0, 0) : kPlaceholderColour);
    if (!entered_) ::SetBkMode(dc, TRANSPARENT);
}

std::string CMyEdit::WindowText() const {
    if (!edit_) return text_;
    wchar_t buffer[kNarrowTextBuffer] = {};
    const int n = ::GetWindowTextW(edit_.get(), buffer, static_cast<int>(kNarrowTextBuffer));
    const std::wstring_view wide(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    return CutCp949(WideToCodePageLossy(CP_THREAD_ACP, wide));
}

std::string CMyEdit::Text() {
    if (!entered_) return std::string();
    return WindowText();
}

void CMyEdit::SetEnteredText(const std::string& text) {
    text_ = CutCp949(text);
    entered_ = true;
    if (!edit_) return;
    SetStateFont(true);
    ::SetWindowTextW(edit_.get(), CodePageToWideLossy(CP_ACP, text_).c_str());
}

}  // namespace kv
