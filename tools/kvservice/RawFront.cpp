#include "tools/kvservice/RawFront.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/UniqueFd.h"
#include "tools/kvservice/Text.h"

namespace kvservice {

namespace {

constexpr size_t kMaxHead = 32 * 1024;  // a longer head is refused with 431
constexpr int kHeadTimeoutMs = 10000;   // a client that never finishes its head is dropped
constexpr int kMaxConnections = 128;    // more at once are closed at once
constexpr int kPollSliceMs = 250;       // how often waits look at the stop flag

using Fd = kv::UniqueFd;

// Sends all bytes without ever blocking for longer than one poll slice: a peer that stops
// reading makes no progress for `idleMs` and the send gives up, as does a stop of the front.
bool SendAll(int fd, const char* data, size_t size, int idleMs, const std::atomic<bool>& stopping) {
    auto lastProgress = std::chrono::steady_clock::now();
    while (size > 0) {
        if (stopping) return false;
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            lastProgress = std::chrono::steady_clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
        if (std::chrono::steady_clock::now() - lastProgress > std::chrono::milliseconds(idleMs)) return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, kPollSliceMs);
    }
    return true;
}

bool IsSafeTargetByte(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::strchr("-._~/!$&'()*+,;=:@", c) != nullptr && c != 0;
}

// Answers with a fixed reply and closes so that the client reads it: closing with unread
// input would reset the connection and lose the reply. The drain is bounded in time and size.
void AnswerAndClose(int fd, const char* reply, const std::atomic<bool>& stopping) {
    SendAll(fd, reply, std::strlen(reply), 1000, stopping);
    ::shutdown(fd, SHUT_WR);
    char sink[4096];
    size_t drained = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (drained < 1024 * 1024 && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        ssize_t n = ::recv(fd, sink, sizeof sink, 0);
        if (n <= 0) break;
        drained += static_cast<size_t>(n);
    }
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

bool SameName(const std::string& a, const char* b) {
    return AsciiLower(a) == AsciiLower(b);
}

}  // namespace

bool ParseRequestHead(const std::string& head, RequestHead& out) {
    out = RequestHead();
    size_t lineEnd = head.find("\r\n");
    std::string line = head.substr(0, lineEnd);
    size_t first = line.find(' ');
    size_t last = line.rfind(' ');
    if (first == std::string::npos || last == first) return false;
    out.method = line.substr(0, first);
    out.target = line.substr(first + 1, last - first - 1);
    out.version = line.substr(last + 1);
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos) end = head.size();
        std::string h = head.substr(pos, end - pos);
        size_t colon = h.find(':');
        if (colon == std::string::npos)
            out.headers.emplace_back(h, std::string());
        else
            out.headers.emplace_back(h.substr(0, colon), Trim(h.substr(colon + 1)));
        pos = end + 2;
    }
    return !out.method.empty() && !out.target.empty();
}

std::string RequestLogLine(const RequestHead& parsed, const std::string& rawHead) {
    std::string json = "{\"method\":" + JsonString(parsed.method) + ",\"target\":" + JsonString(parsed.target) +
                       ",\"version\":" + JsonString(parsed.version) + ",\"headers\":[";
    for (size_t i = 0; i < parsed.headers.size(); ++i) {
        if (i) json += ",";
        json += "[" + JsonString(parsed.headers[i].first) + "," + JsonString(parsed.headers[i].second) + "]";
    }
    json += "],\"target_hex\":\"" + HexBytes(parsed.target) + "\",\"head_hex\":\"" + HexBytes(rawHead) + "\"}";
    return json;
}

std::string SafeTarget(const std::string& target) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    bool seenQuestion = false;
    for (char ch : target) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (IsSafeTargetByte(c) || (c == '?' && !seenQuestion)) {
            if (c == '?') seenQuestion = true;
            out += ch;
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

RawFront::~RawFront() {
    // Run() has joined its connections; a front that was opened but never run has none.
    Stop();
    JoinConnections(true);
    if (log_) std::fclose(log_);
}

bool RawFront::Open(const std::string& bindAddress, int port, int backendPort, const std::string& logPath,
                    std::string& error) {
    backendPort_ = backendPort;
    if (!logPath.empty()) {
        log_ = std::fopen(logPath.c_str(), "ab");
        if (!log_) {
            error = "cannot open log file " + logPath + ": " + std::strerror(errno);
            return false;
        }
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, bindAddress.c_str(), &addr.sin_addr) != 1) {
        error = "not an IPv4 address: " + bindAddress;
        return false;
    }
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd.get(), 64) != 0) {
        error = "cannot listen on " + bindAddress + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    listen_ = std::move(fd);
    return true;
}

void RawFront::Run() {
    while (!stopping_) {
        JoinConnections(false);
        pollfd p{listen_.get(), POLLIN, 0};
        int ready = ::poll(&p, 1, kPollSliceMs);
        if (ready <= 0) continue;
        Fd accepted(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!accepted) continue;
        std::lock_guard<std::mutex> lock(activeMutex_);
        if (static_cast<int>(connections_.size()) >= kMaxConnections) continue;  // closed on the way out
        connections_.emplace_back();
        Connection* connection = &connections_.back();
        const int client = accepted.get();
        try {
            connection->thread = std::thread([this, client, connection] {
                Serve(client);
                std::lock_guard<std::mutex> doneLock(activeMutex_);
                connection->done = true;
            });
            accepted.release();  // Serve owns it now
        } catch (...) {
            // No thread to be had: refuse this connection (closed on the way out), keep serving the others.
            connections_.pop_back();
        }
    }
    // Every wait of a connection looks at the stop flag at least once per poll slice, so this
    // returns promptly; no connection thread outlives the front.
    JoinConnections(true);
}

void RawFront::JoinConnections(bool all) {
    std::list<Connection> finished;
    {
        std::lock_guard<std::mutex> lock(activeMutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto next = std::next(it);
            if (all || it->done) finished.splice(finished.end(), connections_, it);
            it = next;
        }
    }
    for (Connection& c : finished)
        if (c.thread.joinable()) c.thread.join();
}

int RawFront::ActiveConnections() {
    std::lock_guard<std::mutex> lock(activeMutex_);
    int active = 0;
    for (const Connection& c : connections_)
        if (!c.done) ++active;
    return active;
}

void RawFront::Stop() {
    stopping_ = true;
}

void RawFront::Log(const std::string& line) {
    if (!log_) return;
    std::lock_guard<std::mutex> lock(logMutex_);
    std::fwrite(line.data(), 1, line.size(), log_);
    std::fputc('\n', log_);
    std::fflush(log_);
}

void RawFront::Serve(int clientFd) {
    Fd client(clientFd);
    // Read until the end of the head, bounded in size and time.
    std::string buffer;
    size_t headEnd = std::string::npos;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHeadTimeoutMs);
    // Large enough that relaying a big file costs few system calls per megabyte.
    std::vector<char> relayBuffer(64 * 1024);
    char* chunk = relayBuffer.data();
    const size_t chunkSize = relayBuffer.size();
    while (headEnd == std::string::npos) {
        if (stopping_ || std::chrono::steady_clock::now() > deadline) return;
        if (buffer.size() > kMaxHead) {
            AnswerAndClose(
                client.get(),
                "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                stopping_);
            return;
        }
        pollfd p{client.get(), POLLIN, 0};
        if (::poll(&p, 1, kPollSliceMs) <= 0) continue;
        ssize_t n = ::recv(client.get(), chunk, chunkSize, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // closed before a whole head: nothing to answer
        buffer.append(chunk, static_cast<size_t>(n));
        headEnd = buffer.find("\r\n\r\n");
    }
    // One read may bring a whole head that is too long.
    if (headEnd + 4 > kMaxHead) {
        AnswerAndClose(client.get(),
                       "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                       stopping_);
        return;
    }
    std::string rawHead = buffer.substr(0, headEnd + 4);
    std::string rest = buffer.substr(headEnd + 4);

    RequestHead parsed;
    bool wellFormed = ParseRequestHead(buffer.substr(0, headEnd), parsed);
    Log(RequestLogLine(parsed, rawHead));
    if (!wellFormed) {
        AnswerAndClose(client.get(), "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                       stopping_);
        return;
    }

    std::string forwarded = parsed.method + " " + SafeTarget(parsed.target) + " " + parsed.version + "\r\n";
    for (const auto& h : parsed.headers) {
        if (SameName(h.first, kRawTargetHeader)) continue;
        forwarded += h.first + ": " + h.second + "\r\n";
    }
    forwarded += std::string(kRawTargetHeader) + ": " + HexBytes(parsed.target) + "\r\n\r\n";
    forwarded += rest;

    Fd backend(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(backendPort_));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (backend.get() < 0 || ::connect(backend.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        !SendAll(backend.get(), forwarded.data(), forwarded.size(), idleTimeoutMs_, stopping_)) {
        AnswerAndClose(client.get(),
                       "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", stopping_);
        return;
    }
    int nodelay = 1;
    ::setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &nodelay, sizeof nodelay);

    // Relay both ways until the server has answered and closed (one request per connection).
    bool clientOpen = true;
    auto lastTraffic = std::chrono::steady_clock::now();
    while (!stopping_) {
        pollfd p[2] = {{backend.get(), POLLIN, 0}, {clientOpen ? client.get() : -1, POLLIN, 0}};
        int ready = ::poll(p, 2, kPollSliceMs);
        if (ready < 0 && errno != EINTR) return;
        if (ready <= 0) {
            if (std::chrono::steady_clock::now() - lastTraffic > std::chrono::milliseconds(idleTimeoutMs_)) return;
            continue;
        }
        lastTraffic = std::chrono::steady_clock::now();
        if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = ::recv(backend.get(), chunk, chunkSize, 0);
            if (n <= 0) {
                ::shutdown(client.get(), SHUT_WR);
                return;
            }
            if (!SendAll(client.get(), chunk, static_cast<size_t>(n), idleTimeoutMs_, stopping_)) return;
        }
        if (clientOpen && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            ssize_t n = ::recv(client.get(), chunk, chunkSize, 0);
            if (n <= 0) {
                // The client is done sending; the answer may still be on its way.
                clientOpen = false;
                ::shutdown(backend.get(), SHUT_WR);
            } else if (!SendAll(backend.get(), chunk, static_cast<size_t>(n), idleTimeoutMs_, stopping_)) {
                return;
            }
        }
    }
}

}  // namespace kvservice
