#include "addin/features/popup/PreviewLayer.h"

#include <string_view>

#include <commctrl.h>
#include "addin/base/shared/TextCut.h"

#include "addin/base/ui/PlacePicture.h"
#include "addin/base/ui/ResourceModule.h"
#include "addin/features/popup/CertDlg.h"
#include "addin/features/service/Addresses.h"
#include "platform/WinText.h"

namespace kv {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kLabelGrey = 0xAAAAAA;
// Re-applies the look after the system has rescaled the dialog for a new DPI.
constexpr UINT kApplyLook = WM_APP + 41;
constexpr UINT_PTR kPictureButtonSubclass = 0x4B56;
// Set on the picture button that is the dialog's default for the moment.
constexpr wchar_t kDefaultButtonProperty[] = L"KvDefaultButton";

// The page links: text buttons drawn by CButtonST in the dimmed style.
constexpr int kTextButtons[] = {popup::kSignUp, popup::kFindId, popup::kFindPassword};
// The buttons that show a picture, drawn by the popup.
constexpr int kPictureButtons[] = {popup::kTemplatePage, popup::kWeekUpdate, popup::kLogIn,
                                   popup::kUpgrade,      popup::kLogOut,     popup::kClose};

bool IsPictureButton(int id) {
    for (int b : kPictureButtons) {
        if (b == id) return true;
    }
    return false;
}

// What a picture says, for the flat high-contrast drawing and for screen readers.
const wchar_t* PictureLabel(int bitmap) {
    switch (bitmap) {
        case popup_bitmap::kClose: return L"닫기";
        case popup_bitmap::kTemplatePage: return L"서식 상세보기";
        case popup_bitmap::kLogIn: return L"로그인";
        case popup_bitmap::kLogOut: return L"로그아웃";
        case popup_bitmap::kWeekUpdate: return L"주간 업데이트 서식";
        case popup_bitmap::kPremiumWeekUpdate: return L"프리미엄 주간 서식";
        case popup_bitmap::kUpgrade: return L"정회원 가입 안내";
        case popup_bitmap::kPremiumUpgrade: return L"기업/프리미엄 회원 안내";
        default: return L"";
    }
}

// A popup larger than its owner (at a high DPI) keeps its whole frame on the owner's screen.
void KeepOnScreen(HWND window) {
    RECT r{};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetWindowRect(window, &r) ||
        !::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return;
    }
    const RECT& area = monitor.rcWork;
    LONG x = r.left, y = r.top;
    if (r.right > area.right) x -= r.right - area.right;
    if (r.bottom > area.bottom) y -= r.bottom - area.bottom;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    if (x != r.left || y != r.top)
        ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE ClientSize(HWND w) {
    RECT r{};
    ::GetClientRect(w, &r);
    return SIZE{r.right, r.bottom};
}

}  // namespace

const wchar_t kPopupBitmapProperty[] = L"KvPopupBitmap";

CPreviewLayer::CPreviewLayer(const PopupContext& context, const PreviewRequest& request)
    : c_(context), request_(request), resources_(ResourceModule(context.resources)) {}

CPreviewLayer::~CPreviewLayer() = default;

int CPreviewLayer::Run(HWND owner) {
    owner_ = owner;
    pending_ = pending::kNone;
    const INT_PTR result = RunModal(resources_, kDialog, owner);
    return result == 1 ? 1 : 2;
}

INT_PTR CPreviewLayer::OnMessage(UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_INITDIALOG:
            OnInit();
            // OnInit put the focus where typing starts.
            return FALSE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORBTN: return reinterpret_cast<INT_PTR>(white_.get());
        case WM_CTLCOLOREDIT:
            if (highContrast_) {
                HDC dc = reinterpret_cast<HDC>(wp);
                ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
                ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<INT_PTR>(white_.get());
            }
            return FALSE;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wp);
            const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lp));
            ::SetBkMode(dc, TRANSPARENT);
            if (highContrast_) {
                ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
            } else if (id != popup::kTitle) {
                ::SetTextColor(dc, kLabelGrey);
            }
            return reinterpret_cast<INT_PTR>(white_.get());
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (!item || item->CtlType != ODT_BUTTON || !IsPictureButton(static_cast<int>(item->CtlID))) return FALSE;
            DrawPictureButton(*item);
            return TRUE;
        }
        case WM_DPICHANGED: {
            // The suggested rectangle keeps the popup where it was on the new screen; the
            // system rescales the template's controls, then the look follows.
            if (const auto* r = reinterpret_cast<const RECT*>(lp)) {
                ::SetWindowPos(dialog_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                               SWP_NOZORDER | SWP_NOACTIVATE);
            }
            ::PostMessageW(dialog_, kApplyLook, 0, 0);
            return FALSE;
        }
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE: ::PostMessageW(dialog_, kApplyLook, 0, 0); return FALSE;
        case kApplyLook: ApplyLook(); return TRUE;
        case WM_COMMAND:
            if (HIWORD(wp) == BN_CLICKED) OnCommand(LOWORD(wp));
            return TRUE;
        case WM_CLOSE: End(2); return TRUE;
        case WM_DESTROY:
            // The browsers' and buttons' windows go before the dialog's children do.
            preview_.reset();
            login_.reset();
            buttons_.clear();
            for (int id : kPictureButtons) {
                if (HWND b = ::GetDlgItem(dialog_, id)) {
                    ::RemoveWindowSubclass(b, &PictureButtonProc, kPictureButtonSubclass);
                    ::RemovePropW(b, kPopupBitmapProperty);
                }
            }
            return FALSE;
        default: return FALSE;
    }
}

std::unique_ptr<WebView> CPreviewLayer::MakeBrowser(int placeholderId, bool visible, DWORD hostFlags, bool firstImage) {
    // The template holds a static placeholder where the browser goes; the browser's window
    // takes its place and its control id.
    WebViewOptions o;
    o.visible = visible;
    o.events = this;
    o.hostFlags = hostFlags;
    o.showFirstImage = firstImage;
    o.cookieAddress = c_.config.cookieAddress;
    o.choice = c_.browser;
    return CreateWebViewInPlaceOf(dialog_, placeholderId, o);
}

void CPreviewLayer::SetVisible(int id, bool visible) {
    if (id == popup::kPreview && preview_) {
        preview_->Show(visible);
        return;
    }
    if (HWND w = ::GetDlgItem(dialog_, id)) ::ShowWindow(w, visible ? SW_SHOW : SW_HIDE);
}

void CPreviewLayer::SetBitmap(int id, int bitmap) {
    HWND button = ::GetDlgItem(dialog_, id);
    if (!button || !IsPictureButton(id)) return;
    pictureIds_[id] = bitmap;
    ::SetWindowTextW(button, PictureLabel(bitmap));
    ::SetPropW(button, kPopupBitmapProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(bitmap)));
}

void CPreviewLayer::PlacePictures() {
    // Each picture is made for its place's size at this DPI: the copy drawn for it where one
    // is, the nearest copy drawn into the place elsewhere.
    for (const auto& [id, bitmap] : pictureIds_) {
        HWND control = ::GetDlgItem(dialog_, id);
        if (!control) continue;
        UniqueBitmap picture = PictureForPlace(resources_, bitmap, dpi_, ClientSize(control));
        if (id == popup::kLeftPicture) {
            SetStaticPicture(control, std::move(picture), &pictures_[id]);
        } else {
            pictures_[id] = std::move(picture);
            ::InvalidateRect(control, nullptr, TRUE);
        }
    }
    for (HWND c = ::GetWindow(dialog_, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        // The lines have no id of their own (IDC_STATIC).
        const int id = ::GetDlgCtrlID(c);
        if ((id != -1 && id != 0xFFFF) || (::GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP) continue;
        const SIZE size = ClientSize(c);
        const int bitmap = size.cx >= size.cy ? IDB_POPUP_HORIZONTAL_LINE : IDB_POPUP_VERTICAL_LINE;
        SetStaticPicture(c, PictureForPlace(resources_, bitmap, dpi_, size), &lines_[c]);
    }
}

void CPreviewLayer::ApplyLook() {
    if (!dialog_) return;
    dpi_ = WindowDpi(dialog_);
    highContrast_ = c_.highContrast && c_.highContrast();
    white_.reset(::CreateSolidBrush(highContrast_ ? ::GetSysColor(COLOR_WINDOW) : kWhite));
    // The controls are given the new fonts before the old ones go.
    UniqueFont title = CreateUiFont(12, 600, false, L"돋움", dpi_);
    UniqueFont message = CreateUiFont(11, FW_NORMAL, false, L"돋움", dpi_);
    for (int id : {popup::kTitle, popup::kId, popup::kPassword}) {
        ::SendDlgItemMessageW(dialog_, id, WM_SETFONT, reinterpret_cast<WPARAM>(title.get()), TRUE);
    }
    ::SendDlgItemMessageW(dialog_, popup::kMessage, WM_SETFONT, reinterpret_cast<WPARAM>(message.get()), TRUE);
    titleFont_ = std::move(title);
    messageFont_ = std::move(message);
    buttonFont_ = CreateUiFont(12, FW_NORMAL, false, L"돋움", dpi_);
    for (auto& [id, button] : buttons_) {
        if (highContrast_) {
            button->SetColors(::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOW),
                              ::GetSysColor(COLOR_WINDOWTEXT));
        } else {
            button->SetColors(kWhite, kWhite, RGB(0, 0, 0));
        }
        button->SetDimmedStyle(!highContrast_);
    }
    hand_.reset(static_cast<HICON>(LoadPictureForDpi(resources_, IDCUR_HAND, IMAGE_CURSOR, dpi_)));
    PlacePictures();
    ::RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CPreviewLayer::DrawPictureButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT& r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0 && !(item.itemState & ODS_NOFOCUSRECT);
    auto picture = pictures_.find(static_cast<int>(item.CtlID));
    if (highContrast_ || picture == pictures_.end() || !picture->second) {
        // Flat: the system's button colours, a one-pixel frame and the picture's words.
        const int face = pressed ? COLOR_HIGHLIGHT : COLOR_BTNFACE;
        const int ink = pressed ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT;
        ::FillRect(dc, &r, ::GetSysColorBrush(face));
        ::FrameRect(dc, &r, ::GetSysColorBrush(COLOR_BTNTEXT));
        wchar_t text[64] = {};
        ::GetWindowTextW(item.hwndItem, text, 64);
        RECT area = r;
        ::InflateRect(&area, -ScalePx(2, dpi_), -ScalePx(1, dpi_));
        SelectedObject font(dc, buttonFont_.get());
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::GetSysColor(ink));
        // DT_VCENTER works on single lines only: a label that may wrap is centred by its measured height.
        RECT measure = area;
        ::DrawTextW(dc, text, -1, &measure, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
        const int spare = (area.bottom - area.top) - (measure.bottom - measure.top);
        if (spare > 0) area.top += spare / 2;
        ::DrawTextW(dc, text, -1, &area, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    } else {
        ::FillRect(dc, &r, white_.get());
        UniqueMemoryDc source(::CreateCompatibleDC(dc));
        if (source) {
            SelectedObject selected(source.get(), picture->second.get());
            const SIZE size = BitmapSize(picture->second.get());
            const int shift = pressed ? 1 : 0;
            ::BitBlt(dc, r.left + shift, r.top + shift, size.cx, size.cy, source.get(), 0, 0, SRCCOPY);
        }
    }
    if (focused) {
        RECT inner = r;
        ::InflateRect(&inner, -ScalePx(2, dpi_), -ScalePx(2, dpi_));
        ::SetTextColor(dc, highContrast_ ? ::GetSysColor(COLOR_BTNTEXT) : RGB(0, 0, 0));
        ::SetBkColor(dc, highContrast_ ? ::GetSysColor(COLOR_BTNFACE) : kWhite);
        ::DrawFocusRect(dc, &inner);
    }
}

LRESULT CALLBACK CPreviewLayer::PictureButtonProc(HWND button, UINT message, WPARAM wp, LPARAM lp, UINT_PTR,
                                                  DWORD_PTR data) {
    auto* self = reinterpret_cast<CPreviewLayer*>(data);
    switch (message) {
        case WM_GETDLGCODE: {
            // A push button to the dialog manager, default or not, though drawn by its owner.
            const bool isDefault = ::GetPropW(button, kDefaultButtonProperty) != nullptr;
            return DLGC_BUTTON | (isDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        }
        case BM_SETSTYLE:
            // The dialog manager moves the default look from button to button; the owner
            // drawing stays.
            if ((wp & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                ::SetPropW(button, kDefaultButtonProperty, reinterpret_cast<HANDLE>(1));
            } else {
                ::RemovePropW(button, kDefaultButtonProperty);
            }
            return ::DefSubclassProc(button, message, (wp & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW, lp);
        case WM_SETCURSOR:
            if (self && self->hand_ && LOWORD(lp) == HTCLIENT) {
                ::SetCursor(reinterpret_cast<HCURSOR>(self->hand_.get()));
                return TRUE;
            }
            break;
        case WM_NCDESTROY:
            ::RemovePropW(button, kDefaultButtonProperty);
            ::RemoveWindowSubclass(button, &PictureButtonProc, kPictureButtonSubclass);
            break;
        default: break;
    }
    return ::DefSubclassProc(button, message, wp, lp);
}

void CPreviewLayer::OnInit() {
    // 1. The hidden browser with the service's login page, the dialog over its owner.
    login_ = MakeBrowser(popup::kLoginBrowser, false, 0, false);
    CentreWindowOver(dialog_, owner_);
    KeepOnScreen(dialog_);
    ReloadLoginPage();

    // 2. The buttons: the page links as CButtonSTs, the picture buttons drawn here.
    for (int id : kTextButtons) {
        auto button = std::make_unique<CButtonST>();
        if (!button->SubclassDlgItem(id, dialog_)) continue;
        button->SetBtnCursor(PictureResourceId(IDCUR_HAND, WindowDpi(dialog_)), resources_);
        buttons_[id] = std::move(button);
    }
    for (int id : kPictureButtons) {
        HWND b = ::GetDlgItem(dialog_, id);
        if (!b) continue;
        const LONG style = ::GetWindowLongW(b, GWL_STYLE);
        if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            ::SetPropW(b, kDefaultButtonProperty, reinterpret_cast<HANDLE>(1));
        ::SetWindowLongW(b, GWL_STYLE, (style & ~BS_TYPEMASK) | BS_OWNERDRAW);
        ::SetWindowSubclass(b, &PictureButtonProc, kPictureButtonSubclass, reinterpret_cast<DWORD_PTR>(this));
    }
    pictureIds_[popup::kLeftPicture] = IDB_POPUP_LOGIN_PICTURE;

    // 3. The title.
    ::SetDlgItemTextW(dialog_, popup::kTitle, CodePageToWideLossy(CP_ACP, request_.title).c_str());

    // 4 to 8. What the login level and the template class show. The preview browser exists
    // before its visibility is set.
    const PreviewPlan plan = PlanPreview(request_.loginLevel, request_.templateClass);
    preview_ = MakeBrowser(popup::kPreview,
                           plan.visible.count(popup::kPreview) ? plan.visible.at(popup::kPreview) : true, 0, true);
    for (const auto& [id, shown] : plan.visible) SetVisible(id, shown);
    ::SetDlgItemTextW(dialog_, popup::kMessage, CodePageToWideLossy(CP_UTF8, plan.message).c_str());
    for (const auto& [id, bitmap] : plan.bitmaps) SetBitmap(id, bitmap);
    ApplyLook();
    if (plan.navigatePreview && preview_) {
        preview_->SetHostFlags(kPreviewHostFlags);
        preview_->Navigate(CodePageToWideLossy(CP_ACP, FullAddress(c_.config, request_.previewAddress)));
    }

    // 9. The keyboard: logged out, typing starts in the id field and Enter logs in; logged
    // in, Enter closes the popup (never a page, never the logout).
    const bool loggedIn = request_.loginLevel >= 0;
    const int defaultButton = loggedIn ? popup::kClose : popup::kLogIn;
    ::SendMessageW(dialog_, DM_SETDEFID, defaultButton, 0);
    firstFocus_ = loggedIn ? popup::kLogOut : popup::kId;
    // Shown here, not when the dialog manager's queue first runs empty (the browsers keep it
    // busy), so that the first field can take the focus now.
    ::ShowWindow(dialog_, SW_SHOWNORMAL);
    PlaceFirstFocus();
}

void CPreviewLayer::PlaceFirstFocus() {
    HWND first = ::GetDlgItem(dialog_, firstFocus_);
    if (!first || !::IsWindowVisible(first)) first = ::GetDlgItem(dialog_, popup::kClose);
    // The modal popup is the window the user works in; where the system left its owner
    // active, the popup takes the activation first.
    if (::GetActiveWindow() != dialog_) ::SetActiveWindow(dialog_);
    if (first) ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    firstFocus_ = 0;
}

void CPreviewLayer::ReloadLoginPage() {
    if (login_) login_->Navigate(CodePageToWideLossy(CP_ACP, FullAddress(c_.config, LoginPagePath())));
}

void CPreviewLayer::End(int result) {
    if (dialog_) ::EndDialog(dialog_, result);
}

std::string CPreviewLayer::FieldText(int id) const {
    wchar_t buffer[kNarrowTextBuffer] = {};
    const int n = ::GetDlgItemTextW(dialog_, id, buffer, static_cast<int>(kNarrowTextBuffer));
    return CutCp949(WideToCodePageLossy(CP_THREAD_ACP, std::wstring_view(buffer, n > 0 ? static_cast<size_t>(n) : 0)));
}

void CPreviewLayer::OpenPage(const std::string& address) {
    if (!address.empty()) c_.shell.Open(address);
}

void CPreviewLayer::OnCommand(int id) {
    switch (id) {
        case popup::kLogIn:
            if (pending_ == pending::kNone) c_.login.Submit(*this);
            break;
        case popup::kLogOut:
            if (pending_ != pending::kNone || c_.login.StartLogout(*this)) break;
            pending_ = pending::kLogout;
            if (login_) login_->Navigate(CodePageToWideLossy(CP_ACP, FullAddress(c_.config, LogoutPagePath())));
            break;
        case popup::kTemplatePage: OpenPage(TemplatePageAddress(request_.link, c_.config, c_.identity)); break;
        case popup::kWeekUpdate:
        case popup::kUpgrade:
        case popup::kSignUp:
        case popup::kFindId:
        case popup::kFindPassword: OpenPage(PopupPageAddress(id, c_.config, c_.identity)); break;
        case IDOK: End(1); break;
        case IDCANCEL: End(2); break;
        default: break;
    }
}

void CPreviewLayer::DocumentComplete(WebView& view) {
    if (&view != login_.get()) return;
    if (pending_ == pending::kLogin) {
        c_.login.AnswerLoaded(*this);
    } else if (pending_ == pending::kLogout) {
        if (c_.login.LogoutLoaded(*this)) return;
        // The service has ended the member's login.
        pending_ = pending::kNone;
        ::MessageBoxW(dialog_, L"로그아웃 되었습니다", L"로그아웃", MB_OK | MB_ICONINFORMATION);
        End(1);
    }
}

int RunLoginPopup(const PopupContext& context, HWND owner, int32_t loginLevel) {
    PreviewRequest request;
    request.loginLevel = loginLevel;
    request.templateClass = -1;
    request.previewAddress = PreviewImagePath(std::string());
    request.link.clear();
    request.title = WideToCodePageLossy(CP_THREAD_ACP, L"회원인증");
    CPreviewLayer popup(context, request);
    return popup.Run(owner);
}

}  // namespace kv
