// What the preview popup (CPreviewLayer, dialog 136) shows for a login level and a template
// class, and where its page buttons lead; decided here without windows so that the rules can
// be tested natively. CPreviewLayer (PreviewLayer.h) applies the plan to the dialog.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "addin/features/service/Identity.h"
#include "addin/features/service/ServiceConfig.h"

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

// Control ids of dialog 136.
namespace popup {
constexpr int kLeftPicture = 234;
constexpr int kPreview = 223;
constexpr int kPreviewFrame = 236;
constexpr int kTemplatePage = 219;
constexpr int kTitle = 216;
constexpr int kMessage = 225;
constexpr int kWeekUpdate = 230;
constexpr int kIdFrame = 228;
constexpr int kPasswordFrame = 229;
constexpr int kId = 211;
constexpr int kPassword = 212;
constexpr int kLogIn = 215;
constexpr int kUpgrade = 235;
constexpr int kSignUp = 231;
constexpr int kFindId = 232;
constexpr int kFindPassword = 233;
constexpr int kLogOut = 226;
constexpr int kClose = 2;
constexpr int kLoginBrowser = 213;
}  // namespace popup

// Bitmap resources of the popup.
namespace popup_bitmap {
constexpr int kClose = 256;
constexpr int kTemplatePage = 257;
constexpr int kLogIn = 258;
constexpr int kLogOut = 259;
constexpr int kWeekUpdate = 260;
constexpr int kPremiumWeekUpdate = 266;
constexpr int kUpgrade = 267;
constexpr int kPremiumUpgrade = 268;
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
