// The front over real loopback sockets: a client that stops reading a large reply must not pin
// its connection thread past the idle limit, and a stop must join every connection in bounded time.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/UniqueResource.h"
#include "tools/kvservice/RawFront.h"

using namespace kvservice;
using Fd = kv::UniqueResource<int, decltype(&::close), &::close, -1>;
using Clock = std::chrono::steady_clock;

namespace {

int PortOf(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

Fd Listener() {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd.get(), 8) != 0)
        return Fd();
    return fd;
}

Fd Connect(int port) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    int small = 4096;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return Fd();
    return fd;
}

// Stands in for the HTTP server: answers its one connection with far more bytes than the
// socket buffers hold, until the front drops the connection.
class FloodingBackend {
public:
    FloodingBackend() : listener_(Listener()), thread_([this] { Serve(); }) {}
    ~FloodingBackend() {
        ::shutdown(listener_.get(), SHUT_RDWR);
        thread_.join();
    }
    int port() const { return PortOf(listener_.get()); }
    long long sent() const { return sent_; }

private:
    void Serve() {
        Fd c(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!c) return;
        std::string block(64 * 1024, 'x');
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\n";
        if (::send(c.get(), head.data(), head.size(), MSG_NOSIGNAL) <= 0) return;
        for (long long total = 0; total < (1LL << 30);) {
            ssize_t n = ::send(c.get(), block.data(), block.size(), MSG_NOSIGNAL);
            if (n <= 0) return;  // the front has closed its side
            total += n;
            sent_ = total;
        }
    }

    Fd listener_;
    std::atomic<long long> sent_{0};
    std::thread thread_;
};

template <typename Pred>
bool WaitFor(Pred pred, int ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace

TEST(RawFront, ClientThatStopsReadingIsDroppedAndStopJoinsConnections) {
    struct Case {
        const char* what;
        bool stopWhileStuck;  // stop the front while the send is stuck instead of waiting it out
    };
    for (const Case& c : {Case{"idle limit ends the stuck send", false}, Case{"stop ends the stuck send", true}}) {
        SCOPED_TRACE(c.what);
        FloodingBackend backend;
        RawFront front;
        std::string error;
        ASSERT_TRUE(front.Open("127.0.0.1", 0, backend.port(), "", error)) << error;
        // Long enough for the stop case to find the send stuck, short for the idle case.
        front.SetIdleTimeout(c.stopWhileStuck ? 60000 : 700);
        std::thread runner([&front] { front.Run(); });

        Fd client = Connect(front.Port());
        ASSERT_TRUE(client);
        const std::string request = "GET /big HTTP/1.1\r\nHost: x\r\n\r\n";
        ASSERT_EQ(::send(client.get(), request.data(), request.size(), MSG_NOSIGNAL), (ssize_t)request.size());
        // The client never reads: the backend's bytes pile up until every buffer is full.
        long long last = -1;
        ASSERT_TRUE(WaitFor(
            [&] {
                long long now = backend.sent();
                bool still = now > 0 && now == last;
                last = now;
                return still;
            },
            10000))
            << "backend never got stuck; sent " << backend.sent();
        EXPECT_EQ(front.ActiveConnections(), 1);

        auto start = Clock::now();
        if (c.stopWhileStuck) {
            front.Stop();
            runner.join();
        } else {
            EXPECT_TRUE(WaitFor([&] { return front.ActiveConnections() == 0; }, 5000))
                << "connection still pinned by a client that does not read";
            front.Stop();
            runner.join();
        }
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_LT(ms, 3000) << "shutdown took " << ms << " ms";
        // Run() returned, so no connection thread may be left that refers to the front.
        EXPECT_EQ(front.ActiveConnections(), 0);
    }
}
