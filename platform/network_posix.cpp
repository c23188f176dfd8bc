// BSD sockets for the native build (tools and tests on Linux).
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "platform/Network.h"
#include "platform/UniqueFd.h"

namespace kv {

namespace {

int PollFor(int fd, short events, int timeoutMs) {
    pollfd p{};
    p.fd = fd;
    p.events = events;
    for (;;) {
        int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return r;
        return 1;
    }
}

class PosixSocket : public Socket {
public:
    explicit PosixSocket(int fd) : fd_(fd) {}

    bool Connect(uint32_t addr, int port, int timeoutMs) override {
        if (port <= 0 || port > 65535) return false;
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        sa.sin_addr.s_addr = addr;
        // Non-blocking connect so an unreachable host costs a bounded wait.
        int flags = ::fcntl(fd_.get(), F_GETFL, 0);
        if (flags < 0 || ::fcntl(fd_.get(), F_SETFL, flags | O_NONBLOCK) < 0) return false;
        int r = ::connect(fd_.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        if (r < 0) {
            if (errno != EINPROGRESS) return false;
            if (PollFor(fd_.get(), POLLOUT, timeoutMs) <= 0) return false;
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &err, &len) < 0 || err != 0) return false;
        }
        if (::fcntl(fd_.get(), F_SETFL, flags) != 0) return false;
        // Sends block from here on; a peer that stops reading holds one no longer than a connect.
        const int sendMs = timeoutMs > 0 ? timeoutMs : 1;
        timeval tv{sendMs / 1000, (sendMs % 1000) * 1000};
        ::setsockopt(fd_.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        return true;
    }

    long Send(const char* data, size_t count) override {
        for (;;) {
            ssize_t n = ::send(fd_.get(), data, count, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            return n < 0 ? -1 : static_cast<long>(n);
        }
    }

    int WaitReadable(int timeoutMs) override {
        if (timeoutMs < 0) timeoutMs = 0;
        // A closed or failed connection also counts as readable, as with select.
        return PollFor(fd_.get(), POLLIN, timeoutMs);
    }

    long Available() override {
        int count = 0;
        if (::ioctl(fd_.get(), FIONREAD, &count) < 0) return -1;
        return count;
    }

    long Receive(char* buffer, size_t count) override {
        for (;;) {
            ssize_t n = ::recv(fd_.get(), buffer, count, 0);
            if (n < 0 && errno == EINTR) continue;
            return n < 0 ? -1 : static_cast<long>(n);
        }
    }

private:
    UniqueFd fd_;
};

class PosixNetwork : public Network {
public:
    bool Start() override { return true; }
    void Stop() override {}

    bool Resolve(const std::string& host, uint32_t* addr) override {
        if (host.empty()) return false;
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) return false;
        bool found = false;
        for (addrinfo* ai = list; ai; ai = ai->ai_next) {
            if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
                *addr = reinterpret_cast<sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
                found = true;
                break;
            }
        }
        ::freeaddrinfo(list);
        return found;
    }

    std::unique_ptr<Socket> CreateSocket() override {
        UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
        if (!fd) return nullptr;
        PosixSocket* socket = new (std::nothrow) PosixSocket(fd.get());
        if (socket) fd.release();  // the socket object owns it now
        return std::unique_ptr<Socket>(socket);
    }
};

}  // namespace

Network& SystemNetwork() {
    static PosixNetwork network;
    return network;
}

}  // namespace kv
