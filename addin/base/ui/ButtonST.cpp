#include "addin/base/ui/ButtonST.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "addin/base/ui/ResourceModule.h"
#include "platform/WinText.h"

namespace kv {
namespace {

constexpr UINT_PTR kButtonSubclass = 0x4B5642;  // "KVB"
constexpr UINT_PTR kParentSubclass = 0x4B5650;  // "KVP"
constexpr wchar_t kCaptionFace[] = L"굴림";
constexpr int kCaptionHeight = 12;  // at 96 DPI
// The button object on its window, and on the parent the number of buttons relying on its
// subclass (window properties: the subclass look-up call is not exported by name everywhere).
constexpr wchar_t kButtonProp[] = L"kv.CButtonST";
constexpr wchar_t kParentCountProp[] = L"kv.CButtonST.parent";

void FillSolid(HDC dc, int x, int y, int width, int height, COLORREF colour) {
    if (width <= 0 || height <= 0) return;
    const RECT r{x, y, x + width, y + height};
    UniqueBrush brush(::CreateSolidBrush(colour));
    if (brush) ::FillRect(dc, &r, brush.get());
}

// The two-colour rectangle outline of the flat pressed border.
void Draw3dRect(HDC dc, const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    FillSolid(dc, r.left, r.top, w - 1, 1, topLeft);
    FillSolid(dc, r.left, r.top, 1, h - 1, topLeft);
    FillSolid(dc, r.right - 1, r.top, 1, h, bottomRight);
    FillSolid(dc, r.left, r.bottom - 1, w, 1, bottomRight);
}

std::wstring WindowText(HWND w) {
    const int n = ::GetWindowTextLengthW(w);
    if (n <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(n) + 1);
    const int got = ::GetWindowTextW(w, buffer.data(), n + 1);
    return std::wstring(buffer.data(), static_cast<size_t>(std::max(got, 0)));
}

bool IsButtonClass(HWND w) {
    wchar_t name[16] = {};
    return ::GetClassNameW(w, name, 16) > 0 && ::lstrcmpiW(name, L"Button") == 0;
}

}  // namespace

void CButtonST::Image::reset() {
    bitmap.reset();
    mask.reset();
    icon.reset();
    width = height = 0;
    id = 0;
    transparent = 0;
    module = nullptr;
}

CButtonST::CButtonST()
    : colorIn_(::GetSysColor(COLOR_BTNFACE)),
      colorOut_(::GetSysColor(COLOR_BTNFACE)),
      colorCaption_(::GetSysColor(COLOR_BTNTEXT)) {}

CButtonST::~CButtonST() {
    Detach();
}

bool CButtonST::SubclassDlgItem(int id, HWND parent) {
    if (!parent) return false;
    return Attach(::GetDlgItem(parent, id));
}

bool CButtonST::Attach(HWND button) {
    if (hwnd_ || !button || !::IsWindow(button) || !IsButtonClass(button)) return false;
    const LONG_PTR style = ::GetWindowLongPtrW(button, GWL_STYLE);
    defaultButton_ = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    if (!::SetWindowSubclass(button, &CButtonST::ButtonProc, kButtonSubclass, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    hwnd_ = button;
    ::SetPropW(button, kButtonProp, this);
    ::SetWindowLongPtrW(button, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    HookParent(::GetParent(button));
    SetDpi(WindowDpi(button));
    Redraw();
    return true;
}

bool CButtonST::Create(HWND parent, const RECT& rect, const wchar_t* caption, DWORD style, int id) {
    if (hwnd_ || !parent) return false;
    UniqueWindow w(::CreateWindowExW(0, L"BUTTON", caption ? caption : L"", style | WS_CHILD, rect.left, rect.top,
                                     rect.right - rect.left, rect.bottom - rect.top, parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ResourceModule(), nullptr));
    if (!w || !Attach(w.get())) return false;
    owned_ = std::move(w);
    return true;
}

void CButtonST::Detach() {
    tooltip_.reset();
    if (hwnd_) {
        if (mouseOver_ && ::GetCapture() == hwnd_) {
            mouseOver_ = false;
            ::ReleaseCapture();
        }
        ::RemoveWindowSubclass(hwnd_, &CButtonST::ButtonProc, kButtonSubclass);
        ::RemovePropW(hwnd_, kButtonProp);
        UnhookParent();
        hwnd_ = nullptr;
    }
    mouseOver_ = false;
    owned_.reset();
}

void CButtonST::Redraw() {
    if (hwnd_) ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void CButtonST::SetCaption(const wchar_t* text) {
    if (!hwnd_) return;
    ::SetWindowTextW(hwnd_, text ? text : L"");
    Redraw();
}

void CButtonST::SetCaptionA(const std::string& ansi) {
    SetCaption(CodePageToWideLossy(CP_ACP, ansi).c_str());
}

void CButtonST::Show(bool visible) {
    if (hwnd_) ::ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

void CButtonST::Move(const RECT& rect, bool repaint) {
    Move(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, repaint);
}

void CButtonST::Move(int x, int y, int width, int height, bool repaint) {
    if (hwnd_) ::MoveWindow(hwnd_, x, y, std::max(width, 0), std::max(height, 0), repaint ? TRUE : FALSE);
}

// --- Images --------------------------------------------------------------------------------

bool CButtonST::LoadBitmapImage(Image* image, int id, COLORREF transparent, HMODULE module) {
    image->reset();
    if (id == 0) return true;
    UniqueBitmap bitmap(
        static_cast<HBITMAP>(LoadPictureForDpi(ResourceModule(module), id, IMAGE_BITMAP, dpi_, LR_CREATEDIBSECTION)));
    BITMAP info{};
    if (!bitmap || !::GetObjectW(bitmap.get(), sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight == 0)
        return false;
    const int w = info.bmWidth, h = std::abs(info.bmHeight);

    // Mask: 1 where the image has the transparent colour. Then those pixels of the image are
    // made black, so drawing is "mask AND, image OR".
    UniqueBitmap mask(::CreateBitmap(w, h, 1, 1, nullptr));
    UniqueMemoryDc imageDc(::CreateCompatibleDC(nullptr));
    UniqueMemoryDc maskDc(::CreateCompatibleDC(nullptr));
    if (!mask || !imageDc || !maskDc) return false;
    {
        SelectedObject selImage(imageDc.get(), bitmap.get());
        SelectedObject selMask(maskDc.get(), mask.get());
        ::SetBkColor(imageDc.get(), transparent);
        ::BitBlt(maskDc.get(), 0, 0, w, h, imageDc.get(), 0, 0, SRCCOPY);
        ::SetBkColor(imageDc.get(), RGB(0, 0, 0));
        ::SetTextColor(imageDc.get(), RGB(255, 255, 255));
        ::BitBlt(imageDc.get(), 0, 0, w, h, maskDc.get(), 0, 0, SRCAND);
    }
    image->bitmap = std::move(bitmap);
    image->mask = std::move(mask);
    image->width = w;
    image->height = h;
    image->id = id;
    image->transparent = transparent;
    image->module = module;
    return true;
}

bool CButtonST::LoadIconImage(Image* image, int id, HMODULE module) {
    image->reset();
    if (id == 0) return true;
    image->icon.reset(static_cast<HICON>(LoadPictureForDpi(ResourceModule(module), id, IMAGE_ICON, dpi_)));
    ICONINFO info{};
    if (!image->icon || !::GetIconInfo(image->icon.get(), &info)) {
        image->reset();
        return false;
    }
    UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);  // GetIconInfo hands us copies
    BITMAP b{};
    if (::GetObjectW(colour ? colour.get() : mask.get(), sizeof b, &b)) {
        image->width = b.bmWidth;
        image->height = colour ? b.bmHeight : b.bmHeight / 2;  // a monochrome icon stacks AND over XOR
    }
    image->id = id;
    image->module = module;
    return true;
}

bool CButtonST::SetIcon(int inId, int outId, HMODULE module) {
    const bool okIn = LoadIconImage(&in_, inId, module);
    const bool okOut = LoadIconImage(&out_, outId, module);
    Redraw();
    return okIn && okOut;
}

bool CButtonST::SetBitmaps(int inId, COLORREF inTransparent, int outId, COLORREF outTransparent, HMODULE module) {
    const bool okIn = LoadBitmapImage(&in_, inId, inTransparent, module);
    const bool okOut = LoadBitmapImage(&out_, outId, outTransparent, module);
    Redraw();
    return okIn && okOut;
}

bool CButtonST::SetDimmedBitmap(int id, COLORREF transparent, HMODULE module) {
    const bool ok = LoadBitmapImage(&dimmedImage_, id, transparent, module);
    Redraw();
    return ok;
}

void CButtonST::SetDimmedStyle(bool on) {
    if (dimmed_ == on) return;
    dimmed_ = on;
    Redraw();
}

bool CButtonST::SetAlign(int align, bool repaint) {
    if (align != kAlignLeft && align != kAlignTop && align != kAlignRight) return false;
    align_ = align;
    if (repaint) Redraw();
    return true;
}

// --- Behaviour and look --------------------------------------------------------------------

bool CButtonST::SetBtnCursor(int id, HMODULE module) {
    cursorId_ = id;
    cursorModule_ = module;
    return ReloadCursor();
}

bool CButtonST::ReloadCursor() {
    cursor_.reset();
    if (cursorId_ == 0) return true;
    cursor_.reset(static_cast<HICON>(LoadPictureForDpi(ResourceModule(cursorModule_), cursorId_, IMAGE_CURSOR, dpi_)));
    return static_cast<bool>(cursor_);
}

// --- Scale ---------------------------------------------------------------------------------

void CButtonST::MakeFont() {
    // The old font goes only after the new one is made: a failed one keeps the last.
    UniqueFont font = CreateUiFont(kCaptionHeight, FW_NORMAL, false, kCaptionFace, dpi_);
    if (font) font_ = std::move(font);
}

void CButtonST::SetDpi(int dpi) {
    dpi = dpi > 0 ? dpi : kBaseDpi;
    if (dpi == dpi_ && font_) return;
    dpi_ = dpi;
    MakeFont();
    // Each image again from its resource, in the copy for the new scale.
    for (Image* image : {&in_, &out_, &dimmedImage_}) {
        if (!image->id) continue;
        const int id = image->id;
        const COLORREF transparent = image->transparent;
        const HMODULE module = image->module;
        if (image->icon)
            LoadIconImage(image, id, module);
        else
            LoadBitmapImage(image, id, transparent, module);
    }
    ReloadCursor();
    Redraw();
}

void CButtonST::SetTooltipText(const wchar_t* text) {
    if (!hwnd_) return;
    if (!text || !*text) {
        tooltip_.reset();
        return;
    }
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = ::GetParent(hwnd_);
    tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
    tool.lpszText = const_cast<wchar_t*>(text);
    if (!tooltip_) {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&icc);
        tooltip_.reset(::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                         WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                         CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, ResourceModule(), nullptr));
        if (!tooltip_) return;
        ::SendMessageW(tooltip_.get(), TTM_SETMAXTIPWIDTH, 0, 400);
        ::SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    } else {
        ::SendMessageW(tooltip_.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void CButtonST::SetTooltipTextA(const std::string& ansi) {
    SetTooltipText(CodePageToWideLossy(CP_ACP, ansi).c_str());
}

void CButtonST::SetFlat(bool flat) {
    flat_ = flat;
    if (!flat_) CancelHover();
    Redraw();
}

void CButtonST::SetColors(COLORREF in, COLORREF out, COLORREF caption) {
    colorIn_ = in;
    colorOut_ = out;
    colorCaption_ = caption;
    Redraw();
}

// --- Messages ------------------------------------------------------------------------------

bool CButtonST::HookParent(HWND parent) {
    parent_ = parent;
    if (!parent) return false;
    // One subclass per parent, however many buttons rely on it.
    const auto count = reinterpret_cast<UINT_PTR>(::GetPropW(parent, kParentCountProp));
    if (count == 0 && !::SetWindowSubclass(parent, &CButtonST::ParentProc, kParentSubclass, 0)) return false;
    ::SetPropW(parent, kParentCountProp, reinterpret_cast<HANDLE>(count + 1));
    return true;
}

void CButtonST::UnhookParent() {
    if (!parent_) return;
    const auto count = reinterpret_cast<UINT_PTR>(::GetPropW(parent_, kParentCountProp));
    if (count <= 1) {
        ::RemoveWindowSubclass(parent_, &CButtonST::ParentProc, kParentSubclass);
        ::RemovePropW(parent_, kParentCountProp);
    } else {
        ::SetPropW(parent_, kParentCountProp, reinterpret_cast<HANDLE>(count - 1));
    }
    parent_ = nullptr;
}

LRESULT CALLBACK CButtonST::ParentProc(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == WM_DRAWITEM && lp) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (item->CtlType == ODT_BUTTON && ::GetParent(item->hwndItem) == w) {
            if (auto* button = static_cast<CButtonST*>(::GetPropW(item->hwndItem, kButtonProp))) {
                if (button->hwnd_ == item->hwndItem) {
                    button->Draw(*item);
                    return TRUE;
                }
            }
        }
    } else if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(w, &CButtonST::ParentProc, kParentSubclass);
        ::RemovePropW(w, kParentCountProp);
    }
    return ::DefSubclassProc(w, msg, wp, lp);
}

LRESULT CALLBACK CButtonST::ButtonProc(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* self = reinterpret_cast<CButtonST*>(ref);
    if (!self || self->hwnd_ != w) return ::DefSubclassProc(w, msg, wp, lp);
    return self->OnMessage(msg, wp, lp);
}

LRESULT CButtonST::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    const HWND w = hwnd_;
    switch (msg) {
        case WM_SETCURSOR:
            if (cursor_) {
                ::SetCursor(cursor_.get());
                return TRUE;
            }
            break;
        case WM_MOUSEMOVE: OnMouseMove(lp, wp); break;
        case WM_LBUTTONUP: {
            // The button's own handling releases the capture (and with it the hover mark); take
            // both back when the pointer is still over the button after the click. Where the
            // pointer is now, not where it was: the click may have run a modal dialog.
            const LRESULT r = ::DefSubclassProc(w, msg, wp, lp);
            POINT p{};
            if (hwnd_ == w && flat_ && !mouseOver_ && ::IsWindowEnabled(w) && ::GetCursorPos(&p) &&
                ::ScreenToClient(w, &p))
                OnMouseMove(MAKELPARAM(p.x, p.y), 0);
            return r;
        }
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lp) != w) CancelHover();
            break;
        case WM_KILLFOCUS:
        case WM_ACTIVATE:
            if (msg == WM_KILLFOCUS || LOWORD(wp) == WA_INACTIVE) CancelHover();
            break;
        case WM_ENABLE:
            if (!wp) CancelHover();
            break;
        case WM_ERASEBKGND: return TRUE;  // every pixel is drawn by Draw
        case kWmDpiChangedAfterParent: SetDpi(WindowDpi(w)); break;
        case WM_GETFONT:
            // The font the caption is drawn with, made for the window's DPI (the one the
            // parent set may be for another).
            if (font_) return reinterpret_cast<LRESULT>(font_.get());
            break;
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
        case WM_THEMECHANGED: Redraw(); break;  // high contrast is read at every drawing
        case WM_GETDLGCODE: {
            LRESULT code = ::DefSubclassProc(w, msg, wp, lp);
            code &= ~static_cast<LRESULT>(DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
            return code | DLGC_BUTTON | (defaultButton_ ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        }
        case BM_SETSTYLE:
            // The dialog manager moves the default-button style around; keep owner-draw.
            defaultButton_ = (wp & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
            return ::DefSubclassProc(w, msg, (wp & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW, lp);
        case WM_NCDESTROY: {
            const LRESULT r = ::DefSubclassProc(w, msg, wp, lp);
            owned_.release();  // the window is going away on its own
            Detach();
            return r;
        }
        default: break;
    }
    return ::DefSubclassProc(w, msg, wp, lp);
}

void CButtonST::OnMouseMove(LPARAM lp, WPARAM wp) {
    if (!flat_) return;
    POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    ::ClientToScreen(hwnd_, &p);
    if (::WindowFromPoint(p) == hwnd_) {
        const HWND capture = ::GetCapture();
        if (!mouseOver_ && ::GetParent(hwnd_) && ::GetActiveWindow() && (!capture || capture == hwnd_)) {
            mouseOver_ = true;
            if (capture != hwnd_) ::SetCapture(hwnd_);
            Redraw();
        }
        return;
    }
    if (mouseOver_) {
        mouseOver_ = false;
        Redraw();
        if (!(wp & MK_LBUTTON) && ::GetCapture() == hwnd_) ::ReleaseCapture();
    }
}

void CButtonST::CancelHover() {
    if (!mouseOver_) return;
    mouseOver_ = false;  // first: releasing the capture comes back here through WM_CAPTURECHANGED
    if (hwnd_ && ::GetCapture() == hwnd_) ::ReleaseCapture();
    Redraw();
}

// --- Drawing -------------------------------------------------------------------------------

void CButtonST::Draw(const DRAWITEMSTRUCT& item) {
    ButtonDrawState state;
    state.pressed = (item.itemState & ODS_SELECTED) != 0;
    state.focused = (item.itemState & ODS_FOCUS) != 0;
    state.disabled = (item.itemState & ODS_DISABLED) != 0;
    state.mouseOver = mouseOver_;

    // Drawn off screen and copied in one go: no flicker while hovering.
    const RECT& r = item.rcItem;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return;
    UniqueMemoryDc memory(::CreateCompatibleDC(item.hDC));
    UniqueBitmap canvas(::CreateCompatibleBitmap(item.hDC, w, h));
    if (!memory || !canvas) {
        Paint(item.hDC, r, state);
        return;
    }
    {
        SelectedObject sel(memory.get(), canvas.get());
        Paint(memory.get(), RECT{0, 0, w, h}, state);
        ::BitBlt(item.hDC, r.left, r.top, w, h, memory.get(), 0, 0, SRCCOPY);
    }
}

void CButtonST::DrawBackground(HDC dc, const RECT& rect, const ButtonDrawState& state) {
    const COLORREF colour = dimmed_ ? RGB(255, 255, 255) : (state.mouseOver || state.pressed) ? colorIn_ : colorOut_;
    FillSolid(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, colour);
}

const CButtonST::Image* CButtonST::ChooseImage(const ButtonDrawState& state) const {
    if (dimmed_) return dimmedImage_ ? &dimmedImage_ : in_ ? &in_ : nullptr;
    if ((!state.mouseOver || state.disabled) && out_) return &out_;
    return in_ ? &in_ : nullptr;
}

void CButtonST::DrawImage(HDC dc, const Image& image, const IntRect& where, bool disabled) const {
    if (image.icon) {
        ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(image.icon.get()), 0, where.left, where.top,
                     where.width(), where.height(), DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL));
        return;
    }
    UniqueMemoryDc source(::CreateCompatibleDC(dc));
    if (!source) return;
    ::SetBkColor(dc, RGB(255, 255, 255));
    ::SetTextColor(dc, RGB(0, 0, 0));
    {
        SelectedObject sel(source.get(), image.mask.get());
        ::BitBlt(dc, where.left, where.top, where.width(), where.height(), source.get(), 0, 0, SRCAND);
    }
    {
        SelectedObject sel(source.get(), image.bitmap.get());
        ::BitBlt(dc, where.left, where.top, where.width(), where.height(), source.get(), 0, 0, SRCPAINT);
    }
}

void CButtonST::DrawCaption(HDC dc, const RECT& area, const ButtonDrawState& state, COLORREF colour) {
    const std::wstring text = WindowText(hwnd_);
    if (text.empty()) return;
    SelectedObject selFont(dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);

    const bool multiLine = text.find_first_of(L"\r\n") != std::wstring::npos;
    RECT measure{0, 0, area.right - area.left, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measure, DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
    const IntRect place =
        PlaceCaption(IntRect{area.left, area.top, area.right, area.bottom}, measure.right - measure.left,
                     measure.bottom - measure.top, state.pressed, state.disabled, dpi_);
    // A caption wider than its area ends in an ellipsis at the area's edge rather than running
    // under the image.
    RECT r{place.left, place.top, std::min<LONG>(place.right, area.right), place.bottom};
    const UINT format = DT_LEFT | DT_NOPREFIX | DT_NOCLIP | (multiLine ? 0u : DT_SINGLELINE | DT_END_ELLIPSIS);
    if (state.disabled && colour == CLR_INVALID) {
        RECT shifted = r;
        ::OffsetRect(&shifted, 1, 1);
        ::SetTextColor(dc, ::GetSysColor(COLOR_3DHILIGHT));
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &shifted, format);
        ::SetTextColor(dc, ::GetSysColor(COLOR_3DSHADOW));
    } else {
        ::SetTextColor(dc, colour != CLR_INVALID ? colour : dimmed_ ? kDimmedCaption : colorCaption_);
    }
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
}

CButtonST::SystemColours CButtonST::HighContrastColours() const {
    return SystemColours{COLOR_BTNFACE, COLOR_BTNTEXT};
}

void CButtonST::PaintHighContrast(HDC dc, const RECT& client, const ButtonDrawState& state) {
    // Flat: the hovered or pressed button is highlighted, a dimmed or disabled one greyed.
    const SystemColours normal = HighContrastColours();
    const bool hot = state.mouseOver || state.pressed;
    const int fill = hot ? COLOR_HIGHLIGHT : normal.fill;
    const int text = (dimmed_ || state.disabled) ? COLOR_GRAYTEXT : hot ? COLOR_HIGHLIGHTTEXT : normal.text;
    ::FillRect(dc, &client, ::GetSysColorBrush(fill));
    ::FrameRect(dc, &client, ::GetSysColorBrush(hot ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));

    const RECT inner{client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
    if (!highContrastText_.empty()) {
        // A picture of text drawn in its own colours would be unreadable on the system's; its
        // words are drawn instead.
        SelectedObject selFont(dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : ::GetStockObject(DEFAULT_GUI_FONT));
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::GetSysColor(text));
        RECT r = inner;
        ::DrawTextW(dc, highContrastText_.c_str(), static_cast<int>(highContrastText_.size()), &r,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        DrawKeyboardFocus(dc, inner, state);
        return;
    }
    DrawContent(dc, inner, state, ::GetSysColor(text));
    DrawKeyboardFocus(dc, inner, state);
}

void CButtonST::DrawContent(HDC dc, const RECT& area, const ButtonDrawState& state, COLORREF captionColour) {
    const bool hasCaption = ::GetWindowTextLengthW(hwnd_) > 0;
    const IntRect item{area.left, area.top, area.right, area.bottom};
    const Image* image = ChooseImage(state);
    const ContentPlacement place = PlaceContent(item, image ? image->width : 0, image ? image->height : 0, hasCaption,
                                                align_, state.pressed, dpi_);
    if (image) DrawImage(dc, *image, place.image, state.disabled);
    DrawCaption(dc, RECT{place.caption.left, place.caption.top, place.caption.right, place.caption.bottom}, state,
                captionColour);
}

void CButtonST::SetHighContrastText(const wchar_t* text) {
    highContrastText_ = text ? text : L"";
    Redraw();
}

void CButtonST::Paint(HDC dc, const RECT& client, const ButtonDrawState& state) {
    if (HighContrastOn()) {
        PaintHighContrast(dc, client, state);
        return;
    }
    RECT r = client;

    // 1-2. Black frame of a focused or default non-flat button.
    if (!flat_ && (state.focused || defaultButton_)) {
        UniqueBrush black(::CreateSolidBrush(RGB(0, 0, 0)));
        if (black) ::FrameRect(dc, &r, black.get());
        ::InflateRect(&r, -1, -1);
    }

    // 3. Background.
    DrawBackground(dc, r, state);

    // 4. Edge.
    if (state.pressed) {
        if (!flat_) {
            UniqueBrush shadow(::CreateSolidBrush(::GetSysColor(COLOR_BTNSHADOW)));
            if (shadow) ::FrameRect(dc, &r, shadow.get());
        } else {
            Draw3dRect(dc, r, ::GetSysColor(COLOR_BTNSHADOW), ::GetSysColor(COLOR_BTNHILIGHT));
        }
    } else if (!flat_) {
        const int w = r.right - r.left, h = r.bottom - r.top;
        const COLORREF hi = ::GetSysColor(COLOR_BTNHILIGHT), light = ::GetSysColor(COLOR_3DLIGHT);
        const COLORREF dark = ::GetSysColor(COLOR_3DDKSHADOW), shadow = ::GetSysColor(COLOR_BTNSHADOW);
        FillSolid(dc, r.left, r.top, w, 1, hi);  // outer top-left
        FillSolid(dc, r.left, r.top, 1, h, hi);
        FillSolid(dc, r.left + 1, r.top + 1, w - 2, 1, light);  // inner top-left
        FillSolid(dc, r.left + 1, r.top + 1, 1, h - 2, light);
        FillSolid(dc, r.left, r.bottom - 1, w, 1, dark);  // outer bottom-right
        FillSolid(dc, r.right - 1, r.top, 1, h, dark);
        FillSolid(dc, r.left + 1, r.bottom - 2, w - 2, 1, shadow);  // inner bottom-right
        FillSolid(dc, r.right - 2, r.top + 1, 1, h - 2, shadow);
    }

    // 5-6. Image, and the caption in the area it leaves.
    DrawContent(dc, r, state, CLR_INVALID);

    // 7. Focus.
    DrawKeyboardFocus(dc, r, state);
}

bool CButtonST::CaptionShowsWhole() const {
    if (!hwnd_) return true;
    const std::wstring text = WindowText(hwnd_);
    if (text.empty()) return true;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    // The same placement as Paint's, unpressed and without the frame of a focused edge.
    const Image* image = ChooseImage(ButtonDrawState{});
    const ContentPlacement place =
        PlaceContent(IntRect{client.left, client.top, client.right, client.bottom}, image ? image->width : 0,
                     image ? image->height : 0, true, align_, false, dpi_);
    WindowDc dc(hwnd_);
    if (!dc.get()) return true;
    SelectedObject selFont(dc.get(), font_ ? static_cast<HGDIOBJ>(font_.get()) : ::GetStockObject(DEFAULT_GUI_FONT));
    RECT measure{0, 0, place.caption.width(), 0};
    ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &measure, DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
    const IntRect at = PlaceCaption(place.caption, measure.right - measure.left, measure.bottom - measure.top, false,
                                    !::IsWindowEnabled(hwnd_), dpi_);
    return at.left + (measure.right - measure.left) <= place.caption.right;
}

void CButtonST::SetFocusMark(bool on) {
    if (focusMark_ == on) return;
    focusMark_ = on;
    Redraw();
}

void CButtonST::DrawKeyboardFocus(HDC dc, const RECT& rect, const ButtonDrawState& state) {
    if (!state.focused || (flat_ && !focusMark_)) return;
    // Flat buttons sit edge to edge in the list: their mark stays one pixel inside, and is
    // doubled so that it shows on the darker shades as well.
    RECT focus = rect;
    ::InflateRect(&focus, flat_ ? -1 : -3, flat_ ? -1 : -3);
    if (focus.right <= focus.left || focus.bottom <= focus.top) return;
    ::SetBkColor(dc, RGB(255, 255, 255));
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::DrawFocusRect(dc, &focus);
    if (!flat_) return;
    ::InflateRect(&focus, -1, -1);
    if (focus.right > focus.left && focus.bottom > focus.top) ::DrawFocusRect(dc, &focus);
}

}  // namespace kv
