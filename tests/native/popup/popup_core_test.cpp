// The popup's plan by login level and template class, button 219's address.
#include <gtest/gtest.h>

#include <set>

#include "addin/features/popup/PreviewPlan.h"

namespace kv {
namespace {

// The controls the plan decides on, and which of them end up shown.
const std::set<int> kDecided = {226, 230, 235, 211, 212, 228, 229, 215, 223, 236, 234};

std::set<int> Shown(const PreviewPlan& plan) {
    std::set<int> shown;
    for (int id : kDecided) {
        auto it = plan.visible.find(id);
        EXPECT_NE(it, plan.visible.end()) << "no decision for " << id;
        if (it != plan.visible.end() && it->second) shown.insert(id);
    }
    return shown;
}

int BitmapOf(const PreviewPlan& plan, int id) {
    auto it = plan.bitmaps.find(id);
    return it == plan.bitmaps.end() ? 0 : it->second;
}

TEST(PreviewPlan, ControlsMessagesAndPicturesByLevelAndClass) {
    const std::set<int> form = {211, 212, 228, 229, 215};
    const std::set<int> preview = {223, 236};
    struct Case {
        int level, cls;
        std::set<int> shown;
        const char* message;
        int bitmap230, bitmap235;
    };
    auto with = [](std::set<int> a, std::set<int> b) {
        a.insert(b.begin(), b.end());
        return a;
    };
    const Case cases[] = {
        // Logged out: the form, never the log-out button or the offers.
        {-1, -1, with(form, {234}), "", 266, 268},
        {-1, 0, with(form, preview), kMessageClass0, 260, 267},
        {-1, 1, with(form, preview), kMessageClass1, 260, 267},
        {-1, 2, with(form, preview), kMessageClass2, 266, 268},
        {-1, 7, with(form, preview), "", 0, 0},
        {-5, 1, with(form, preview), kMessageClass1, 260, 267},
        // Logged in below the highest level: log-out and the offers.
        {0, -1, {226, 230, 235, 234}, kMessageLoggedIn, 266, 268},
        {0, 0, with({226, 230, 235}, preview), kMessageClass0, 260, 267},
        {1, 1, with({226, 230, 235}, preview), kMessageClass1, 260, 267},
        {0, 2, with({226, 230, 235}, preview), kMessageClass2, 266, 268},
        {0, 7, with({226, 230, 235}, preview), "", 0, 0},
        // Level 3: nothing to upgrade to, whatever the class.
        {3, -1, {226, 234}, kMessageLoggedIn, 266, 268},
        {3, 0, with({226}, preview), kMessageClass0, 260, 267},
        {3, 1, with({226}, preview), kMessageClass1, 260, 267},
        {3, 2, with({226}, preview), kMessageClass2, 266, 268},
        {3, 7, with({226}, preview), "", 0, 0},
        // Above 3 is an ordinary logged-in level.
        {4, 1, with({226, 230, 235}, preview), kMessageClass1, 260, 267},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("level " + std::to_string(c.level) + " class " + std::to_string(c.cls));
        const PreviewPlan plan = PlanPreview(c.level, c.cls);
        EXPECT_EQ(Shown(plan), c.shown);
        EXPECT_EQ(plan.message, c.message);
        EXPECT_EQ(BitmapOf(plan, 230), c.bitmap230);
        EXPECT_EQ(BitmapOf(plan, 235), c.bitmap235);
        EXPECT_EQ(BitmapOf(plan, 219), 257);
        EXPECT_EQ(BitmapOf(plan, 2), 256);
        EXPECT_EQ(BitmapOf(plan, 215), 258);
        EXPECT_EQ(BitmapOf(plan, 226), 259);
        EXPECT_EQ(plan.navigatePreview, c.cls != -1);
        // The plain login shows the template-page button too; otherwise it keeps the template's.
        EXPECT_EQ(plan.visible.count(219) == 1, c.cls == -1);
    }
}

TEST(PreviewPlan, TemplatePageOpensOnlyWebAddresses) {
    ServiceConfig config;
    config.serviceHost = "svc.example";
    config.port = 8080;
    Identity identity;
    identity.installId = "{ID}";
    identity.distributionCode = "kv1";
    const std::string suffix = "&code=kv1&PID={ID}";
    struct Case {
        const char* link;
        std::string expected;
    };
    const Case cases[] = {
        {"http://svc.example/k_app/template_view.asp?idx=3",
         "http://svc.example/k_app/template_view.asp?idx=3" + suffix},
        {"HTTPS://other.example/t?x=1", "HTTPS://other.example/t?x=1" + suffix},
        {"", "http://svc.example:8080/" + suffix},
        {"/k_app/template_view.asp?idx=4", "http://svc.example:8080/k_app/template_view.asp?idx=4" + suffix},
        {"k_app/view.asp?idx=5", "http://svc.example:8080/k_app/view.asp?idx=5" + suffix},
        {"file:///C:/Windows/system32/calc.exe", ""},
        {"C:\\Windows\\system32\\calc.exe", ""},
        {"c:/windows/notepad.exe", ""},
        {"\\\\server\\share\\run.exe", ""},
        {"//server/share/run.exe", ""},
        {"javascript:alert(1)", ""},
        {"mailto:a@b", ""},
        {"ms-settings:privacy", ""},
        {"http://", ""},
        {"http:///path", ""},
        {"http://svc.example/a b", ""},
        {"http://svc.example/\"x", ""},
        {"http://svc.example/\x01", ""},
        {"notepad.exe", "http://svc.example:8080/notepad.exe" + suffix},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TemplatePageAddress(c.link, config, identity), c.expected) << "link: " << c.link;
    }
}

TEST(PreviewPlan, PageButtons) {
    ServiceConfig config;
    config.serviceHost = "svc.example";
    Identity identity;
    identity.installId = "{ID}";
    identity.distributionCode = "kv1";
    EXPECT_EQ(PopupPageAddress(230, config, identity), "http://svc.example/weekupdate/pindex.asp");
    EXPECT_EQ(PopupPageAddress(235, config, identity), "http://svc.example/member/register_change_mypage_pay.asp");
    EXPECT_EQ(PopupPageAddress(231, config, identity),
              "http://svc.example/k_app/PageProcessing.asp?uflag=1&code=kv1&PID={ID}");
    EXPECT_EQ(PopupPageAddress(232, config, identity),
              "http://svc.example/k_app/PageProcessing.asp?uflag=2&code=kv1&PID={ID}");
    EXPECT_EQ(PopupPageAddress(233, config, identity), PopupPageAddress(232, config, identity));
    EXPECT_EQ(PopupPageAddress(215, config, identity), "");
}

}  // namespace
}  // namespace kv
