#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "addin/features/service/Addresses.h"
#include "addin/features/service/UsageLog.h"
#include "platform/Network.h"
#include "platform/Shell.h"
#include "tests/native/search/LoopbackServer.h"

namespace kv {
namespace {

struct RecordingSender : LogSender {
    void Send(const std::string& target, const std::string& userAgentLine) override {
        sent.emplace_back(target, userAgentLine);
    }
    std::vector<std::pair<std::string, std::string>> sent;
};

const std::string kTail = "&version=0.9.96.6&code=kv5830146927713&PID={ABC}";

Identity TestIdentity() {
    return Identity{"{ABC}", kDefaultDistributionCode, true};
}

TEST(UsageLogTest, AddinKindsTable) {
    AddinLogState state;
    state.newestVersion = "0.9.97.1";
    state.openedDocumentName = "a b";
    const std::vector<std::string> expected = {
        "/k_app/DataLog.asp?logtype=install",
        "/k_app/DataLog.asp?logtype=uninstall",
        "/k_app/DataLog.asp?logtype=update&new_version=0.9.97.1",
        "/k_app/DataLog.asp?logtype=exe&program=xls",
        "/k_app/PageProcessing.asp?uflag=1",
        "/k_app/PageProcessing.asp?uflag=2",
        "/k_app/PageProcessing.asp?uflag=3",
        "/k_app/PageProcessing.asp?uflag=4",
        "/k_app/PageProcessing.asp?uflag=5",
        "/k_app/PageProcessing.asp?uflag=7",
        "/k_app/PageProcessing.asp?uflag=8",
        "/k_app/PageProcessing.asp?uflag=9",
        "/k_app/PageProcessing.asp?uflag=10",
        "/k_app/PageProcessing.asp?uflag=11",
        "/k_app/DataLog.asp?logtype=filename&program=xls&kind=client&keyword=ab",
    };
    RecordingSender sender;
    for (int kind = 1; kind <= 15; ++kind) {
        AddinUsageLog(sender, static_cast<UsageEventKind>(kind), ProgramKind::Excel, TestIdentity(), state);
    }
    ASSERT_EQ(sender.sent.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(sender.sent[i].first, expected[i] + kTail) << "kind " << i + 1;
        EXPECT_EQ(sender.sent[i].second, "User-Agent: kestrova\r\n");
    }
}

TEST(UsageLogTest, PaneKindsTable) {
    const std::vector<std::string> expected = {
        "/k_app/DataLog.asp?logtype=install",
        "/k_app/DataLog.asp?logtype=uninstall",
        "/k_app/DataLog.asp?logtype=update",
        "/k_app/DataLog.asp?logtype=exe",
        "/k_app/PageProcessing.asp?uflag=1",
        "/k_app/PageProcessing.asp?uflag=2",
        "/k_app/PageProcessing.asp?uflag=3",
        "/k_app/PageProcessing.asp?uflag=4",
        "/k_app/PageProcessing.asp?uflag=5",
        "/k_app/PageProcessing.asp?uflag=7",
        "/k_app/search_freeform.asp?uflag=8&keyword=kw&logtype=keyword",
        "/k_app/search_bestform.asp?uflag=9",
        "/k_app/search_certform.asp?uflag=10&keyword=kw&logtype=keyword",
        "/k_app/PageProcessing.asp?uflag=11",
        "/k_app/search_weekform.asp?uflag=12",
    };
    RecordingSender sender;
    for (int kind = 1; kind <= 15; ++kind) {
        PaneUsageLog(sender, static_cast<UsageEventKind>(kind), ProgramKind::PowerPoint, PaneLogKeyword, "kw",
                     TestIdentity());
    }
    ASSERT_EQ(sender.sent.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(sender.sent[i].first, expected[i] + "&program=ppt" + kTail) << "kind " << i + 1;
        EXPECT_EQ(sender.sent[i].second, "User-Agent: test\r\n");
    }
}

TEST(UsageLogTest, PaneLogTypesAndProgramSuffix) {
    const Identity id = TestIdentity();
    EXPECT_EQ(PaneUsageLogTarget(UsageEventKind::KeywordSearch, ProgramKind::Word, PaneLogFileName, "k", id),
              "/k_app/search_certform.asp?uflag=10&keyword=k&logtype=filename&program=doc" + kTail);
    EXPECT_EQ(PaneUsageLogTarget(UsageEventKind::FreeSearch, ProgramKind::None, 7, "k", id),
              "/k_app/search_freeform.asp?uflag=8&keyword=k" + kTail);
    EXPECT_EQ(PaneUsageLogTarget(UsageEventKind::Start, ProgramKind::Excel, PaneLogPlain, "", id),
              "/k_app/DataLog.asp?logtype=exe&program=xls" + kTail);
}

TEST(UsageLogTest, KeywordSpacesBecomePlusAndControlBytesCannotBreakTheRequestLine) {
    const Identity id = TestIdentity();
    EXPECT_EQ(
        PaneUsageLogTarget(UsageEventKind::KeywordSearch, ProgramKind::Word, PaneLogKeyword,
                           "\xB0\xDF\xC0\xFB \xBC\xAD  x", id),
        "/k_app/search_certform.asp?uflag=10&keyword=\xB0\xDF\xC0\xFB+\xBC\xAD++x&logtype=keyword&program=doc" + kTail);
    std::string injected =
        PaneUsageLogTarget(UsageEventKind::KeywordSearch, ProgramKind::Word, PaneLogKeyword, "a\r\nX-Evil: 1", id);
    EXPECT_EQ(injected.find('\r'), std::string::npos);
    EXPECT_EQ(injected.find('\n'), std::string::npos);
    EXPECT_NE(injected.find("keyword=a%0D%0AX-Evil:+1&"), std::string::npos) << injected;
}

TEST(UsageLogTest, FileNameLogDropsSpacesKeepsKoreanAndTellsDocumentKind) {
    AddinLogState state;
    state.openedDocumentName = " \xB0\xDF\xC0\xFB\xBC\xAD 2013 final.doc ";
    state.nextOpenIsUserDocument = true;
    const Identity id = TestIdentity();
    EXPECT_EQ(AddinUsageLogTarget(UsageEventKind::DocumentOpen, ProgramKind::Word, id, state),
              "/k_app/DataLog.asp?logtype=filename&program=doc&kind=client&keyword=\xB0\xDF\xC0\xFB\xBC\xAD"
              "2013final.doc" +
                  kTail);
    state.nextOpenIsUserDocument = false;
    EXPECT_NE(
        AddinUsageLogTarget(UsageEventKind::DocumentOpen, ProgramKind::Word, id, state).find("&kind=kestrova&keyword="),
        std::string::npos);
}

TEST(UsageLogTest, NoIdentityStoredAndNoProgramKind) {
    Identity none{"", kDefaultDistributionCode, true};
    EXPECT_EQ(AddinUsageLogTarget(UsageEventKind::Start, ProgramKind::None, none, AddinLogState{}),
              "/k_app/DataLog.asp?logtype=exe&program=&version=0.9.96.6&code=kv5830146927713&PID=");
    EXPECT_EQ(AddinUsageLogTarget(UsageEventKind::Start, static_cast<ProgramKind>(9), none, AddinLogState{}),
              "/k_app/DataLog.asp?logtype=exe&program=&version=0.9.96.6&code=kv5830146927713&PID=");
}

TEST(UsageLogTest, UnknownKindsSendNothing) {
    RecordingSender sender;
    for (int kind : {0, -1, 16, 1000}) {
        AddinUsageLog(sender, static_cast<UsageEventKind>(kind), ProgramKind::Word, TestIdentity(), AddinLogState{});
        PaneUsageLog(sender, static_cast<UsageEventKind>(kind), ProgramKind::Word, PaneLogKeyword, "k", TestIdentity());
    }
    EXPECT_TRUE(sender.sent.empty());
}

TEST(AddressesTest, ReportsAndBrowserPages) {
    const Identity id = TestIdentity();
    EXPECT_EQ(InstallReportPath(id),
              "/k_app/DataLog.asp?logtype=install&PID={ABC}&code=kv5830146927713&version=0.9.96.6");
    EXPECT_EQ(UninstallReportPath(""), "/k_app/DataLog.asp?logtype=uninstall&PID=&version=0.9.96.6");
    EXPECT_EQ(ServicePagePath(3, id), "/k_app/PageProcessing.asp?uflag=3&code=kv5830146927713&PID={ABC}");
    EXPECT_EQ(BannerPagePath("", id), "/k_app/PageProcessing.asp?uflag=11&url=&code=kv5830146927713&PID={ABC}");
    EXPECT_EQ(CertSearchByNamePath("ppt", "k"), "/k_app/search_certform.asp?ext=ppt&logtype=cfilename&keyword=k");

    RecordingShell shell;
    ServiceConfig config;
    config.serviceHost = "svc.example";
    OpenBrowserPage(shell, config, MemberPagePath());
    config.port = 8080;
    OpenBrowserPage(shell, config, MoreResultsPagePath("a b", id));
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[0], "http://svc.example/member/register_change_mypage_pay.asp");
    EXPECT_EQ(shell.opened[1],
              "http://svc.example:8080/k_app/PageProcessing.asp?uflag=7&keyword=a b&code=kv5830146927713&PID={ABC}");
}

// The real sender: one connection, the exact request text, nothing read back.
TEST(UsageLogTest, ServiceSenderPutsTheLogOnTheWire) {
    kvtest::LoopbackServer server([](const std::string&) { return kvtest::ScriptedReply{}; });
    ServiceConfig config;
    config.serviceHost = "127.0.0.1";
    config.port = server.port();
    ServiceLogSender sender(SystemNetwork(), config);
    AddinLogState state;
    state.openedDocumentName = "\xB0\xDF \xC0\xFB.doc";
    AddinUsageLog(sender, UsageEventKind::DocumentOpen, ProgramKind::Word, TestIdentity(), state);
    // Fire and forget: the sender returns before the server has read the request.
    ASSERT_TRUE(server.WaitForHeads(1, 5000));
    std::vector<std::string> heads = server.heads();
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(heads[0], "GET /k_app/DataLog.asp?logtype=filename&program=doc&kind=client&keyword=\xB0\xDF\xC0\xFB.doc" +
                            kTail +
                            " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: kestrova\r\nAccept: */*\r\n"
                            "Accept-Language: ko\r\nCookie: \r\n\r\n");
}

}  // namespace
}  // namespace kv
