// The version rule, the version reply into NewestVersion, and get_version / set_DownloadDll's
// exchanges against a real loopback server.
#include <gtest/gtest.h>

#include <cstring>

#include "../exchange/ScriptedServer.h"
#include "../exchange/TestDoubles.h"
#include "UpdateDoubles.h"
#include "addin/features/service/Identity.h"
#include "addin/features/service/ServiceClient.h"
#include "addin/features/update/LibraryService.h"
#include "addin/features/update/Version.h"
#include "tools/kvsign/Signer.h"

namespace kv {
namespace {

using namespace std::string_literals;

TEST(Version, AnyDifferenceWithinTenBytesWantsAnUpdate) {
    struct Case {
        const char* newest;
        bool wanted;
    };
    const Case cases[] = {
        {"0.9.96.6", false}, {"0.9.96.6\n", true}, {"0.9.96.6\r\n", true}, {"0.9.96.61", true}, {"0.9.96.5", true},
        {"0.9.96", true},    {"", true},           {"1.0.0.0", true},      {"0.9.96.6 ", true},
    };
    for (const Case& c : cases) EXPECT_EQ(UpdateWanted(kAddinVersion, c.newest), c.wanted) << c.newest;
    // Only the first 10 bytes count.
    EXPECT_FALSE(UpdateWanted("0123456789A", "0123456789B"));
}

TEST(Version, ReplyIntoTheBuffer) {
    struct Case {
        std::string body;
        bool stored;
        std::string buffer;  // the 10 bytes afterwards
    };
    const Case cases[] = {
        {"0.9.96.6", true, "0.9.96.6\0\0"s},       {"0.9.96.6\r\n", true, "0.9.96.6\r\n"s},
        {"0.9.96.6.1234567", true, "0.9.96.6.1"s}, {"1", true, "1\0\0\0\0\0\0\0\0\0"s},
        {"a\0b"s, true, "a\0b\0\0\0\0\0\0\0"s},    {"", false, "XXXXXXXXXX"},
    };
    for (const Case& c : cases) {
        char buffer[kNewestVersionSize];
        std::memset(buffer, 'X', sizeof buffer);
        EXPECT_EQ(StoreVersionReply(c.body, buffer), c.stored);
        EXPECT_EQ(std::string(buffer, 10), c.buffer);
        EXPECT_EQ(std::string(buffer + 10, 6), "XXXXXX") << "bytes past 10 are not the reply's";
    }
}

class LibraryExchange : public ::testing::Test {
protected:
    std::unique_ptr<ServiceClient> Client(const test::ScriptedServer& server) {
        return std::make_unique<ServiceClient>(net_, cookies_,
                                               ServiceConfigFrom("127.0.0.1:" + std::to_string(server.port()), ""));
    }
    // Every exchange inside its own session.
    void TearDown() override {
        EXPECT_GT(net_.starts, 0);
        EXPECT_EQ(net_.starts, net_.stops);
    }
    test::FixedCookies cookies_{false, ""};
    test::CountingNetwork net_{SystemNetwork()};
};

TEST_F(LibraryExchange, VersionFetch) {
    struct Case {
        const char* name;
        std::vector<test::Step> script;
        bool written;
        std::string buffer;
    };
    const Case cases[] = {
        {"the version", {test::Send("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n0.9.97.1")}, true, "0.9.97.1\0\0"s},
        {"with a line end",
         {test::Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0.9.96.6\r\n")},
         true,
         "0.9.96.6\r\n"s},
        {"empty body", {test::Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")}, false, std::string(10, '\0')},
        {"closed mid-body",
         {test::Send("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n0.9")},
         false,
         std::string(10, '\0')},
    };
    for (const Case& c : cases) {
        test::ScriptedServer server(c.script);
        auto client = Client(server);
        char newest[kNewestVersionSize] = {0};
        EXPECT_EQ(FetchNewestVersion(*client, newest), c.written) << c.name;
        EXPECT_EQ(std::string(newest, 10), c.buffer) << c.name;
        ASSERT_TRUE(server.WaitForRequests(1, 2000)) << c.name;
        EXPECT_EQ(server.requests()[0].rfind("GET /k_app/update/kestrovase_version.ini HTTP/1.1\r\n", 0), 0u)
            << server.requests()[0];
    }
}

TEST_F(LibraryExchange, LibraryDownload) {
    auto key = SigningKey::Generate();
    auto check = MakeP256Check(key->PublicKey());
    const std::string good = SignFile(*key, test::MinimalDll());
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(good.size()) + "\r\n\r\n";
    struct Case {
        const char* name;
        std::vector<test::Step> script;
        int result;
        bool cancel = false;  // the caller stops it once part of the body is in
    };
    const Case cases[] = {
        {"complete and signed", {test::Send(head + good)}, 0},
        {"closed mid-body", {test::Send(head + good.substr(0, 700))}, 1},
        {"not found", {test::Send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found")}, 1},
        {"unsigned", {test::Send("HTTP/1.1 200 OK\r\nContent-Length: 1024\r\n\r\n" + test::MinimalDll())}, 1},
        {"cancelled",
         {test::Send(head + good.substr(0, 700)), test::Pause(300), test::Send(good.substr(700))},
         1,
         true},
    };
    struct StopOnBody : ExchangeProgress {
        bool Continue(size_t received, long long) override { return received == 0; }
    };
    const std::wstring path = L"C:\\lib\\kvu0.tmp";
    for (const Case& c : cases) {
        test::ScriptedServer server(c.script);
        auto client = Client(server);
        test::MemoryFiles files;
        StopOnBody stop;
        EXPECT_EQ(DownloadLibrary(*client, files, *check, path, c.cancel ? &stop : nullptr), c.result) << c.name;
        EXPECT_EQ(files.Exists(path), c.result == 0) << c.name;
        if (c.result == 0) EXPECT_EQ(files.files[path], good);
        EXPECT_TRUE(files.Temporaries().size() == (c.result == 0 ? 1u : 0u)) << c.name;
        EXPECT_TRUE(client->Reply(ReplySlot::UpdateFile).body().empty()) << "the slot lets the file go";
        ASSERT_TRUE(server.WaitForRequests(1, 2000));
        EXPECT_EQ(server.requests()[0].rfind("GET /k_app/update/file_x64/KestrovaSE_new.dll HTTP/1.1\r\n", 0), 0u);
    }
}

}  // namespace
}  // namespace kv
