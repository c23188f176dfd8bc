#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "addin/features/search/TemplateSearch.h"
#include "addin/features/service/UsageLog.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"
#include "platform/Shell.h"
#include "tests/native/search/LoopbackServer.h"
#include "tests/support/FakeHost.h"

namespace kv {
namespace {

// 견적서 and 이력서 in code page 949.
const std::string kEstimate = "\xB0\xDF\xC0\xFB\xBC\xAD";
const std::string kResume = "\xC0\xCC\xB7\xC2\xBC\xAD";

struct NoCookies : CookieSource {
    bool GetCookie(const std::string&, std::string*, size_t) override { return false; }
};

struct RecordingList : ResultList {
    ResultSummary& Summary() override { return summary; }
    void ShowItems(const ItemTable& items) override {
        shown = items;
        ++showCount;
    }
    ResultSummary summary;
    ItemTable shown;
    int showCount = 0;
};

struct Box : SearchBox {
    bool TextEntered() override { return entered; }
    std::string Text() override { return text; }
    bool entered = false;
    std::string text;
};

// <LIST> with count entries: index = first + i, FILE = prefix + i + ext, and the rest.
std::string Entries(int count, const std::string& prefix, const std::string& ext = ".doc", int first = 1) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\n<LIST>\n";
    for (int i = 0; i < count; ++i) {
        std::string n = std::to_string(first + i);
        xml += "<ITEM index=\"" + n + "\" enable=\"0\" flag=\"2\"><FILE>" + prefix + n + ext + "</FILE><FTITLE>T" + n +
               "</FTITLE><URL>/files/" + prefix + n + ext + "</URL><IMAGE>i" + n + ".jpg</IMAGE><LINK>l" + n +
               "</LINK></ITEM>\n";
    }
    return xml + "</LIST>\n";
}

class TemplateSearchTest : public ::testing::Test {
protected:
    TemplateSearchTest()
        : server_([this](const std::string& target) {
              std::lock_guard<std::mutex> lock(mutex_);
              // Longest matching prefix wins, so "/k_app/search_freeform.asp" can cover all keywords.
              std::string best;
              for (auto& entry : replies_) {
                  if (target.compare(0, entry.first.size(), entry.first) == 0 && entry.first.size() > best.size())
                      best = entry.first;
              }
              if (best.empty()) return kvtest::ScriptedReply{kvtest::ScriptedReply::Normal, ""};
              return replies_[best];
          }),
          config_(MakeConfig(server_.port())),
          client_(SystemNetwork(), cookies_, config_),
          sender_(SystemNetwork(), config_),
          app_(MakeFakeApplication(FakeHostKind::Word)),
          search_(SearchServices{client_, hosts_, sender_, shell_, identity_, list_, box_,
                                 [this](const std::string& k) { lastKeyword_ = k; }}) {
        search_.SetApplication(app_->application);
        // Every list answers with one entry unless a test says otherwise.
        for (const char* list : {"/k_app/search_weekform.asp", "/k_app/search_freeform.asp",
                                 "/k_app/search_certform.asp", "/k_app/search_bestform.asp"}) {
            Reply(list, Entries(1, "d"));
        }
    }

    static ServiceConfig MakeConfig(int port) {
        ServiceConfig c;
        c.serviceHost = "127.0.0.1";
        c.port = port;
        return c;
    }
    void Reply(const std::string& prefix, const std::string& body) {
        std::lock_guard<std::mutex> lock(mutex_);
        replies_[prefix] = kvtest::ScriptedReply{kvtest::ScriptedReply::Normal, body};
    }
    void Type(const std::string& text) {
        box_.entered = true;
        box_.text = text;
    }
    std::string Dump() {
        std::string out;
        for (const std::string& t : server_.targets()) out += "  " + t + "\n";
        return out;
    }

    std::mutex mutex_;
    std::map<std::string, kvtest::ScriptedReply> replies_;
    kvtest::LoopbackServer server_;
    ServiceConfig config_;
    NoCookies cookies_;
    ServiceClient client_;
    ServiceLogSender sender_;
    FakeHostEnvironment hosts_;
    RecordingShell shell_;
    Identity identity_{"{PID}", kDefaultDistributionCode, true};
    RecordingList list_;
    Box box_;
    std::shared_ptr<FakeApplication> app_;
    std::string lastKeyword_ = "unset";
    TemplateSearch search_;
};

TEST_F(TemplateSearchTest, EmptyKeywordAsksForTheBestListTwiceAndSendsNoLog) {
    Reply("/k_app/search_weekform.asp", Entries(6, "w"));
    Reply("/k_app/search_bestform.asp", Entries(30, "b"));
    list_.summary.moreResults = 1;
    search_.Search(TemplateSearch::ByKeyword);

    EXPECT_EQ(server_.targets(),
              (std::vector<std::string>{"/k_app/search_weekform.asp", "/k_app/search_bestform.asp?ext=doc",
                                        "/k_app/search_bestform.asp?ext=doc"}))
        << Dump();
    const ItemTable& t = list_.shown;
    EXPECT_EQ(list_.showCount, 1);
    EXPECT_EQ(t[6].fileName, "b1.doc");
    EXPECT_EQ(t[8].fileName, "b3.doc");
    EXPECT_EQ(t[9].fileName, "b4.doc");  // the member section starts with the fourth entry
    EXPECT_EQ(t[28].fileName, "b23.doc");
    for (int slot = 9; slot < 29; ++slot) EXPECT_EQ(t[slot].enabled, 1) << slot;
    EXPECT_EQ(t[9].flag, 2);
    EXPECT_EQ(list_.summary.freeCount, 3);
    EXPECT_EQ(list_.summary.memberCount, 20);
    EXPECT_EQ(list_.summary.moreResults, 0);
    EXPECT_EQ(list_.summary.lastRequestSucceeded, 1);
    EXPECT_EQ(lastKeyword_, "");
}

TEST_F(TemplateSearchTest, TypedKeywordSendsOneLogBeforeTheThreeRequests) {
    Reply("/k_app/search_weekform.asp", Entries(6, "w"));
    Reply("/k_app/search_freeform.asp", Entries(2, "f"));
    Reply("/k_app/search_certform.asp",
          "<R><ITEM index=\"5\" flag=\"7\"><FILE>m.doc</FILE></ITEM><ITEM enable=\"1\"><FILE>n.xls</FILE></ITEM>"
          "<ITEM enable=\"0\"/></R>");
    Type(kResume + " a");
    search_.Search(TemplateSearch::ByKeyword);

    const std::string kw = kResume + "+a";
    EXPECT_EQ(server_.targets(), (std::vector<std::string>{
                                     "/k_app/search_certform.asp?uflag=10&keyword=" + kw +
                                         "&logtype=keyword&program=doc&version=0.9.96.6&code=kv5830146927713&PID={PID}",
                                     "/k_app/search_weekform.asp", "/k_app/search_freeform.asp?ext=doc&keyword=" + kw,
                                     "/k_app/search_certform.asp?ext=doc&keyword=" + kw}))
        << Dump();
    EXPECT_NE(server_.heads()[0].find("User-Agent: test\r\n"), std::string::npos);
    const ItemTable& t = list_.shown;
    // Missing enable under a typed keyword: preview only (-1); the index carries over.
    EXPECT_EQ(t[9].enabled, -1);
    EXPECT_EQ(t[9].flag, 7);
    EXPECT_EQ(t[10].enabled, 1);
    EXPECT_EQ(t[10].index, 5);
    EXPECT_EQ(t[10].flag, 0);
    EXPECT_EQ(t[11].enabled, 0);
    EXPECT_EQ(t[11].visible, 1);
    EXPECT_EQ(t[11].fileName, "");
    EXPECT_EQ(t[12].visible, 0);
    EXPECT_EQ(list_.summary.freeCount, 2);
    EXPECT_EQ(list_.summary.memberCount, 3);
    EXPECT_EQ(list_.summary.moreResults, 1);
    EXPECT_EQ(search_.keyword(), kResume + " a");
    EXPECT_EQ(lastKeyword_, kResume + " a");
}

TEST_F(TemplateSearchTest, DocumentNameKeepsHighBitBytesAndSendsNoLog) {
    Reply("/k_app/search_weekform.asp", Entries(1, "w"));
    search_.SetDocumentName(kEstimate + "_2013.doc");
    search_.Search(TemplateSearch::ByDocumentName);
    EXPECT_EQ(server_.targets(),
              (std::vector<std::string>{"/k_app/search_weekform.asp",
                                        "/k_app/search_freeform.asp?ext=doc&logtype=cfilename&keyword=" + kEstimate,
                                        "/k_app/search_certform.asp?ext=doc&logtype=cfilename&keyword=" + kEstimate}))
        << Dump();
}

TEST_F(TemplateSearchTest, AsciiDocumentNameFallsBackToTheSearchBox) {
    Reply("/k_app/search_weekform.asp", Entries(1, "w"));
    Type("abc");
    search_.SetDocumentName("report_2013.doc");
    search_.Search(TemplateSearch::ByDocumentName);
    std::vector<std::string> targets = server_.targets();
    ASSERT_EQ(targets.size(), 4u) << Dump();
    EXPECT_EQ(targets[0].rfind("/k_app/search_certform.asp?uflag=10&keyword=abc&logtype=keyword", 0), 0u);
    EXPECT_EQ(targets[2], "/k_app/search_freeform.asp?ext=doc&keyword=abc");
}

TEST_F(TemplateSearchTest, SectionsStopAtTheirLimits) {
    Reply("/k_app/search_weekform.asp", Entries(10, "w"));
    Reply("/k_app/search_freeform.asp", Entries(5, "f"));
    Reply("/k_app/search_certform.asp", Entries(25, "m"));
    Type("x");
    search_.Search(TemplateSearch::ByKeyword);
    const ItemTable& t = list_.shown;
    EXPECT_EQ(t[5].fileName, "w6.doc");
    EXPECT_EQ(t[6].fileName, "f1.doc");
    EXPECT_EQ(t[8].fileName, "f3.doc");
    EXPECT_EQ(t[9].fileName, "m1.doc");
    EXPECT_EQ(t[28].fileName, "m20.doc");
    EXPECT_EQ(list_.summary.freeCount, 3);
    EXPECT_EQ(list_.summary.memberCount, 20);
    // Free entries carry no preview fields; weekly ones do.
    EXPECT_EQ(t[6].image, "");
    EXPECT_EQ(t[0].image, "i1.jpg");
    EXPECT_EQ(t[0].link, "l1");
    EXPECT_EQ(t[0].enabled, 1);
    EXPECT_EQ(t[0].flag, 0);
}

TEST_F(TemplateSearchTest, ReaderFollowsTheFirstItemAndItsSiblings) {
    // Elements before the first ITEM are not entries; any element after it is.
    Reply("/k_app/search_weekform.asp",
          "<L><HEAD><FILE>h.doc</FILE></HEAD><ITEM index=\"4\"><FILE>Price.XLS</FILE>"
          "<FTITLE>&lt;\xB0\xDF&amp;</FTITLE></ITEM><OTHER><FILE>a.b.ppt</FILE></OTHER>"
          "<ITEM index=\"x\"><FILE>c.pot</FILE></ITEM><ITEM><FILE>d.xls</FILE></ITEM>"
          "<ITEM><FILE>noext</FILE></ITEM><ITEM><FILE>e.docx</FILE></ITEM></L>");
    search_.Search(TemplateSearch::ByKeyword);
    const ItemTable& t = list_.shown;
    EXPECT_EQ(t[0].fileName, "Price.XLS");
    EXPECT_EQ(t[0].title, "<\xB0\xDF&");
    EXPECT_EQ(t[0].image1, 236);
    EXPECT_EQ(t[0].image2, 239);
    EXPECT_EQ(t[1].fileName, "a.b.ppt");
    EXPECT_EQ(t[1].image1, 237);
    EXPECT_EQ(t[1].image2, 238);
    EXPECT_EQ(t[2].image1, 237);
    EXPECT_EQ(t[3].image1, 226);
    EXPECT_EQ(t[3].image2, 240);
    EXPECT_EQ(t[4].image1, 236);
    EXPECT_EQ(t[5].image1, 236);
    for (int slot = 0; slot < 6; ++slot) EXPECT_EQ(t[slot].index, 4) << slot;
}

TEST_F(TemplateSearchTest, EmptyOrNonXmlReplyEndsTheSearch) {
    // The exchange itself succeeded, so the last-request flag is 1 although the search ends:
    // the list must not claim the network is down when the service answered.
    struct Case {
        const char* list;
        const char* body;
        size_t requests;  // the log request included
        bool weeklyShown;
    };
    const Case cases[] = {
        {"/k_app/search_weekform.asp", "", 2, false}, {"/k_app/search_weekform.asp", "this is not xml <", 2, false},
        {"/k_app/search_freeform.asp", "", 3, true},  {"/k_app/search_certform.asp", "", 4, true},
        {"/k_app/search_certform.asp", "<", 4, true},
    };
    int shows = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.list) + " body \"" + c.body + "\"");
        for (const char* list :
             {"/k_app/search_weekform.asp", "/k_app/search_freeform.asp", "/k_app/search_certform.asp"})
            Reply(list, Entries(2, list == std::string("/k_app/search_weekform.asp") ? "w" : "m"));
        Reply(c.list, c.body);
        list_.summary.lastRequestSucceeded = 0;
        list_.summary.moreResults = 7;
        size_t before = server_.targets().size();
        Type("x");
        search_.Search(TemplateSearch::ByKeyword);
        EXPECT_EQ(server_.targets().size() - before, c.requests) << Dump();
        EXPECT_EQ(list_.showCount, ++shows);
        EXPECT_EQ(list_.summary.lastRequestSucceeded, 1);
        EXPECT_EQ(list_.summary.moreResults, 7);  // set only after a member list was read
        EXPECT_EQ(list_.shown[1].fileName, c.weeklyShown ? "w2.doc" : "");
        EXPECT_EQ(list_.shown[9].visible, 0);
    }
}

TEST_F(TemplateSearchTest, RunningPowerPointTakesPrecedenceOverWord) {
    auto word = MakeFakeApplication(FakeHostKind::Word);
    auto powerpoint = MakeFakeApplication(FakeHostKind::PowerPoint);
    hosts_.running["Word.Application"] = word->application;
    hosts_.running["PowerPoint.Application"] = powerpoint->application;
    search_.SetApplication(MakeFakeApplication(FakeHostKind::Excel)->application);
    Reply("/k_app/search_weekform.asp", Entries(1, "w"));
    search_.Search(TemplateSearch::ByKeyword);
    EXPECT_EQ(search_.hostKind(), HostKind::PowerPoint);
    EXPECT_EQ(search_.application(), powerpoint->application);
    EXPECT_EQ(server_.targets().back(), "/k_app/search_bestform.asp?ext=ppt") << Dump();

    hosts_.running.erase("PowerPoint.Application");
    search_.Search(TemplateSearch::ByKeyword);
    EXPECT_EQ(search_.hostKind(), HostKind::Word);
}

TEST_F(TemplateSearchTest, WithoutApplicationNothingIsRequested) {
    Reply("/k_app/search_weekform.asp", Entries(3, "w"));
    search_.Search(TemplateSearch::ByKeyword);
    ASSERT_EQ(list_.shown[2].fileName, "w3.doc");
    search_.SetApplication(nullptr);
    size_t before = server_.targets().size();
    search_.Search(TemplateSearch::ByKeyword);
    EXPECT_EQ(server_.targets().size(), before);
    EXPECT_EQ(list_.showCount, 2);
    EXPECT_EQ(list_.shown[2].fileName, "w3.doc");  // the previous results, unchanged
}

TEST_F(TemplateSearchTest, UnknownHostFailsBothListRequestsWithoutSendingThem) {
    auto stranger = std::make_shared<FakeHostObject>();
    search_.SetApplication(stranger);
    Reply("/k_app/search_weekform.asp", Entries(3, "w"));
    Type("x");
    list_.summary.moreResults = 1;
    search_.Search(TemplateSearch::ByKeyword);
    EXPECT_EQ(server_.targets(), (std::vector<std::string>{"/k_app/search_weekform.asp"})) << Dump();
    EXPECT_EQ(list_.summary.lastRequestSucceeded, 0);
    EXPECT_EQ(list_.summary.moreResults, 1);  // unchanged by a failed member request
    EXPECT_EQ(list_.shown[0].fileName, "w1.doc");
}

TEST_F(TemplateSearchTest, SelectedEntryIsTheLastMatchOfTheOpenedTemplate) {
    Reply("/k_app/search_weekform.asp", Entries(6, "x"));
    Reply("/k_app/search_bestform.asp", Entries(6, "x"));
    search_.SetLastOpenedTemplate("x2.doc");
    list_.summary.selected = 17;
    search_.Search(TemplateSearch::ByKeyword);
    EXPECT_EQ(list_.summary.selected, 8);  // weekly slot 1, then free slot 7 overrides

    search_.SetLastOpenedTemplate("none.doc");
    search_.Search(TemplateSearch::ByKeyword);
    EXPECT_EQ(list_.summary.selected, 0);
}

TEST_F(TemplateSearchTest, BannerAndBrowserPages) {
    Reply("/k_app/banner_list.asp",
          "<B><ITEM><SUBJECT>\xB0\xDF sale</SUBJECT><URL>http://x/y?a=1&amp;b=2</URL></ITEM><ITEM/></B>");
    search_.LoadBanner();
    EXPECT_EQ(search_.bannerText(), "\xB0\xDF sale");
    search_.OpenBannerPage();
    search_.OpenMoreResults();  // the box shows its placeholder: empty keyword
    Type(kResume);
    search_.OpenMoreResults();
    const std::string base = "http://127.0.0.1:" + std::to_string(server_.port());
    ASSERT_EQ(shell_.opened.size(), 3u);
    EXPECT_EQ(shell_.opened[0],
              base + "/k_app/PageProcessing.asp?uflag=11&url=http://x/y?a=1&b=2&code=kv5830146927713&PID={PID}");
    EXPECT_EQ(shell_.opened[1], base + "/k_app/PageProcessing.asp?uflag=7&keyword=&code=kv5830146927713&PID={PID}");
    EXPECT_EQ(shell_.opened[2],
              base + "/k_app/PageProcessing.asp?uflag=7&keyword=" + kResume + "&code=kv5830146927713&PID={PID}");

    Reply("/k_app/banner_list.asp", "");
    search_.LoadBanner();  // a failed load keeps what the pane has
    EXPECT_EQ(search_.bannerAddress(), "http://x/y?a=1&b=2");
}

TEST_F(TemplateSearchTest, LongInputsAreCutAt249Bytes) {
    Reply("/k_app/search_weekform.asp", Entries(1, "w"));
    // Two-byte characters only: 249 bytes would end on half a character, so 248 stay.
    search_.SetDocumentName(std::string(300, '\xB0'));
    EXPECT_EQ(search_.documentName().size(), 248u);
    Type(std::string(400, 'k'));
    search_.Search(TemplateSearch::ByKeyword);
    EXPECT_EQ(search_.keyword(), std::string(249, 'k'));
    EXPECT_EQ(server_.targets().back(), "/k_app/search_certform.asp?ext=doc&keyword=" + std::string(249, 'k'));
}

}  // namespace
}  // namespace kv
