#include "addin/features/popup/PreviewPlan.h"

#include <cctype>

#include "addin/features/service/Addresses.h"

namespace kv {

const char kMessageLoggedIn[] = "현재 정상적으로 로그인이 되어 있습니다.";
const char kMessageClass0[] = "케스트로바 회원인증 후 누구나 이용 가능합니다";
const char kMessageClass1[] = "본 컨텐츠는 케스트로바 정회원 서식으로 정회원인증 후 이용 가능합니다";
const char kMessageClass2[] = "본 컨텐츠는 케스트로바 기업/프리미엄 서식으로 회원인증 후 이용 가능합니다";

PreviewPlan PlanPreview(int32_t loginLevel, int32_t templateClass) {
    using namespace popup;
    PreviewPlan plan;
    const bool loggedIn = loginLevel >= 0;
    // 4. The log-out side or the login form (the other side shows).
    for (int id : {kLogOut, kWeekUpdate, kUpgrade}) plan.visible[id] = loggedIn;
    for (int id : {kId, kPassword, kIdFrame, kPasswordFrame, kLogIn}) plan.visible[id] = !loggedIn;
    // 5. Message and upgrade pictures by template class.
    switch (templateClass) {
        case -1:
            plan.bitmaps[kWeekUpdate] = popup_bitmap::kPremiumWeekUpdate;
            plan.bitmaps[kUpgrade] = popup_bitmap::kPremiumUpgrade;
            if (loggedIn) plan.message = kMessageLoggedIn;
            break;
        case 0:
        case 1:
            plan.message = templateClass == 0 ? kMessageClass0 : kMessageClass1;
            plan.bitmaps[kWeekUpdate] = popup_bitmap::kWeekUpdate;
            plan.bitmaps[kUpgrade] = popup_bitmap::kUpgrade;
            break;
        case 2:
            plan.message = kMessageClass2;
            plan.bitmaps[kWeekUpdate] = popup_bitmap::kPremiumWeekUpdate;
            plan.bitmaps[kUpgrade] = popup_bitmap::kPremiumUpgrade;
            break;
        default: break;
    }
    // 6. The highest level has nothing to upgrade to.
    if (loginLevel == 3) plan.visible[kWeekUpdate] = plan.visible[kUpgrade] = false;
    // 7. The fixed pictures.
    plan.bitmaps[kTemplatePage] = popup_bitmap::kTemplatePage;
    plan.bitmaps[kClose] = popup_bitmap::kClose;
    plan.bitmaps[kLogIn] = popup_bitmap::kLogIn;
    plan.bitmaps[kLogOut] = popup_bitmap::kLogOut;
    // 8. Preview or the plain login's picture.
    const bool plainLogin = templateClass == -1;
    plan.visible[kPreview] = !plainLogin;
    plan.visible[kPreviewFrame] = !plainLogin;
    plan.visible[kLeftPicture] = plainLogin;
    if (plainLogin) plan.visible[kTemplatePage] = true;
    plan.navigatePreview = !plainLogin;
    return plan;
}

namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i) {
        if (i >= text.size()) return false;
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

// A scheme ("name:") before any '/', '?' or '#': a drive letter counts as one too.
bool HasScheme(const std::string& text) {
    for (char c : text) {
        if (c == ':') return true;
        if (c == '/' || c == '?' || c == '#') return false;
    }
    return false;
}

}  // namespace

std::string TemplatePageAddress(const std::string& link, const ServiceConfig& config, const Identity& identity) {
    const std::string target = (link.empty() ? std::string("/") : link) + IdentitySuffix(identity);
    for (unsigned char c : target) {
        if (c < 0x21 || c == 0x7F || c == '"' || c == '\\') return std::string();
    }
    if (StartsWithNoCase(target, "http://") || StartsWithNoCase(target, "https://")) {
        // The link must name a host ("http://" alone, or followed by a path, is no address).
        const size_t host = target.find("//") + 2;
        if (host >= link.size() || !std::isalnum(static_cast<unsigned char>(link[host]))) return std::string();
        return target;
    }
    if (HasScheme(target) || target.compare(0, 2, "//") == 0) return std::string();
    return FullAddress(config, target[0] == '/' ? target : "/" + target);
}

std::string PopupPageAddress(int controlId, const ServiceConfig& config, const Identity& identity) {
    switch (controlId) {
        case popup::kWeekUpdate: return FullAddress(config, WeekUpdatePagePath());
        case popup::kUpgrade: return FullAddress(config, MemberPagePath());
        case popup::kSignUp: return FullAddress(config, ServicePagePath(kPageSignUp, identity));
        case popup::kFindId:
        case popup::kFindPassword: return FullAddress(config, ServicePagePath(kPageFindId, identity));
        default: return std::string();
    }
}

}  // namespace kv
