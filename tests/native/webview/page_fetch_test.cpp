// Page requests against a misbehaving loopback peer: every outcome is bounded, cut-off heads
// are no reply, cookies go to the cookie address, and the request text is what a browser sends.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "addin/features/webview/PageFetch.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"
#include "tests/native/exchange/ScriptedServer.h"

namespace kv {
namespace {

using namespace kv::test;

class RecordingCookies : public CookieSource {
public:
    bool GetCookie(const std::string& url, std::string* cookies, size_t) override {
        askedUrl = url;
        *cookies = "KVMEMBER=old";
        return true;
    }
    bool SetCookie(const std::string& url, const std::string& setCookie) override {
        stored.push_back(url + " " + setCookie);
        return true;
    }
    std::string askedUrl;
    std::vector<std::string> stored;
};

TEST(PageFetch, RequestText) {
    PageRequest post;
    post.method = "POST";
    post.url = "http://h:81/x";
    post.body = "id=a&pwd=%B0%A1";
    // Control bytes never reach the head, so a cookie cannot add a header line.
    EXPECT_EQ(
        "POST /x?q HTTP/1.1\r\nHost: h:81\r\nUser-Agent: test\r\nAccept: */*\r\nAccept-Language: ko\r\n"
        "Cookie: a=1X: y\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 15\r\n"
        "Connection: close\r\n\r\nid=a&pwd=%B0%A1",
        BuildPageRequest(post, "h:81", "/x?q", "a=1\r\nX: y"));
    PageRequest get;
    EXPECT_EQ(
        "GET / HTTP/1.1\r\nHost: h\r\nUser-Agent: test\r\nAccept: */*\r\nAccept-Language: ko\r\nCookie: \r\n"
        "Connection: close\r\n\r\n",
        BuildPageRequest(get, "h", "/", ""));
}

TEST(PageFetch, MisbehavingPeers) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n";
    struct Case {
        const char* name;
        std::vector<Step> script;
        bool ok;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"whole reply, peer keeps the line open",
         {Send("HTTP/1.1 302 Found\r\nLocation: /next\r\nSet-Cookie: KVMEMBER=kvfull; Path=/\r\nContent-Length: "
               "2\r\n\r\nhi"),
          Hold()},
         true,
         "hi"},
        {"silence", {Hold()}, false, ""},
        {"closed at once", {}, false, ""},
        {"closed inside the head", {Send("HTTP/1.1 200 OK\r\nContent-Len")}, false, ""},
        {"closed inside the body", {Send(head + "\r\nabc")}, true, "abc"},
        {"dripping past the deadline", {Drip(head + "\r\n0123456789", 60)}, false, ""},
        {"body over the bound",
         {Send("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + std::string(5000, 'x'))},
         false,
         ""},
        {"not HTTP at all", {Send("SSH-2.0-OpenSSH\r\n\r\n")}, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(c.script);
        RecordingCookies cookies;
        PageFetchLimits limits;
        limits.silenceMs = 300;
        limits.deadlineMs = 1500;
        limits.maxBody = 1000;
        SocketPageFetcher fetcher(SystemNetwork(), cookies, "http://cookie.example/", limits);
        PageRequest request;
        request.url = "http://127.0.0.1:" + std::to_string(server.port()) + "/k_app/login.asp";
        PageReply reply;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(c.ok, fetcher.Fetch(request, &reply));
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(ms, 2500) << "bounded";
        server.Stop();
        if (!c.ok) continue;
        EXPECT_EQ(c.body, reply.body);
        ASSERT_EQ(1u, server.requests().size());
        const std::string sent = server.requests()[0];
        EXPECT_NE(std::string::npos, sent.find("Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n")) << sent;
        EXPECT_NE(std::string::npos, sent.find("Cookie: KVMEMBER=old\r\n")) << sent;
        EXPECT_EQ("http://cookie.example/", cookies.askedUrl);
        if (reply.status == 302) {
            EXPECT_EQ("/next", reply.location);
            ASSERT_EQ(1u, cookies.stored.size());
            EXPECT_EQ("http://cookie.example/ KVMEMBER=kvfull; Path=/", cookies.stored[0]);
        }
    }
}

TEST(PageFetch, AddressesThatAreNeverContacted) {
    RecordingCookies cookies;
    SocketPageFetcher fetcher(SystemNetwork(), cookies, "");
    PageReply reply;
    for (const char* url : {"https://127.0.0.1/", "ftp://127.0.0.1/", "http://127.0.0.1:0/", "http:///x", "",
                            "http://no-such-host.invalid/"}) {
        PageRequest request;
        request.url = url;
        EXPECT_FALSE(fetcher.Fetch(request, &reply)) << url;
    }
    PageRequest put;
    put.method = "PUT";
    put.url = "http://127.0.0.1:1/";
    EXPECT_FALSE(fetcher.Fetch(put, &reply));
    EXPECT_TRUE(cookies.askedUrl.empty()) << "no request text was ever built";
}

}  // namespace
}  // namespace kv
