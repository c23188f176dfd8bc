#include "addin/widgets/pane/TaskPaneListWnd.h"

#include <commctrl.h>

#include <algorithm>

#include "addin/base/ui/ResourceModule.h"
#include "addin/base/ui/WindowScale.h"
#include "addin/widgets/pane/PaneKeys.h"

namespace kv {
namespace {

constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);

// Index of a button among the 33, in the order of kListChildIds without the separators.
int ButtonIndex(int id) {
    int index = 0;
    for (int childId : kListChildIds) {
        if (childId == kIdPicksSeparator || childId == kIdResultsSeparator) continue;
        if (childId == id) return index;
        ++index;
    }
    return -1;
}

}  // namespace

CTaskPaneListWnd::~CTaskPaneListWnd() {
    // The window goes first, while the button objects that subclass its children still live.
    titleTips_.reset();
    owned_.reset();
}

bool CTaskPaneListWnd::Create(HWND parent, HMODULE module) {
    if (dialog_ || !parent) return false;
    parent_ = parent;
    HWND dialog = CreateModeless(ResourceModule(module), kListDialogTemplate, parent);
    if (!dialog) return false;
    owned_.reset(dialog);
    return true;
}

CShadeButtonST* CTaskPaneListWnd::Button(int id) {
    const int index = ButtonIndex(id);
    return index < 0 ? nullptr : &buttons_[index];
}

void CTaskPaneListWnd::LoadSeparatorBrush() {
    // The pattern brush keeps its own copy of the pixels; the bitmap can go at once.
    UniqueBitmap pattern(static_cast<HBITMAP>(
        LoadPictureForDpi(ResourceModule(), IDB_LIST_SEPARATOR, IMAGE_BITMAP, dpi_, LR_DEFAULTCOLOR)));
    if (pattern) dotted_.reset(::CreatePatternBrush(pattern.get()));
}

HBRUSH CTaskPaneListWnd::Background() const {
    return HighContrastOn() ? ::GetSysColorBrush(COLOR_WINDOW) : white_.get();
}

HBRUSH CTaskPaneListWnd::SeparatorBrush() const {
    if (HighContrastOn()) return ::GetSysColorBrush(COLOR_GRAYTEXT);
    return dotted_ ? dotted_.get() : white_.get();
}

void CTaskPaneListWnd::OnDpiChanged() {
    const int dpi = WindowDpi(dialog_);
    if (dpi == dpi_) return;
    dpi_ = dpi;
    LoadSeparatorBrush();
    for (CShadeButtonST& button : buttons_) button.SetDpi(dpi);
    // Every shade picture is made again for the new sizes.
    for (Applied& applied : applied_) applied.width = applied.height = -1;
    Layout();
}

void CTaskPaneListWnd::OnInitDialog() {
    state_ = ListState();
    dpi_ = WindowDpi(dialog_);
    white_.reset(::CreateSolidBrush(kWhite));
    LoadSeparatorBrush();
    for (int id : kListChildIds) {
        if (id == kIdPicksSeparator || id == kIdResultsSeparator) continue;
        CShadeButtonST& button = *Button(id);
        button.SubclassDlgItem(id, dialog_);
        button.SetFocusMark(true);  // the keyboard walks the list
        if (id == kIdPicksHeader || id == kIdResultsHeader) {
            const bool picks = id == kIdPicksHeader;
            button.SetCaptionA(picks ? kPicksHeaderCaption : kResultsHeaderCaption);
            button.SetTooltipTextA(picks ? kPicksHeaderTooltip : kResultsHeaderTooltip);
            button.SetAlign(CButtonST::kAlignRight);
            button.SetIcon(kIconSectionClosed);
            button.SetShade(kShadeHeader, 3, 40, 5, 0);
        } else {
            button.SetBtnCursor(IDCUR_HAND);
        }
    }
    // The list is a stop on the way through the pane's controls (dialog-style containers).
    ::SetWindowLongPtrW(dialog_, GWL_EXSTYLE, ::GetWindowLongPtrW(dialog_, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
    for (int id : kListChildIds) {
        HWND child = ::GetDlgItem(dialog_, id);
        const bool stop = id != kIdPicksSeparator && id != kIdResultsSeparator && id != kIdMessageBox;
        if (child && stop) ::SetWindowLongPtrW(child, GWL_STYLE, ::GetWindowLongPtrW(child, GWL_STYLE) | WS_TABSTOP);
    }
    AddTitleTips();
    contentHeight_ = 1;
    scrollPos_ = 0;
    UpdateScrollBar();
}

void CTaskPaneListWnd::AddTitleTips() {
    titleTips_.reset(::CreateWindowExW(
        WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP | TTS_NOFADE | TTS_NOANIMATE,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog_, nullptr, ResourceModule(), nullptr));
    if (!titleTips_) return;
    for (int id : kListChildIds) {
        if (SlotOfControl(id) < 0) continue;
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = dialog_;
        tool.uId = reinterpret_cast<UINT_PTR>(::GetDlgItem(dialog_, id));
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        if (tool.uId) ::SendMessageW(titleTips_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    // Titles of a narrow pane may need more than one line.
    ::SendMessageW(titleTips_.get(), TTM_SETMAXTIPWIDTH, 0, 400);
}

bool CTaskPaneListWnd::TitleIsCut(HWND entry) {
    CShadeButtonST* button = Button(::GetDlgCtrlID(entry));
    return button && button->hwnd() == entry && !button->CaptionShowsWhole();
}

void CTaskPaneListWnd::ScrollIntoView(int id) {
    if (!dialog_ || ListChildIndex(id) < 0) return;
    const ChildLayout& child = layout_.child(id);
    if (!child.visible) return;
    ScrollTo(ScrollToShow(scrollPos_, child.rect.y, child.rect.height, ViewHeight(), contentHeight_));
}

int CTaskPaneListWnd::ViewHeight() const {
    RECT client{};
    ::GetClientRect(dialog_, &client);
    return client.bottom - client.top;
}

void CTaskPaneListWnd::Show(const ListState& state) {
    state_ = state;
    // Back to the top with a minimal scroll size; the layout sets the real one.
    if (dialog_ && scrollPos_ != 0)
        ::ScrollWindowEx(dialog_, 0, scrollPos_, nullptr, nullptr, nullptr, nullptr,
                         SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
    scrollPos_ = 0;
    wheelRest_ = 0;
    contentHeight_ = 1;
    Layout();
}

void CTaskPaneListWnd::Move(const Rect& rect) {
    if (!dialog_) return;
    ::SetWindowPos(dialog_, nullptr, rect.x, rect.y, rect.width, rect.height,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    Layout();
}

void CTaskPaneListWnd::Layout() {
    if (!dialog_ || inLayout_) return;
    inLayout_ = true;
    // The layout gets the window's whole size and takes the scroll bar's width off itself
    // when its estimate says the content will not fit.
    RECT window{};
    ::GetWindowRect(dialog_, &window);
    layout_ = LayoutList(window.right - window.left, window.bottom - window.top, SystemMetricForDpi(SM_CXVSCROLL, dpi_),
                         state_, dpi_);
    contentHeight_ = std::max(1, layout_.contentHeight);
    scrollPos_ = ClampScroll(scrollPos_, contentHeight_, ViewHeight());
    UpdateScrollBar();
    Apply(layout_);
    ::InvalidateRect(dialog_, nullptr, TRUE);
    inLayout_ = false;
}

void CTaskPaneListWnd::Apply(const ListLayout& layout) {
    for (const ChildLayout& child : layout.children) {
        if (child.id == kIdPicksSeparator || child.id == kIdResultsSeparator) {
            HWND separator = ::GetDlgItem(dialog_, child.id);
            if (!separator) continue;
            if (child.placed) {
                ::MoveWindow(separator, child.rect.x, child.rect.y - scrollPos_, child.rect.width, child.rect.height,
                             FALSE);
            }
            ::ShowWindow(separator, child.visible ? SW_SHOWNA : SW_HIDE);
            continue;
        }
        const int index = ButtonIndex(child.id);
        ApplyButton(buttons_[index], applied_[index], child);
    }
}

void CTaskPaneListWnd::ApplyButton(CShadeButtonST& button, Applied& applied, const ChildLayout& child) {
    if (!button.hwnd()) return;
    bool resized = false;
    if (child.placed) {
        button.Move(child.rect.x, child.rect.y - scrollPos_, child.rect.width, child.rect.height, false);
        resized = child.rect.width != applied.width || child.rect.height != applied.height;
        applied.width = child.rect.width;
        applied.height = child.rect.height;
    }
    if (child.hasContent) {
        if (!applied.known || child.caption != applied.caption) button.SetCaptionA(child.caption);
        if (child.icon != 0 && child.icon != applied.icon) button.SetIcon(child.icon);
        if (child.image1 != 0 && child.image1 != applied.image1) button.SetBitmaps(child.image1, kListTransparent);
        if (child.image2 != applied.image2) {
            button.SetDimmedBitmap(child.image2, kListTransparent);  // 0 removes it
        }
        if (!applied.known || child.dimmed != applied.dimmed) button.SetDimmedStyle(child.dimmed);
        // The shade pictures depend on the size: rebuilt after every resize.
        if (child.shade != 0 && (resized || child.shade != applied.shade)) button.SetShade(child.shade, 3, 40, 5, 0);
        applied.known = true;
        applied.caption = child.caption;
        if (child.icon != 0) applied.icon = child.icon;
        if (child.image1 != 0) applied.image1 = child.image1;
        applied.image2 = child.image2;
        applied.dimmed = child.dimmed;
        if (child.shade != 0) applied.shade = child.shade;
    } else if (resized && applied.shade > 0) {
        button.SetShade(applied.shade, 3, 40, 5, 0);
    }
    button.Show(child.visible);
}

void CTaskPaneListWnd::UpdateScrollBar() {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = contentHeight_ - 1;
    info.nPage = static_cast<UINT>(std::max(0, ViewHeight()));
    info.nPos = scrollPos_;
    ::SetScrollInfo(dialog_, SB_VERT, &info, TRUE);
}

void CTaskPaneListWnd::ScrollTo(int position) {
    const int target = ClampScroll(position, contentHeight_, ViewHeight());
    const int delta = scrollPos_ - target;
    if (delta == 0) return;
    scrollPos_ = target;
    ::ScrollWindowEx(dialog_, 0, delta, nullptr, nullptr, nullptr, nullptr,
                     SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
    ::SetScrollPos(dialog_, SB_VERT, scrollPos_, TRUE);
    ::UpdateWindow(dialog_);
}

void CTaskPaneListWnd::OnVScroll(int code) {
    const int line = ScrollLine(contentHeight_);
    const int page = ScrollPage(contentHeight_);
    switch (code) {
        case SB_LINEUP: ScrollTo(scrollPos_ - line); break;
        case SB_LINEDOWN: ScrollTo(scrollPos_ + line); break;
        case SB_PAGEUP: ScrollTo(scrollPos_ - page); break;
        case SB_PAGEDOWN: ScrollTo(scrollPos_ + page); break;
        case SB_TOP: ScrollTo(0); break;
        case SB_BOTTOM: ScrollTo(contentHeight_); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: {
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_TRACKPOS;
            if (::GetScrollInfo(dialog_, SB_VERT, &info)) ScrollTo(info.nTrackPos);
            break;
        }
        default: break;
    }
}

void CTaskPaneListWnd::OnMouseWheel(int delta) {
    UINT lines = 3;
    ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    if (lines == 0) return;
    wheelRest_ += delta;
    const int notches = wheelRest_ / WHEEL_DELTA;
    wheelRest_ -= notches * WHEEL_DELTA;
    if (notches == 0) return;
    // "One screen per notch" is the page; otherwise that many lines per notch.
    const int step = lines == WHEEL_PAGESCROLL
                         ? ScrollPage(contentHeight_)
                         : static_cast<int>(std::min<UINT>(lines, 100)) * ScrollLine(contentHeight_);
    ScrollTo(scrollPos_ - notches * step);
}

INT_PTR CTaskPaneListWnd::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG: OnInitDialog(); return FALSE;  // no focus to set
        case WM_SIZE: Layout(); return TRUE;
        case WM_VSCROLL: OnVScroll(LOWORD(wp)); return TRUE;
        case WM_MOUSEWHEEL: OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wp)); return TRUE;
        case kWmDpiChangedAfterParent: OnDpiChanged(); return TRUE;
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
        case WM_THEMECHANGED:
            // High contrast on or off: every child draws again in the colours now in force.
            ::RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            return FALSE;
        case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(Background());
        case WM_CTLCOLORSTATIC:
            // The two separators: a dotted line from the 3 x 1 pattern.
            return reinterpret_cast<INT_PTR>(SeparatorBrush());
        case WM_ERASEBKGND: {
            RECT client{};
            ::GetClientRect(dialog_, &client);
            ::FillRect(reinterpret_cast<HDC>(wp), &client, Background());
            ::SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, 1);
            return TRUE;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lp);
            if (!header || !titleTips_ || header->hwndFrom != titleTips_.get()) break;
            if (header->code == TTN_GETDISPINFOW) {
                // The whole title only where the drawn one is cut; an empty text shows no tip.
                auto* info = reinterpret_cast<NMTTDISPINFOW*>(lp);
                HWND entry = reinterpret_cast<HWND>(header->idFrom);
                tipText_.clear();
                if (TitleIsCut(entry)) {
                    const int length = ::GetWindowTextLengthW(entry);
                    tipText_.assign(static_cast<size_t>(length) + 1, L'\0');
                    tipText_.resize(
                        static_cast<size_t>(std::max(0, ::GetWindowTextW(entry, tipText_.data(), length + 1))));
                }
                info->lpszText = tipText_.data();
            }
            ::SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        default: break;
    }
    switch (msg) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_DRAWITEM:
        case WM_CTLCOLORBTN: {
            // The control owns the click handlers and answers the rest.
            const LRESULT result = parent_ ? ::SendMessageW(parent_, msg, wp, lp) : 0;
            if (msg == WM_CTLCOLORBTN) return static_cast<INT_PTR>(result);
            ::SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, result);
            return TRUE;
        }
        default: return FALSE;
    }
}

}  // namespace kv
