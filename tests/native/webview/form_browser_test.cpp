// The form browser over a scripted fetcher: loads only after the starting call returned,
// submissions as a browser sends them, redirects, failures and the preview image.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "addin/features/webview/FormBrowser.h"
#include "addin/features/webview/ImageFit.h"
#include "addin/features/webview/PageUrl.h"
#include "platform/Decimal.h"

namespace kv {
namespace {

class ScriptedFetcher : public PageFetcher {
public:
    std::map<std::string, PageReply> replies;  // by url
    std::vector<PageRequest> requests;
    bool Fetch(const PageRequest& request, PageReply* reply) override {
        requests.push_back(request);
        auto it = replies.find(request.url);
        if (it == replies.end()) return false;
        *reply = it->second;
        return true;
    }
    void Page(const std::string& url, const std::string& body, int status = 200, const std::string& location = "") {
        PageReply r;
        r.status = status;
        r.body = body;
        r.location = location;
        replies[url] = r;
    }
};

class CountingScheduler : public LoadScheduler {
public:
    int scheduled = 0;
    void ScheduleLoad() override { ++scheduled; }
};

struct Browser {
    ScriptedFetcher fetcher;
    CountingScheduler scheduler;
    FormBrowser browser{fetcher, scheduler};
    void Load(const std::string& url) {
        ASSERT_TRUE(browser.Navigate(url));
        ASSERT_TRUE(browser.RunPending());
    }
};

const char kLoginPage[] =
    "<form id=\"login_form\" method=\"get\" action=\"/k_app/login.asp\">\n"
    "<input type=\"text\" id=\"id\" name=\"id\"><input type=\"password\" id=\"pwd\" name=\"pwd\">\n"
    "<input type=\"hidden\" id=\"PID\" name=\"PID\" value=\"\"><input type=\"hidden\" id=\"bms_code\" "
    "name=\"bms_code\" value=\"\">\n"
    "<input type=\"submit\" id=\"login_submit\" value=\"login\"></form>";

TEST(FormBrowser, LoadsOnlyAfterTheStartingCallReturned) {
    Browser b;
    b.fetcher.Page("http://h/first", "first");
    b.fetcher.Page("http://h/second", "second");
    EXPECT_FALSE(b.browser.RunPending()) << "nothing pending yet";
    ASSERT_TRUE(b.browser.Navigate("http://h/first"));
    ASSERT_TRUE(b.browser.Navigate("http://h/second"));
    EXPECT_TRUE(b.fetcher.requests.empty()) << "Navigate itself never loads";
    EXPECT_EQ(1, b.scheduler.scheduled) << "one pending load, one scheduled run";
    ASSERT_TRUE(b.browser.RunPending());
    ASSERT_EQ(1u, b.fetcher.requests.size());
    EXPECT_EQ("second", b.browser.BodyText()) << "the last navigation wins";
    EXPECT_FALSE(b.browser.RunPending());
    for (const char* bad : {"https://h/", "file:///c:/x", "javascript:x", "", "http://"}) {
        EXPECT_FALSE(b.browser.Navigate(bad)) << bad;
    }
    EXPECT_EQ(1, b.scheduler.scheduled);
}

TEST(FormBrowser, SubmitsTheLoginFormAsABrowserDoes) {
    Browser b;
    b.fetcher.Page("http://h:81/k_app/login.asp", kLoginPage);
    b.Load("http://h:81/k_app/login.asp");
    EXPECT_TRUE(b.browser.SetInputValue("id", "kv user&1"));
    EXPECT_TRUE(b.browser.SetInputValue("pwd", "\xB0\xA1=%+"));  // a Hangul syllable in code page 949
    EXPECT_TRUE(b.browser.SetInputValue("PID", "{0A-1b}"));
    EXPECT_TRUE(b.browser.SetInputValue("bms_code", "*-._~"));
    EXPECT_FALSE(b.browser.SetInputValue("login_form", "x")) << "a form is no input";
    EXPECT_FALSE(b.browser.SetInputValue("missing", "x"));
    ASSERT_TRUE(b.browser.Click("login_submit"));
    EXPECT_EQ(1u, b.fetcher.requests.size()) << "the click only schedules";
    b.fetcher.Page("http://h:81/k_app/login.asp?id=kv+user%261&pwd=%B0%A1%3D%25%2B&PID=%7B0A-1b%7D&bms_code=*-._%7E",
                   "ok");
    ASSERT_TRUE(b.browser.RunPending());
    ASSERT_EQ(2u, b.fetcher.requests.size());
    EXPECT_EQ("GET", b.fetcher.requests[1].method);
    EXPECT_EQ("ok", b.browser.BodyText()) << b.fetcher.requests[1].url;
}

TEST(FormBrowser, SubmissionTable) {
    struct Case {
        const char* name;
        std::string page;
        const char* click;
        bool clicks;
        std::string method, url, body;
    };
    const std::string base = "http://h/dir/page.asp?old=1";
    const std::vector<Case> cases = {
        {"post to a relative action, every kind of field",
         "<form method=POST action='save.asp?q=1'><input name=t value=a><input type=hidden name=h value=hv>"
         "<input type=checkbox name=c1 checked><input type=checkbox name=c2 value=v2><input type=radio name=r value=x "
         "checked>"
         "<input name=dis value=d disabled><input value=noname><textarea name=ta>l1\nl2</textarea>"
         "<select name=s><option value=1>one<option selected>two</select><input type=submit name=go value=Go id=go>"
         "<input type=submit name=other value=O><input type=file name=f></form>",
         "go", true, "POST", "http://h/dir/save.asp?q=1", "t=a&h=hv&c1=on&r=x&ta=l1%0Al2&s=two&go=Go"},
        {"get replaces the action's query",
         "<form action='/x?drop=1'><input name=a value=1><button id=b name=bn value=bv>B</button></form>", "b", true,
         "GET", "http://h/x?a=1&bn=bv", ""},
        {"form without an action submits to the page",
         "<form><input name=a value=1><input type=image id=i name=pic></form>", "i", true, "GET",
         "http://h/dir/page.asp?a=1&pic.x=0&pic.y=0", ""},
        {"base href", "<base href='http://other/base/'><form action=go><input type=submit id=s></form>", "s", true,
         "GET", "http://other/base/go?", ""},
        {"link", "<a id=l href='../up.asp#frag'>up</a>", "l", true, "GET", "http://h/up.asp", ""},
        {"submit outside any form", "<input type=submit id=s><form></form>", "s", false, "", "", ""},
        {"no form, plain element", "<p id=p>text</p>", "p", false, "", "", ""},
        {"button of type button", "<form><button type=button id=b>x</button></form>", "b", false, "", "", ""},
        {"disabled submit", "<form><input type=submit id=s disabled></form>", "s", false, "", "", ""},
        {"action with another scheme", "<form action='javascript:steal()'><input type=submit id=s></form>", "s", false,
         "", "", ""},
        {"missing element", "<form></form>", "nothing", false, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Browser b;
        b.fetcher.Page(base, c.page);
        b.Load(base);
        const int before = b.scheduler.scheduled;
        EXPECT_EQ(c.clicks, b.browser.Click(c.click));
        EXPECT_EQ(before + (c.clicks ? 1 : 0), b.scheduler.scheduled);
        if (!c.clicks) continue;
        b.browser.RunPending();
        ASSERT_EQ(2u, b.fetcher.requests.size());
        EXPECT_EQ(c.method, b.fetcher.requests[1].method);
        EXPECT_EQ(c.url, b.fetcher.requests[1].url);
        EXPECT_EQ(c.body, b.fetcher.requests[1].body);
    }
}

TEST(FormBrowser, RedirectsAndFailures) {
    {
        Browser b;  // relative Location, 303 after POST continues as GET, 307 repeats the POST
        b.fetcher.Page("http://h/a/start",
                       "<form method=post action=next><input name=k value=v><input type=submit id=s></form>");
        b.fetcher.Page("http://h/a/next", "", 307, "keep");
        b.fetcher.Page("http://h/a/keep", "", 303, "/done?x");
        b.fetcher.Page("http://h/done?x", "<p>arrived</p>");
        b.Load("http://h/a/start");
        ASSERT_TRUE(b.browser.Click("s"));
        ASSERT_TRUE(b.browser.RunPending());
        ASSERT_EQ(4u, b.fetcher.requests.size());
        EXPECT_EQ("POST", b.fetcher.requests[2].method);
        EXPECT_EQ("k=v", b.fetcher.requests[2].body);
        EXPECT_EQ("GET", b.fetcher.requests[3].method);
        EXPECT_EQ("", b.fetcher.requests[3].body);
        EXPECT_EQ("arrived", b.browser.BodyText());
        EXPECT_EQ("http://h/done?x", b.browser.url());
        EXPECT_FALSE(b.browser.loadFailed());
    }
    struct Case {
        const char* name;
        std::vector<std::vector<std::string>> pages;  // url, status, location
        size_t fetches;
    };
    const std::vector<Case> failures = {
        {"redirect loop", {{"http://h/", "302", "/"}}, FormBrowser::kMaxRedirects + 1},
        {"redirect to another scheme", {{"http://h/", "301", "https://h/"}}, 1},
        {"no reply at all", {}, 1},
    };
    for (const auto& c : failures) {
        SCOPED_TRACE(c.name);
        Browser b;
        for (const auto& p : c.pages) b.fetcher.Page(p[0], "<p>body</p>", kv::ReadDecimal(p[1]), p[2]);
        b.Load("http://h/");
        EXPECT_EQ(c.fetches, b.fetcher.requests.size());
        EXPECT_TRUE(b.browser.loadFailed());
        EXPECT_FALSE(b.browser.hasDocument());
        EXPECT_EQ("", b.browser.BodyText());
        EXPECT_FALSE(b.browser.Click("anything"));
        EXPECT_FALSE(b.browser.SetInputValue("anything", "x"));
    }
    Browser notFound;  // an error page is still a document, flagged as failed
    notFound.fetcher.Page("http://h/", "not found", 404);
    notFound.Load("http://h/");
    EXPECT_TRUE(notFound.browser.hasDocument());
    EXPECT_TRUE(notFound.browser.loadFailed());
    EXPECT_EQ("not found", notFound.browser.BodyText());
}

TEST(FormBrowser, FirstImageOfAPreview) {
    Browser b;
    b.browser.SetLoadFirstImage(true);
    b.fetcher.Page("http://h/p/view.asp", "<p>x</p><img src='img/one.png'><img src=two.png>");
    b.fetcher.Page("http://h/p/img/one.png", "PNGDATA");
    b.Load("http://h/p/view.asp");
    EXPECT_EQ("PNGDATA", b.browser.imageBytes());
    b.fetcher.Page("http://h/none", "<p>no image</p>");
    b.Load("http://h/none");
    EXPECT_EQ("", b.browser.imageBytes());
    b.fetcher.Page("http://h/broken", "<img src=missing.png>");
    b.Load("http://h/broken");
    EXPECT_EQ("", b.browser.imageBytes());
    EXPECT_FALSE(b.browser.loadFailed()) << "a missing picture does not fail the page";
}

TEST(PageUrl, ResolveTable) {
    const std::string base = "http://H:8080/a/b/c.asp?x=1#f";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "http://h:8080/a/b/c.asp?x=1"},
        {"#top", "http://h:8080/a/b/c.asp?x=1"},
        {"?y=2", "http://h:8080/a/b/c.asp?y=2"},
        {"d.asp", "http://h:8080/a/b/d.asp"},
        {"  d.asp\n", "http://h:8080/a/b/d.asp"},
        {"./d/", "http://h:8080/a/b/d/"},
        {"../d.asp", "http://h:8080/a/d.asp"},
        {"../../../../d", "http://h:8080/d"},
        {"..", "http://h:8080/a/"},
        {"/k/./l/../m?q", "http://h:8080/k/m?q"},
        {"//other/x", "http://other/x"},
        {"HTTP://Other:81/y#frag", "http://other:81/y"},
        {"http://o/a b", "http://o/a+b"},
        {"https://x/", ""},
        {"javascript:alert(1)", ""},
        {"file:///c:/x", ""},
        {"\\\\server\\share", "http://h:8080/a/b/\\\\server\\share"},
        {"http://h:99999/", ""},
        {"http://h:0/", ""},
        {"http://user@h/", ""},
        {"http://h/\r\nX: y", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.second, ResolveUrl(base, c.first)) << c.first;
    }
    EXPECT_EQ("", ResolveUrl("not an address", "x"));
}

TEST(ImageFit, ScaledIntoTheBoxKeepingItsShape) {
    struct Case {
        int w, h, boxW, boxH;
        FitBox want;
    };
    const std::vector<Case> cases = {
        {140, 180, 150, 240, {0, 24, 150, 192}},  // taller box: full width, centred vertically
        {140, 180, 300, 180, {80, 0, 140, 180}},  // wider box: full height, centred horizontally
        {1000, 10, 100, 100, {0, 49, 100, 1}},    // a thin strip keeps at least one pixel
        {1, 1, 122, 177, {0, 27, 122, 122}},      // small pictures grow
        {0, 10, 100, 100, {0, 0, 0, 0}},          // nothing to draw
        {10, 10, 0, 100, {0, 0, 0, 0}},
        {46341, 46341, 46341, 46340, {0, 0, 46340, 46340}},  // no overflow in the comparison
    };
    for (const auto& c : cases) {
        FitBox got = FitImage(c.w, c.h, c.boxW, c.boxH);
        EXPECT_EQ(c.want.x, got.x) << c.w << "x" << c.h << " in " << c.boxW << "x" << c.boxH;
        EXPECT_EQ(c.want.y, got.y) << c.w << "x" << c.h << " in " << c.boxW << "x" << c.boxH;
        EXPECT_EQ(c.want.width, got.width) << c.w << "x" << c.h << " in " << c.boxW << "x" << c.boxH;
        EXPECT_EQ(c.want.height, got.height) << c.w << "x" << c.h << " in " << c.boxW << "x" << c.boxH;
    }
}

}  // namespace
}  // namespace kv
