#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "ScriptedServer.h"
#include "TestDoubles.h"
#include "addin/features/service/LogRequest.h"
#include "addin/features/service/RequestText.h"
#include "addin/features/service/ServiceClient.h"

namespace kv {
namespace {

using test::CountingNetwork;
using test::FixedCookies;

TEST(RequestText, GetRequestBytesWithCookieFromTheStore) {
    FixedCookies cookies(true, "sid=42; lv=3");
    std::string request = BuildGetRequest(cookies, "http://cookies.example", "/a?b=c+d", "h");
    EXPECT_EQ(request,
              "GET /a?b=c+d HTTP/1.1\r\n"
              "Host: h\r\n"
              "User-Agent: test\r\n"
              "Accept: */*\r\n"
              "Accept-Language: ko\r\n"
              "Cookie: sid=42; lv=3\r\n"
              "\r\n");
    EXPECT_EQ(cookies.askedUrl, "http://cookies.example");
    EXPECT_EQ(cookies.askedCapacity, 4096u);
}

TEST(RequestText, CookieLineStaysWhenTheStoreFailsAndEmptyTargetIsSlash) {
    FixedCookies none(false, "ignored=1");
    EXPECT_EQ(BuildGetRequest(none, "http://c", "", "app.example"),
              "GET / HTTP/1.1\r\n"
              "Host: app.example\r\n"
              "User-Agent: test\r\n"
              "Accept: */*\r\n"
              "Accept-Language: ko\r\n"
              "Cookie: \r\n"
              "\r\n");
    // A cookie value can never add a header line of its own.
    FixedCookies evil(true, "a=1\r\nX-Evil: 1");
    std::string request = BuildGetRequest(evil, "http://c", "/", "h");
    EXPECT_NE(request.find("Cookie: a=1X-Evil: 1\r\n\r\n"), std::string::npos) << request;
}

TEST(RequestText, LogRequestBytesHaveAnAlwaysEmptyCookie) {
    EXPECT_EQ(BuildLogRequest("/k_app/DataLog.asp?logtype=exe&program=doc", "app.example", "User-Agent: kestrova\r\n"),
              "GET /k_app/DataLog.asp?logtype=exe&program=doc HTTP/1.1\r\n"
              "Host: app.example\r\n"
              "User-Agent: kestrova\r\n"
              "Accept: */*\r\n"
              "Accept-Language: ko\r\n"
              "Cookie: \r\n"
              "\r\n");
    // Keywords travel raw (code page 949 bytes included) but cannot break the request line.
    std::string request = BuildLogRequest("/s?keyword=\xC7\xD1 a\r\nX: 1", "h", "User-Agent: test\r\n");
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /s?keyword=\xC7\xD1+a%0D%0AX:+1 HTTP/1.1");
}

TEST(ServiceSettings, DefaultsAndHostPortOverrides) {
    ServiceConfig d = DefaultServiceConfig();
    EXPECT_FALSE(d.serviceHost.empty());
    EXPECT_EQ(d.port, 80);
    EXPECT_EQ(d.cookieAddress.compare(0, 7, "http://"), 0);

    ServiceConfig local = ServiceConfigFrom("127.0.0.1:8080", "http://cookies.example");
    EXPECT_EQ(local.serviceHost, "127.0.0.1");
    EXPECT_EQ(local.port, 8080);
    EXPECT_EQ(local.cookieAddress, "http://cookies.example");

    EXPECT_EQ(ServiceConfigFrom("svc.example", "").port, 80);
    EXPECT_EQ(ServiceConfigFrom("svc.example", "").cookieAddress, d.cookieAddress);
    EXPECT_EQ(ServiceConfigFrom("", "").serviceHost, d.serviceHost);
    // A port that is not a plain number in range keeps the host and port 80.
    for (const char* bad :
         {"svc.example:http", "svc.example:0", "svc.example:65536", "svc.example:", "svc.example:-1"}) {
        ServiceConfig c = ServiceConfigFrom(bad, "");
        EXPECT_EQ(c.serviceHost, "svc.example") << bad;
        EXPECT_EQ(c.port, 80) << bad;
    }
    EXPECT_EQ(ServiceConfigFrom(":8080", "").serviceHost, d.serviceHost);
}

TEST(ServiceSettings, AddressCarriesThePortOnlyWhenNot80) {
    FixedCookies none(false, "");
    ServiceClient client(SystemNetwork(), none, ServiceConfigFrom("svc.example:8080", ""));
    ServiceUrl url = client.Address("/k_app/banner_list.asp?x=1");
    EXPECT_EQ(url.host, "svc.example");
    EXPECT_EQ(url.port, 8080);
    EXPECT_EQ(url.path, "/k_app/banner_list.asp");
    EXPECT_EQ(url.query, "x=1");
    ServiceClient plain(SystemNetwork(), none, ServiceConfigFrom("svc.example", ""));
    EXPECT_EQ(plain.Address("/k_app/login_status.asp").compose(63), "http://svc.example/k_app/login_status.asp");
}

TEST(ReplySlots, NamesRoundTrip) {
    for (ReplySlot s : {ReplySlot::CertSearch, ReplySlot::WeekSearch, ReplySlot::FreeSearch, ReplySlot::TemplateFile,
                        ReplySlot::UpdateFile}) {
        ReplySlot back;
        ASSERT_TRUE(ParseReplySlot(ReplySlotName(s), &back)) << ReplySlotName(s);
        EXPECT_EQ(back, s);
    }
    ReplySlot unused;
    EXPECT_FALSE(ParseReplySlot("Free", &unused));
    EXPECT_FALSE(ParseReplySlot("", &unused));
    // Files get the longer deadline and the larger body limit.
    EXPECT_GT(LimitsFor(ReplySlot::TemplateFile).deadlineMs, LimitsFor(ReplySlot::FreeSearch).deadlineMs);
    EXPECT_GT(LimitsFor(ReplySlot::UpdateFile).maxBody, LimitsFor(ReplySlot::CertSearch).maxBody);
    EXPECT_EQ(LimitsFor(ReplySlot::WeekSearch).silenceMs, 1000);
    // Lists hold the host's thread for a few seconds at most; a text on a file slot is held to that too.
    for (ReplySlot s : {ReplySlot::CertSearch, ReplySlot::WeekSearch, ReplySlot::FreeSearch})
        EXPECT_EQ(LimitsFor(s).deadlineMs, kListTotalMs) << ReplySlotName(s);
    const ExchangeLimits bound = ListReplyBound(LimitsFor(ReplySlot::UpdateFile));
    EXPECT_EQ(bound.deadlineMs, kListTotalMs);
    EXPECT_EQ(bound.maxBody, LimitsFor(ReplySlot::CertSearch).maxBody);
    ExchangeLimits shorter;
    shorter.deadlineMs = 500;
    EXPECT_EQ(ListReplyBound(shorter).deadlineMs, 500);
}

TEST(LogRequest, SendsOneRequestAndClosesWithoutReading) {
    test::ScriptedServer server({test::Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"), test::Hold()});
    CountingNetwork net(SystemNetwork());
    net.names["log.example"] = htonl(0x7F000001);
    ServiceConfig config = ServiceConfigFrom("log.example:" + std::to_string(server.port()), "");
    SendLogRequest(net, config, "/k_app/DataLog.asp?logtype=install&PID=&code=c", "User-Agent: kestrova\r\n");
    EXPECT_EQ(net.starts, 1);
    EXPECT_EQ(net.stops, 1);
    EXPECT_TRUE(server.WaitForRequests(1, 3000));
    server.Stop();
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0],
              "GET /k_app/DataLog.asp?logtype=install&PID=&code=c HTTP/1.1\r\n"
              "Host: log.example\r\n"
              "User-Agent: kestrova\r\n"
              "Accept: */*\r\n"
              "Accept-Language: ko\r\n"
              "Cookie: \r\n"
              "\r\n");
}

TEST(LogRequest, UnresolvableOrUnreachableHostIsDroppedSilently) {
    CountingNetwork net(SystemNetwork());
    ServiceConfig config = ServiceConfigFrom("no-such-host.invalid", "");
    SendLogRequest(net, config, "/k_app/DataLog.asp?logtype=exe", "User-Agent: test\r\n");
    EXPECT_EQ(net.resolves, 1);
    EXPECT_EQ(net.sockets, 0) << "no connection attempt to an undefined address";
    EXPECT_EQ(net.stops, net.starts);

    // A port where nobody listens: the socket is made, the connection fails, nothing else.
    test::RefusingPort refusing;
    ASSERT_NE(refusing.port(), 0);
    SendLogRequest(net, ServiceConfigFrom("127.0.0.1:" + std::to_string(refusing.port()), ""), "/x",
                   "User-Agent: test\r\n");
    EXPECT_EQ(net.sockets, 1);
    EXPECT_EQ(net.stops, net.starts);
}

}  // namespace
}  // namespace kv
