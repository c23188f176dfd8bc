#include <gtest/gtest.h>

#include <functional>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "addin/features/service/UsageLog.h"
#include "addin/widgets/pane/PaneController.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"
#include "platform/Shell.h"
#include "tests/native/search/LoopbackServer.h"
#include "tests/support/FakeHost.h"

namespace kv {
namespace {

const std::string kGa = "\xB0\xA1";  // 가

struct NoCookies : CookieSource {
    bool GetCookie(const std::string&, std::string*, size_t) override { return false; }
};

struct RecordingView : ResultListView {
    void Show(const ListState& state) override {
        shown = state;
        ++count;
    }
    ListState shown;
    int count = 0;
};

struct RecordingActions : PaneActions {
    void ShowSplash() override { calls.push_back("splash"); }
    void CloseSplash() override { calls.push_back("close"); }
    void OpenTemplate(const std::string& url, const std::string& fileName, int32_t image1) override {
        calls.push_back("open " + url + " " + fileName + " " + std::to_string(image1));
        if (duringOpen) duringOpen();
    }
    int RunPreview(const PreviewRequest& r) override {
        calls.push_back("preview " + std::to_string(r.loginLevel) + " " + std::to_string(r.templateClass) + " " +
                        r.previewAddress + " " + r.link + " " + r.title);
        return previewResult;
    }
    void RequestUiActivation() override { calls.push_back("ui"); }
    void RequestInPlaceActivation() override { calls.push_back("inplace"); }
    std::vector<std::string> calls;
    int previewResult = 0;
    std::function<void()> duringOpen;  // what the thread's messages bring while a download runs
};

std::string Entries(int count, const std::string& prefix, int enable = 1) {
    std::string xml = "<LIST>";
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        xml += "<ITEM index=\"" + n + "\" enable=\"" + std::to_string(enable) + "\" flag=\"4\"><FILE>" + prefix + n +
               ".doc</FILE><FTITLE>T" + prefix + n + "</FTITLE><URL>/f/" + prefix + n + "</URL><IMAGE>i" + n +
               "</IMAGE><LINK>l" + n + "</LINK></ITEM>";
    }
    return xml + "</LIST>";
}

class PaneControllerTest : public ::testing::Test {
protected:
    PaneControllerTest()
        : server_([this](const std::string& target) {
              std::lock_guard<std::mutex> lock(mutex_);
              std::string best;
              for (auto& entry : replies_) {
                  if (target.compare(0, entry.first.size(), entry.first) == 0 && entry.first.size() > best.size())
                      best = entry.first;
              }
              return best.empty() ? kvtest::ScriptedReply{} : replies_[best];
          }),
          client_(SystemNetwork(), cookies_, Config(server_.port())),
          sender_(SystemNetwork(), Config(server_.port())),
          app_(MakeFakeApplication(FakeHostKind::Word)) {
        Reply("/k_app/search_weekform.asp", Entries(6, "w"));
        Reply("/k_app/search_freeform.asp", Entries(3, "f"));
        Reply("/k_app/search_certform.asp", Entries(4, "m", -1));
        Reply("/k_app/search_bestform.asp", Entries(8, "b"));
        Reply("/k_app/login_status.asp", "2");
    }
    static ServiceConfig Config(int port) {
        ServiceConfig c;
        c.serviceHost = "127.0.0.1";
        c.port = port;
        return c;
    }
    void Reply(const std::string& prefix, const std::string& body) {
        std::lock_guard<std::mutex> lock(mutex_);
        replies_[prefix] = kvtest::ScriptedReply{kvtest::ScriptedReply::Normal, body};
    }
    PaneServices Services() {
        return PaneServices{client_, hosts_, sender_, shell_, identity_, shared_, actions_, box_};
    }
    std::string Targets() {
        std::string out;
        for (const std::string& t : server_.targets()) out += t + "\n";
        return out;
    }

    std::mutex mutex_;
    std::map<std::string, kvtest::ScriptedReply> replies_;
    kvtest::LoopbackServer server_;
    NoCookies cookies_;
    ServiceClient client_;
    ServiceLogSender sender_;
    FakeHostEnvironment hosts_;
    RecordingShell shell_;
    Identity identity_{"{PID}", kDefaultDistributionCode, true};
    MemorySharedState shared_;
    RecordingActions actions_;
    MemorySearchBox box_;
    std::shared_ptr<FakeApplication> app_;
};

TEST_F(PaneControllerTest, SearchBeforeTheWindowIsShownWhenTheListAttaches) {
    PaneController pane(Services());
    pane.PutSearchText2("abc", app_->application);
    EXPECT_NE(Targets().find("/k_app/search_certform.asp?ext=doc&keyword=abc"), std::string::npos) << Targets();
    EXPECT_EQ(shared_.LastKeyword(), "abc");

    RecordingView view;
    pane.AttachList(&view);
    EXPECT_EQ(view.count, 1);
    EXPECT_EQ(view.shown.items[0].fileName, "w1.doc");
    EXPECT_EQ(view.shown.summary.memberCount, 4);
    EXPECT_EQ(view.shown.summary.moreResults, 1);
}

TEST_F(PaneControllerTest, SearchTextsAreCutAndEmptyTextsHandledPerMethod) {
    PaneController pane(Services());
    std::string hangul;
    for (int i = 0; i < 150; ++i) hangul += kGa;  // 300 bytes

    struct Step {
        const char* what;
        bool first;  // put_SearchText, else put_SearchText2
        std::string text;
        bool entered;
        std::string box;
    };
    const Step steps[] = {
        {"SearchText2 empty on a fresh box leaves the placeholder", false, "", false, ""},
        {"SearchText2 cuts at 248 whole characters' bytes", false, hangul, true, hangul.substr(0, 248)},
        {"SearchText2 empty keeps the box", false, "", true, hangul.substr(0, 248)},
        {"SearchText empty empties the box, entered", true, "", true, ""},
        {"SearchText cuts too", true, std::string(300, 'a'), true, std::string(249, 'a')},
    };
    for (const Step& s : steps) {
        if (s.first) {
            pane.PutSearchText(s.text, app_->application);
        } else {
            pane.PutSearchText2(s.text, app_->application);
        }
        EXPECT_EQ(box_.TextEntered(), s.entered) << s.what;
        EXPECT_EQ(box_.Text(), s.box) << s.what;
        EXPECT_EQ(shared_.LastKeyword(), s.entered ? s.box : "") << s.what;
    }
}

TEST_F(PaneControllerTest, FileNameSearchFollowsNextOpenIsUserDocument) {
    PaneController pane(Services());
    pane.PutApplication(app_->application);
    const std::string name = "\xB0\xDF\xC0\xFB\xBC\xAD_2013.doc";  // 견적서_2013.doc

    pane.PutSearchFileName(name);  // a fresh block says the next open is the user's
    EXPECT_NE(Targets().find("logtype=cfilename&keyword=\xB0\xDF\xC0\xFB\xBC\xAD"), std::string::npos) << Targets();

    // The search keeps at most 249 bytes of a name, never half a character.
    std::string longName(1, 'x');
    for (int i = 0; i < 150; ++i) longName += kGa;
    pane.search().SetDocumentName(longName);
    EXPECT_EQ(pane.search().documentName(), longName.substr(0, 249));
    pane.search().SetDocumentName(longName.substr(1));
    EXPECT_EQ(pane.search().documentName(), longName.substr(1, 248));

    shared_.SetNextOpenIsUserDocument(false);  // the pane opened a template
    const size_t before = server_.targets().size();
    pane.PutSearchFileName(name);
    const std::vector<std::string> t = server_.targets();
    ASSERT_EQ(t.size(), before + 3);
    EXPECT_EQ(t.back(), "/k_app/search_bestform.asp?ext=doc");
    EXPECT_TRUE(shared_.NextOpenIsUserDocument());
}

TEST_F(PaneControllerTest, LoginLevel) {
    struct Case {
        std::string body;
        int32_t level;
    };
    const Case cases[] = {{"3", 3},
                          {"", -1},
                          {"abc", 0},
                          {"  -2x", -2},
                          {"+7\r\n", 7},
                          {"99999999999", 2147483647},
                          {"-99999999999", -2147483647 - 1}};
    for (const Case& c : cases) EXPECT_EQ(LoginLevelFromBody(c.body), c.level) << c.body;

    PaneController pane(Services());
    EXPECT_EQ(pane.LoginStatus(), -1);
    pane.RefreshLoginLevel();
    EXPECT_EQ(pane.LoginStatus(), 2);
    Reply("/k_app/login_status.asp", "70000");
    pane.RefreshLoginLevel();
    EXPECT_EQ(pane.loginLevel(), 70000);
    EXPECT_EQ(pane.LoginStatus(), static_cast<int16_t>(70000));  // truncated to 16 bits
}

TEST_F(PaneControllerTest, ClicksAndHeaders) {
    PaneController pane(Services());
    RecordingView view;
    pane.AttachList(&view);
    pane.PutSearchText("k", app_->application);
    // Not logged in (-1): member entries (enable -1 here) and weekly picks are previewed.
    struct Case {
        int id;
        int previewResult;
        std::vector<std::string> calls;
        std::string clickedName;
    };
    const Case cases[] = {
        {259, 0, {"splash", "open /f/w1 w1.doc 236", "close"}, ""},
        {262, 0, {"preview -1 0 /k_app/preview_image.asp?image=i4 l4 Tw4"}, ""},
        {234, 0, {"splash", "open /f/f2 f2.doc 236", "close"}, "f2.doc"},
        {237, 0, {"preview -1 4 /k_app/preview_image.asp?image=i1 l1 Tm1"}, "m1.doc"},
        {232, 0, {"ui"}, ""},
    };
    for (const Case& c : cases) {
        actions_.calls.clear();
        shared_.TakeClickedName();
        actions_.previewResult = c.previewResult;
        EXPECT_TRUE(pane.OnCommand(c.id)) << c.id;
        EXPECT_EQ(actions_.calls, c.calls) << c.id;
        EXPECT_EQ(shared_.ClickedName(), c.clickedName) << c.id;
    }
    EXPECT_EQ(view.shown.picksOpen, 0);  // the header click above
    EXPECT_EQ(view.shown.resultsOpen, 1);
    EXPECT_FALSE(pane.OnCommand(4242));

    // A preview that ends with result 1 refreshes the login level and searches again.
    actions_.previewResult = 1;
    const size_t before = server_.targets().size();
    pane.OnCommand(238);
    const std::vector<std::string> t = server_.targets();
    ASSERT_GE(t.size(), before + 2);
    EXPECT_EQ(t[before], "/k_app/login_status.asp");
    EXPECT_EQ(pane.loginLevel(), 2);
}

// The splash serves the thread's messages while a template downloads: clicks arriving then
// start nothing, and the pane takes clicks again once the download is over.
TEST_F(PaneControllerTest, ClicksDuringADownloadStartNothing) {
    PaneController pane(Services());
    RecordingView view;
    pane.AttachList(&view);
    pane.PutSearchText("k", app_->application);
    const struct {
        const char* what;
        int secondId;
    } cases[] = {
        {"the same entry again", 259},
        {"another daily pick", 260},
        {"a free entry (its splash around the decision)", 234},
        {"a weekly pick that would preview", 262},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        actions_.calls.clear();
        bool busyInside = false;
        actions_.duringOpen = [&] {
            busyInside = pane.busy();
            EXPECT_TRUE(pane.OnCommand(c.secondId));
        };
        pane.OnCommand(259);
        actions_.duringOpen = nullptr;
        EXPECT_TRUE(busyInside);
        EXPECT_FALSE(pane.busy());
        const std::vector<std::string> once = {"splash", "open /f/w1 w1.doc 236", "close"};
        EXPECT_EQ(actions_.calls, once);
    }
    actions_.calls.clear();
    pane.OnCommand(260);
    EXPECT_EQ(actions_.calls, (std::vector<std::string>{"splash", "open /f/w2 w2.doc 236", "close"}));
}

TEST_F(PaneControllerTest, ClickedNameHighlightsInTheNextPaneOnly) {
    shared_.SetClickedName("f2.doc");
    PaneController first(Services());
    PaneController second(Services());
    RecordingView a, b;
    first.AttachList(&a);
    second.AttachList(&b);
    first.PutApplication(app_->application);
    second.PutApplication(app_->application);
    // The best list's second entry fills free slot 7 (b2.doc); highlight by the keyword search.
    first.PutSearchText("k", app_->application);
    second.PutSearchText("k", app_->application);
    EXPECT_EQ(a.shown.summary.selected, kFreeFirst + 1 + 1);
    EXPECT_EQ(b.shown.summary.selected, 0);
    EXPECT_EQ(shared_.ClickedName(), "");
}

}  // namespace
}  // namespace kv
