// A host whose connections hang (a listener with a full backlog on loopback) costs one bounded
// connection attempt; for 60 s after it, exchanges and log requests to it fail at once.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "TestDoubles.h"
#include "addin/features/service/LogRequest.h"
#include "addin/features/service/ServiceClient.h"
#include "addin/features/service/UsageLog.h"
#include "platform/UniqueResource.h"

namespace kv {
namespace {

using namespace test;
using Fd = UniqueResource<int, decltype(&::close), &::close, -1>;
using Steady = std::chrono::steady_clock;

class ManualClock : public Clock {
public:
    int64_t NowMs() override { return now; }
    int64_t now = 1000000;
};

// A listener that never accepts, with its backlog filled by connections of its own: the
// kernel drops further handshakes, so a connect to it hangs until the client gives up.
class FullBacklog {
public:
    FullBacklog() {
        listener_ = Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listener_.get(), 0) != 0 ||
            ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        port_ = ntohs(addr.sin_port);
        // Fill until a connection no longer completes within a moment.
        for (int i = 0; i < 16; ++i) {
            Fd c(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
            ::connect(c.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
            pollfd p{c.get(), POLLOUT, 0};
            bool completed = ::poll(&p, 1, 200) == 1;
            fillers_.push_back(std::move(c));
            if (!completed) {
                full_ = true;
                return;
            }
        }
    }
    int port() const { return port_; }
    bool full() const { return full_; }

private:
    Fd listener_;
    std::vector<Fd> fillers_;
    int port_ = 0;
    bool full_ = false;
};

long long MsSince(Steady::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count();
}

TEST(UnreachableHost, HangingConnectGivesUpAfter3sAndTheHostIsLeftAloneFor60s) {
    FullBacklog peer;
    ASSERT_TRUE(peer.full()) << "could not fill the listener's backlog";
    CountingNetwork net(SystemNetwork());
    FixedCookies cookies(false, "");
    ManualClock clock;
    const ServiceConfig config = ServiceConfigFrom("127.0.0.1:" + std::to_string(peer.port()), "");
    ServiceClient client(net, cookies, config, clock);
    ServiceLogSender sender(net, config, &client.cache());
    const ServiceUrl url = client.Address("/k_app/search_weekform.asp");

    auto start = Steady::now();
    EXPECT_FALSE(client.HttpExchange(ReplySlot::WeekSearch, url));
    long long first = MsSince(start);
    EXPECT_GE(first, 2500) << "the attempt ended before the connect time-out";
    EXPECT_LE(first, 4500) << "a hanging connect must give up after 3 s";
    EXPECT_EQ(net.sockets, 1);

    // Within 60 s: every slot and the log fail at once, with no socket and no name lookup.
    struct Step {
        int64_t advanceMs;
        bool attempts;
    };
    for (Step step : {Step{0, false}, Step{59999, false}, Step{1, true}}) {
        SCOPED_TRACE("after " + std::to_string(clock.now - 1000000 + step.advanceMs) + " ms");
        clock.now += step.advanceMs;
        const int socketsBefore = net.sockets;
        const int resolvesBefore = net.resolves;
        start = Steady::now();
        if (!step.attempts) {
            for (ReplySlot slot : {ReplySlot::CertSearch, ReplySlot::FreeSearch, ReplySlot::TemplateFile})
                EXPECT_FALSE(client.HttpExchange(slot, url));
            sender.Send("/k_app/DataLog.asp?logtype=exe", kPaneUserAgent);
            EXPECT_LT(MsSince(start), 200);
            EXPECT_EQ(net.sockets, socketsBefore) << "a connection was attempted";
            EXPECT_EQ(net.resolves, resolvesBefore);
        } else {
            // 60 s on, the next exchange tries again (and waits its 3 s again).
            EXPECT_FALSE(client.HttpExchange(ReplySlot::WeekSearch, url));
            EXPECT_EQ(net.sockets, socketsBefore + 1);
            EXPECT_GE(MsSince(start), 2500);
        }
    }
}

TEST(UnreachableHost, FailedLogRequestMarksTheHostAndAReachableOneClearsIt) {
    CountingNetwork net(SystemNetwork());
    ManualClock clock;
    HostAddressCache cache(clock);
    // A port where nobody listens: refused at once, and remembered.
    RefusingPort refusing;
    ASSERT_NE(refusing.port(), 0);
    const int freePort = refusing.port();
    const ServiceConfig config = ServiceConfigFrom("127.0.0.1:" + std::to_string(freePort), "");
    SendLogRequest(net, config, "/x", kPaneUserAgent, &cache);
    EXPECT_EQ(net.sockets, 1);
    EXPECT_TRUE(cache.Unreachable("127.0.0.1", freePort));
    EXPECT_FALSE(cache.Unreachable("127.0.0.1", freePort + 1)) << "another port is another service";
    SendLogRequest(net, config, "/x", kPaneUserAgent, &cache);
    EXPECT_EQ(net.sockets, 1) << "a marked host got another attempt";
    // A clock that jumps backwards does not keep the mark forever.
    clock.now -= 1;
    EXPECT_FALSE(cache.Unreachable("127.0.0.1", freePort));
    cache.MarkUnreachable("127.0.0.1", freePort);
    cache.MarkReachable("127.0.0.1", freePort);
    EXPECT_FALSE(cache.Unreachable("127.0.0.1", freePort));
}

}  // namespace
}  // namespace kv
