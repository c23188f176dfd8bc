// What the preview popup (CPreviewLayer, dialog IDD_PREVIEW_POPUP) shows for a login level and a template
// class, and where its page buttons lead; decided here without windows so that the rules can
// be tested natively. CPreviewLayer (PreviewLayer.h) applies the plan to the dialog.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "addin/features/service/Identity.h"
#include "addin/features/service/ServiceConfig.h"
#include "addin/resources/resource.h"

namespace kv {

// What the pane asks the popup to show: the login level, and the chosen entry (none for the
// plain member login).
struct PreviewRequest {
    int32_t loginLevel = -1;
    int32_t templateClass = 0;  // the entry's flag
    std::string previewAddress;
    std::string link;
    std::string title;
};

// Control ids of dialog IDD_PREVIEW_POPUP.
namespace popup {
constexpr int kLeftPicture = IDC_POPUP_LEFT_PICTURE;
constexpr int kPreview = IDC_POPUP_PREVIEW;
constexpr int kPreviewFrame = IDC_POPUP_PREVIEW_FRAME;
constexpr int kTemplatePage = IDC_POPUP_TEMPLATE_PAGE;
constexpr int kTitle = IDC_POPUP_TITLE;
constexpr int kMessage = IDC_POPUP_MESSAGE;
constexpr int kWeekUpdate = IDC_POPUP_WEEK_UPDATE;
constexpr int kIdFrame = IDC_POPUP_ID_FRAME;
constexpr int kPasswordFrame = IDC_POPUP_PASSWORD_FRAME;
constexpr int kId = IDC_POPUP_ID;
constexpr int kPassword = IDC_POPUP_PASSWORD;
constexpr int kLogIn = IDC_POPUP_LOG_IN;
constexpr int kUpgrade = IDC_POPUP_UPGRADE;
constexpr int kSignUp = IDC_POPUP_SIGN_UP;
constexpr int kFindId = IDC_POPUP_FIND_ID;
constexpr int kFindPassword = IDC_POPUP_FIND_PASSWORD;
constexpr int kLogOut = IDC_POPUP_LOG_OUT;
constexpr int kClose = IDC_POPUP_CLOSE;
constexpr int kLoginBrowser = IDC_POPUP_LOGIN_BROWSER;
}  // namespace popup

// The popup's pending action: what the next completion of its hidden login browser answers
// (MemberLogin.h says when it changes).
namespace pending {
constexpr int kNone = 0;
constexpr int kLogin = 1;
constexpr int kLogout = 2;
}  // namespace pending

// Bitmap resources of the popup.
namespace popup_bitmap {
constexpr int kClose = IDB_POPUP_CLOSE;
constexpr int kTemplatePage = IDB_POPUP_TEMPLATE_PAGE;
constexpr int kLogIn = IDB_POPUP_LOG_IN;
constexpr int kLogOut = IDB_POPUP_LOG_OUT;
constexpr int kWeekUpdate = IDB_POPUP_WEEK_UPDATE;
constexpr int kPremiumWeekUpdate = IDB_POPUP_PREMIUM_WEEK_UPDATE;
constexpr int kUpgrade = IDB_POPUP_UPGRADE;
constexpr int kPremiumUpgrade = IDB_POPUP_PREMIUM_UPGRADE;
}  // namespace popup_bitmap

struct PreviewPlan {
    // Controls whose visibility the initialisation sets (id -> shown); the others keep the
    // template's state.
    std::map<int, bool> visible;
    // The message label's text, UTF-8.
    std::string message;
    // Button id -> bitmap resource; buttons not listed carry no bitmap.
    std::map<int, int> bitmaps;
    // Whether the preview browser is given the host flags and the preview address.
    bool navigatePreview = false;
};

// Steps 4 to 8 of the popup's initialisation, in their order (a later step overrides an
// earlier one for the same control).
PreviewPlan PlanPreview(int32_t loginLevel, int32_t templateClass);

// The messages of the template classes (UTF-8).
extern const char kMessageLoggedIn[];
extern const char kMessageClass0[];
extern const char kMessageClass1[];
extern const char kMessageClass2[];

// Button 219: the template link (the service's root page "/" when empty) with "&code=" and
// "&PID=" appended, as an address the shell may open: http:// and https:// addresses as they
// are, a link relative to the service made absolute on the service host. Anything else (a
// local or UNC path, file:, another scheme, control characters or quotes) gives an empty
// text: nothing is opened, so a service reply can never start a program.
std::string TemplatePageAddress(const std::string& link, const ServiceConfig& config, const Identity& identity);

// Pages of the buttons 230, 235, 231, 232 and 233 on the service host (absolute addresses);
// empty for any other id.
std::string PopupPageAddress(int controlId, const ServiceConfig& config, const Identity& identity);

}  // namespace kv
