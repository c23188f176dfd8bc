// Reply-reading exchanges against a real loopback server that misbehaves on purpose.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "ScriptedServer.h"
#include "TestDoubles.h"
#include "addin/features/service/ServiceClient.h"

namespace kv {
namespace {

using namespace test;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

const std::string kOkHead5 = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n";

class Exchange : public ::testing::Test {
protected:
    Exchange()
        : net_(SystemNetwork()), cookies_(false, ""), client_(net_, cookies_, ServiceConfigFrom("127.0.0.1", "")) {
        net_.names["svc.test"] = htonl(0x7F000001);
    }

    // Runs one exchange against the server and remembers how long it took.
    bool Run(ReplySlot slot, const ScriptedServer& server, const std::string& target = "/x") {
        auto start = Clock::now();
        bool ok =
            client_.HttpExchange(slot, ServiceUrl::Parse("http://svc.test:" + std::to_string(server.port()) + target));
        elapsedMs_ = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        return ok;
    }
    const std::string& Body(ReplySlot slot) { return client_.Reply(slot).body(); }
    std::string Got(ReplySlot slot) {
        const HttpParser& r = client_.Reply(slot);
        return "status " + std::to_string(r.status()) + ", phase " + std::to_string(r.phase()) + ", " +
               std::to_string(elapsedMs_) + " ms, body [" + r.body() + "]";
    }

    CountingNetwork net_;
    FixedCookies cookies_;
    ServiceClient client_;
    long long elapsedMs_ = 0;
};

TEST_F(Exchange, SplitRepliesAreJoinedAndTheRequestIsExact) {
    ScriptedServer server({Send("HTTP/1.1 200 OK\r"), Pause(60), Send("\nContent-Le"), Pause(60),
                           Send("ngth: 11\r\n\r\nhello"), Pause(60), Send(" world")});
    EXPECT_TRUE(Run(ReplySlot::FreeSearch, server, "/k_app/search?keyword=a b")) << Got(ReplySlot::FreeSearch);
    EXPECT_EQ(Body(ReplySlot::FreeSearch), "hello world");
    EXPECT_EQ(client_.Reply(ReplySlot::FreeSearch).status(), 200u);
    server.Stop();
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0],
              "GET /k_app/search?keyword=a+b HTTP/1.1\r\nHost: svc.test\r\nUser-Agent: test\r\n"
              "Accept: */*\r\nAccept-Language: ko\r\nCookie: \r\n\r\n");
}

TEST_F(Exchange, ChunkedReplyInPiecesCompletesAtTheZeroChunk) {
    ScriptedServer server({Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r"), Pause(40),
                           Send("\nWiki\r\n5\r\npe"), Pause(40), Send("dia\r\n"), Pause(40), Send("0\r\n\r\n"),
                           Hold()});
    EXPECT_TRUE(Run(ReplySlot::TemplateFile, server)) << Got(ReplySlot::TemplateFile);
    EXPECT_EQ(Body(ReplySlot::TemplateFile), "Wikipedia");
    EXPECT_LT(elapsedMs_, 900);
}

TEST_F(Exchange, KeepAliveAfterACompleteReplyDoesNotDelay) {
    ScriptedServer server({Send(kOkHead5 + "12345"), Hold()});
    EXPECT_TRUE(Run(ReplySlot::WeekSearch, server)) << Got(ReplySlot::WeekSearch);
    EXPECT_EQ(Body(ReplySlot::WeekSearch), "12345");
    EXPECT_LT(elapsedMs_, 900) << "the exchange waited for the peer";
}

TEST_F(Exchange, OneSecondOfSilenceFailsEvenMidReply) {
    ScriptedServer before({Pause(1600), Send(kOkHead5 + "12345")});
    EXPECT_FALSE(Run(ReplySlot::FreeSearch, before)) << Got(ReplySlot::FreeSearch);
    EXPECT_GE(elapsedMs_, 900);
    EXPECT_LT(elapsedMs_, 1550);

    ScriptedServer middle({Send(kOkHead5 + "12"), Pause(1600), Send("345")});
    EXPECT_FALSE(Run(ReplySlot::CertSearch, middle)) << Got(ReplySlot::CertSearch);
    EXPECT_EQ(Body(ReplySlot::CertSearch), "12") << "what was read stays in the slot";
}

TEST_F(Exchange, CloseMidBodyIsTrueForTextAndFalseForFiles) {
    std::vector<Step> cut = {Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789")};
    ScriptedServer text(cut);
    EXPECT_TRUE(Run(ReplySlot::FreeSearch, text)) << Got(ReplySlot::FreeSearch);
    EXPECT_EQ(Body(ReplySlot::FreeSearch), "0123456789");
    for (ReplySlot file : {ReplySlot::TemplateFile, ReplySlot::UpdateFile}) {
        ScriptedServer server(cut);
        EXPECT_FALSE(Run(file, server)) << ReplySlotName(file) << ": " << Got(file);
    }
    // Cut inside a chunked body, and a close before any byte at all.
    ScriptedServer chunked({Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nWiki")});
    EXPECT_FALSE(Run(ReplySlot::TemplateFile, chunked)) << Got(ReplySlot::TemplateFile);
    ScriptedServer silent(std::vector<Step>{});
    EXPECT_TRUE(Run(ReplySlot::WeekSearch, silent)) << Got(ReplySlot::WeekSearch);
    EXPECT_EQ(Body(ReplySlot::WeekSearch), "");
}

TEST_F(Exchange, FilesNeedAWhole2xxReply) {
    ScriptedServer ok({Send(kOkHead5 + "\x00\x01\r\n\x1a"s), Hold()});
    EXPECT_TRUE(Run(ReplySlot::TemplateFile, ok)) << Got(ReplySlot::TemplateFile);
    EXPECT_EQ(Body(ReplySlot::TemplateFile), "\x00\x01\r\n\x1a"s);

    ScriptedServer missing({Send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"), Hold()});
    EXPECT_FALSE(Run(ReplySlot::UpdateFile, missing)) << Got(ReplySlot::UpdateFile);
    // Text slots leave the status to their callers.
    ScriptedServer missingText({Send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"), Hold()});
    EXPECT_TRUE(Run(ReplySlot::FreeSearch, missingText)) << Got(ReplySlot::FreeSearch);

    // No length and no chunking: the parser stops after the first block, which is no file.
    ScriptedServer unsized({Send("HTTP/1.1 200 OK\r\n\r\npart of a file"), Hold()});
    EXPECT_FALSE(Run(ReplySlot::TemplateFile, unsized)) << Got(ReplySlot::TemplateFile);
}

TEST_F(Exchange, DrippingServerHitsTheOverallDeadline) {
    ExchangeLimits limits = LimitsFor(ReplySlot::FreeSearch);
    limits.deadlineMs = 1200;
    client_.SetLimits(ReplySlot::FreeSearch, limits);
    ScriptedServer server({Drip("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n12345", 300)});
    EXPECT_FALSE(Run(ReplySlot::FreeSearch, server)) << Got(ReplySlot::FreeSearch);
    EXPECT_GE(elapsedMs_, 1100);
    EXPECT_LT(elapsedMs_, 2500);
    // The next lists of the same action fail at once, without another connection.
    EXPECT_FALSE(Run(ReplySlot::WeekSearch, server));
    EXPECT_LT(elapsedMs_, 100);
    EXPECT_EQ(server.connections(), 1);
}

// Records each call between reads and the longest gap between two of them; stops the
// exchange once stopAt body bytes have come.
struct RecordingProgress : ExchangeProgress {
    size_t stopAt = SIZE_MAX;
    std::vector<std::pair<size_t, long long>> calls;
    Clock::time_point last = Clock::now();
    long long longestGapMs = 0;
    bool Continue(size_t received, long long total) override {
        const Clock::time_point now = Clock::now();
        longestGapMs = std::max<long long>(longestGapMs, (now - last) / std::chrono::milliseconds(1));
        last = now;
        calls.emplace_back(received, total);
        return received < stopAt;
    }
};

TEST_F(Exchange, ProgressIsCalledBetweenReadsAndCanStopTheExchange) {
    const std::string big(4000, 'x');
    const struct {
        const char* what;
        std::vector<Step> script;
        size_t stopAt;
        int deadlineMs;
        bool ok;
        long long total;  // the announced length once the head is in
        long long minMs, maxMs;
    } cases[] = {
        {"length known, body in pieces",
         {Send(kOkHead5 + "12"), Pause(200), Send("345"), Hold()},
         SIZE_MAX,
         60000,
         true,
         5,
         150,
         1500},
        {"chunked: no length to show",
         {Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n"), Pause(200), Send("0\r\n\r\n"),
          Hold()},
         SIZE_MAX,
         60000,
         true,
         -1,
         150,
         1500},
        {"cancelled mid-body by the caller",
         {Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + big), Drip(big, 100), Hold()},
         1,
         60000,
         false,
         100000,
         0,
         400},
        {"silence still ends it: slices do not restart the count",
         {Send(kOkHead5 + "12"), Hold()},
         SIZE_MAX,
         60000,
         false,
         5,
         900,
         1700},
        {"a drip within the silence limit meets the total limit",
         {Drip(kOkHead5 + "12345", 300)},
         SIZE_MAX,
         1200,
         false,
         -1,  // the head is still dripping

         1100,
         2000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ExchangeLimits limits = LimitsFor(ReplySlot::TemplateFile);
        limits.deadlineMs = c.deadlineMs;
        client_.SetLimits(ReplySlot::TemplateFile, limits);
        ScriptedServer server(c.script);
        RecordingProgress progress;
        progress.stopAt = c.stopAt;
        const auto start = Clock::now();
        const bool ok = client_.HttpExchange(
            ReplySlot::TemplateFile, ServiceUrl::Parse("http://svc.test:" + std::to_string(server.port()) + "/t"),
            &progress);
        elapsedMs_ = (Clock::now() - start) / std::chrono::milliseconds(1);
        server.Stop();
        EXPECT_EQ(ok, c.ok) << Got(ReplySlot::TemplateFile);
        EXPECT_GE(elapsedMs_, c.minMs);
        EXPECT_LT(elapsedMs_, c.maxMs);
        ASSERT_FALSE(progress.calls.empty());
        // Often enough to keep a window painted, and never going backwards.
        EXPECT_LT(progress.longestGapMs, 300);
        bool sawTotal = false;
        for (size_t i = 0; i < progress.calls.size(); ++i) {
            if (i > 0) EXPECT_GE(progress.calls[i].first, progress.calls[i - 1].first);
            if (progress.calls[i].second != -1) {
                EXPECT_EQ(progress.calls[i].second, c.total);
                sawTotal = true;
            }
        }
        EXPECT_EQ(sawTotal, c.total != -1);
    }
}

TEST_F(Exchange, BodyOverTheLimitFails) {
    ExchangeLimits limits = LimitsFor(ReplySlot::TemplateFile);
    limits.maxBody = 1000;
    client_.SetLimits(ReplySlot::TemplateFile, limits);
    client_.SetLimits(ReplySlot::FreeSearch, limits);

    ScriptedServer announced(
        {Send("HTTP/1.1 200 OK\r\nContent-Length: 1001\r\n\r\n"), Pause(100), Send(std::string(1001, 'x')), Hold()});
    EXPECT_FALSE(Run(ReplySlot::TemplateFile, announced)) << Got(ReplySlot::TemplateFile);
    EXPECT_EQ(Body(ReplySlot::TemplateFile), "") << "an announced length over the limit ends it at once";

    std::string chunks = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 5; ++i) chunks += "100\r\n" + std::string(256, 'y') + "\r\n";
    ScriptedServer chunked({Send(chunks), Hold()});
    EXPECT_FALSE(Run(ReplySlot::FreeSearch, chunked)) << Got(ReplySlot::FreeSearch);

    ScriptedServer exact({Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(1000, 'z')), Hold()});
    EXPECT_TRUE(Run(ReplySlot::TemplateFile, exact)) << Got(ReplySlot::TemplateFile);
}

TEST_F(Exchange, OverflowingChunkSizeFails) {
    ScriptedServer server({Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFF\r\nabc"), Hold()});
    EXPECT_FALSE(Run(ReplySlot::FreeSearch, server)) << Got(ReplySlot::FreeSearch);
    EXPECT_LT(elapsedMs_, 900) << "a malformed reply must not wait for the silence";
}

TEST_F(Exchange, UnresolvableHostMakesNoConnectionAndNoCacheEntry) {
    ServiceUrl url = ServiceUrl::Parse("http://no-such-host.invalid/k_app/banner_list.asp");
    EXPECT_FALSE(client_.HttpExchange(ReplySlot::FreeSearch, url));
    EXPECT_FALSE(client_.HttpExchange(ReplySlot::FreeSearch, url));
    EXPECT_EQ(net_.sockets, 0);
    EXPECT_EQ(net_.resolves, 2) << "a failed name must not be cached";
    EXPECT_FALSE(client_.HttpExchange(ReplySlot::FreeSearch, ServiceUrl::Parse("/relative/only")));
    EXPECT_FALSE(client_.HttpExchange(ReplySlot::FreeSearch, ServiceUrl::Parse("http://svc.test:0/")));
    EXPECT_FALSE(client_.HttpExchange(ReplySlot::FreeSearch, ServiceUrl::Parse("http://svc.test:70000/")));
    EXPECT_EQ(net_.sockets, 0);
}

TEST_F(Exchange, HostsResolveOnceAndRefusedConnectionsFail) {
    ScriptedServer server({Send(kOkHead5 + "12345")});
    EXPECT_TRUE(Run(ReplySlot::FreeSearch, server)) << Got(ReplySlot::FreeSearch);
    EXPECT_TRUE(Run(ReplySlot::FreeSearch, server)) << Got(ReplySlot::FreeSearch);
    EXPECT_EQ(net_.resolves, 1);
    int port = server.port();
    server.Stop();
    auto start = Clock::now();
    EXPECT_FALSE(client_.HttpExchange(ReplySlot::FreeSearch,
                                      ServiceUrl::Parse("http://svc.test:" + std::to_string(port) + "/")));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(net_.resolves, 1);
}

TEST_F(Exchange, NextExchangeDiscardsTheSlotsPreviousReply) {
    ScriptedServer first({Send(kOkHead5 + "first"), Hold()});
    ASSERT_TRUE(Run(ReplySlot::CertSearch, first)) << Got(ReplySlot::CertSearch);
    ScriptedServer second({Pause(1300)});
    EXPECT_FALSE(Run(ReplySlot::CertSearch, second));
    EXPECT_EQ(Body(ReplySlot::CertSearch), "");
    EXPECT_EQ(client_.Reply(ReplySlot::CertSearch).status(), 0u);
}

// A socket whose receive call reports the close although bytes were announced: the one path
// where the slot decides the outcome.
class ClosingSocket : public Socket {
public:
    bool Connect(uint32_t, int, int) override { return true; }
    long Send(const char*, size_t count) override { return static_cast<long>(count); }
    int WaitReadable(int) override { return 1; }
    long Available() override { return 7; }
    long Receive(char*, size_t) override { return 0; }
};
class ClosingNetwork : public Network {
public:
    bool Start() override { return true; }
    void Stop() override {}
    bool Resolve(const std::string&, uint32_t* addr) override {
        *addr = 1;
        return true;
    }
    std::unique_ptr<Socket> CreateSocket() override { return std::unique_ptr<Socket>(new ClosingSocket); }
};

TEST(ExchangeSlots, ReceiveReportingCloseDecidesBySlot) {
    ClosingNetwork net;
    FixedCookies cookies(false, "");
    ServiceClient client(net, cookies, DefaultServiceConfig());
    ServiceUrl url = ServiceUrl::Parse("http://any.example/");
    EXPECT_TRUE(client.HttpExchange(ReplySlot::CertSearch, url));
    EXPECT_TRUE(client.HttpExchange(ReplySlot::WeekSearch, url));
    EXPECT_TRUE(client.HttpExchange(ReplySlot::FreeSearch, url));
    EXPECT_FALSE(client.HttpExchange(ReplySlot::TemplateFile, url));
    EXPECT_FALSE(client.HttpExchange(ReplySlot::UpdateFile, url));
}

}  // namespace
}  // namespace kv
