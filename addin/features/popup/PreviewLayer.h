// CPreviewLayer is the login-and-preview popup (dialog IDD_PREVIEW_POPUP): a modal dialog with
// the template's preview picture (a browser) beside the member login form, which also serves as
// the plain login of the ribbon (template class -1). A hidden browser holds the service's login
// page for the whole run; the login submission itself belongs to a LoginSubmitter.
//
//     CPreviewLayer popup(context, request);   // on the caller's stack for one run
//     if (popup.Run(owner) == 1) ...           // 1: login or logout completed; 2: closed
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "addin/base/ui/ButtonST.h"
#include "addin/base/ui/DialogBase.h"
#include "addin/base/ui/WindowScale.h"
#include "addin/features/popup/PreviewPlan.h"
#include "addin/features/service/Identity.h"
#include "addin/features/service/ServiceConfig.h"
#include "addin/features/webview/WebView.h"
#include "addin/resources/resource.h"
#include "platform/Shell.h"
#include "platform/WinHandles.h"

namespace kv {

// What the login submission sees of the running popup.
class PopupLogin {
public:
    virtual ~PopupLogin() = default;
    virtual HWND dialog() const = 0;
    // Field popup::kId or popup::kPassword, narrow, at most 249 bytes on whole characters.
    virtual std::string FieldText(int id) const = 0;
    // The hidden browser holding the service's login page (null if none could be made).
    virtual WebView* loginBrowser() = 0;
    // pending::kNone, kLogin (login submitted) or kLogout (logout submitted).
    virtual int pendingAction() const = 0;
    virtual void SetPendingAction(int action) = 0;
    // Navigates the hidden browser to the login page again.
    virtual void ReloadLoginPage() = 0;
    // Ends the popup with result (1 or 2).
    virtual void End(int result) = 0;
    virtual const Identity& identity() const = 0;
};

// The log-in button and the answer page of a submitted login.
class LoginSubmitter {
public:
    enum class Outcome { Submitted, NotYet };
    virtual ~LoginSubmitter() = default;
    // Submits the login form (reads the fields, fills and clicks the hidden page); Submitted
    // once the page's form has been sent, with the pending action set to pending::kLogin.
    virtual Outcome Submit(PopupLogin& popup) = 0;
    // The hidden browser completed a document while the pending action is pending::kLogin.
    virtual void AnswerLoaded(PopupLogin& popup) = 0;
    // The log-out button, and a completion while the pending action is pending::kLogout: true
    // when handled by the submitter, false to leave them to the popup's own steps.
    virtual bool StartLogout(PopupLogin&) { return false; }
    virtual bool LogoutLoaded(PopupLogin&) { return false; }
};

struct PopupContext {
    const ServiceConfig& config;
    const Identity& identity;
    Shell& shell;
    LoginSubmitter& login;
    // The module holding the popup's dialog, its bitmaps and the hand cursor (null: this library).
    HMODULE resources = nullptr;
    WebViewOptions::Choice browser = WebViewOptions::Choice::Automatic;
    // Whether the system's high-contrast setting is on (tests stand in for the system's answer).
    bool (*highContrast)() = &HighContrastOn;
};

// Window property on each popup button that carries a picture: the bitmap resource id (for
// tests reading the window tree).
extern const wchar_t kPopupBitmapProperty[];

// The login-and-preview popup.
class CPreviewLayer : public PopupLogin, private DialogBase, private WebViewEvents {
public:
    static constexpr int kDialog = IDD_PREVIEW_POPUP;

    CPreviewLayer(const PopupContext& context, const PreviewRequest& request);
    ~CPreviewLayer() override;

    // Runs the dialog modally; 1 or 2 (2 also when the dialog cannot be created).
    int Run(HWND owner);

    // PopupLogin
    HWND dialog() const override { return dialog_; }
    std::string FieldText(int id) const override;
    WebView* loginBrowser() override { return login_.get(); }
    int pendingAction() const override { return pending_; }
    void SetPendingAction(int action) override { pending_ = action; }
    void ReloadLoginPage() override;
    void End(int result) override;
    const Identity& identity() const override { return c_.identity; }

    WebView* previewBrowser() { return preview_.get(); }

private:
    INT_PTR OnMessage(UINT message, WPARAM wp, LPARAM lp) override;
    void OnInit();
    void OnCommand(int id);
    void DocumentComplete(WebView& view) override;
    std::unique_ptr<WebView> MakeBrowser(int placeholderId, bool visible, DWORD hostFlags, bool firstImage);
    void SetVisible(int id, bool visible);
    void SetBitmap(int id, int bitmap);
    void OpenPage(const std::string& address);
    // Fonts, colours and pictures for the window's DPI and the high-contrast setting; again
    // whenever either changes while the popup is open.
    void ApplyLook();
    void PlaceFirstFocus();
    void PlacePictures();
    // The picture buttons the popup draws itself (WM_DRAWITEM).
    void DrawPictureButton(const DRAWITEMSTRUCT& item);
    static LRESULT CALLBACK PictureButtonProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    PopupContext c_;
    PreviewRequest request_;
    HMODULE resources_;
    HWND owner_ = nullptr;
    int dpi_ = kBaseDpi;
    bool highContrast_ = false;
    UniqueBrush white_;
    UniqueFont titleFont_;
    UniqueFont messageFont_;
    UniqueFont buttonFont_;
    UniqueIcon hand_;
    std::unique_ptr<WebView> preview_;
    std::unique_ptr<WebView> login_;
    // The page links (text buttons) are CButtonSTs; the picture buttons are drawn here.
    std::map<int, std::unique_ptr<CButtonST>> buttons_;
    // Control -> the bitmap resource it shows, and the picture made for its place.
    std::map<int, int> pictureIds_;
    std::map<int, UniqueBitmap> pictures_;
    // The separator lines (statics without an id), and theirs.
    std::map<HWND, UniqueBitmap> lines_;
    int pending_ = pending::kNone;
    // The control the focus goes to once the popup is shown (0 once it went there).
    int firstFocus_ = 0;
};

// The popup for the ribbon's login button: template class -1, no image, no link, the title
// "회원인증". loginLevel is the pane's level, or -1 when it could not be read.
int RunLoginPopup(const PopupContext& context, HWND owner, int32_t loginLevel);

}  // namespace kv
