#include "addin/features/popup/PreviewLayer.h"

#include <string_view>

#include "addin/base/shared/TextCut.h"
#include "addin/base/ui/ResourceModule.h"
#include "addin/features/popup/CertDlg.h"
#include "addin/features/service/Addresses.h"
#include "platform/WinText.h"

namespace kv {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kLabelGrey = 0xAAAAAA;

// "돋움" at a pixel height, Hangul character set.
HFONT DotumFont(int height, int weight) {
    return ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, HANGUL_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"돋움");
}

// Every push button of the popup is a CButtonST.
constexpr int kButtons[] = {popup::kTemplatePage, popup::kWeekUpdate,   popup::kLogIn,  popup::kUpgrade, popup::kSignUp,
                            popup::kFindId,       popup::kFindPassword, popup::kLogOut, popup::kClose};
// Drawn in the dimmed style: the page links that are offers rather than actions.
bool DimmedButton(int id) {
    return id == popup::kSignUp || id == popup::kFindId || id == popup::kFindPassword || id == popup::kWeekUpdate ||
           id == popup::kUpgrade;
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
        case WM_INITDIALOG: OnInit(); return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORBTN: return reinterpret_cast<INT_PTR>(white_.get());
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wp);
            const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lp));
            ::SetBkMode(dc, TRANSPARENT);
            if (id != popup::kTitle) ::SetTextColor(dc, kLabelGrey);
            return reinterpret_cast<INT_PTR>(white_.get());
        }
        case WM_COMMAND:
            if (HIWORD(wp) == BN_CLICKED) OnCommand(LOWORD(wp));
            return TRUE;
        case WM_CLOSE: End(2); return TRUE;
        case WM_DESTROY:
            // The browsers' and buttons' windows go before the dialog's children do.
            preview_.reset();
            login_.reset();
            buttons_.clear();
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
    auto it = buttons_.find(id);
    if (it == buttons_.end()) return;
    if (it->second->SetBitmaps(bitmap, kWhiteTransparent, 0, 0, resources_)) {
        ::SetPropW(it->second->hwnd(), kPopupBitmapProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(bitmap)));
    }
}

void CPreviewLayer::OnInit() {
    // 1. The hidden browser with the service's login page, the dialog over its owner.
    login_ = MakeBrowser(popup::kLoginBrowser, false, 0, false);
    CentreWindowOver(dialog_, owner_);
    ReloadLoginPage();

    // 2. Brush, fonts, the buttons.
    white_.reset(::CreateSolidBrush(kWhite));
    titleFont_.reset(DotumFont(12, 600));
    messageFont_.reset(DotumFont(11, FW_NORMAL));
    for (int id : kButtons) {
        auto button = std::make_unique<CButtonST>();
        if (!button->SubclassDlgItem(id, dialog_)) continue;
        button->SetBtnCursor(IDCUR_HAND, resources_);
        button->SetColors(kWhite, kWhite, RGB(0, 0, 0));
        if (DimmedButton(id)) button->SetDimmedStyle(true);
        buttons_[id] = std::move(button);
    }
    for (int id : {popup::kTitle, popup::kId, popup::kPassword}) {
        ::SendDlgItemMessageW(dialog_, id, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_.get()), FALSE);
    }
    ::SendDlgItemMessageW(dialog_, popup::kMessage, WM_SETFONT, reinterpret_cast<WPARAM>(messageFont_.get()), FALSE);

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
    if (plan.navigatePreview && preview_) {
        preview_->SetHostFlags(kPreviewHostFlags);
        preview_->Navigate(CodePageToWideLossy(CP_ACP, FullAddress(c_.config, request_.previewAddress)));
    }
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
