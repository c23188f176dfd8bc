// The listening side of kvservice. The HTTP library normalises what it parses (headers sorted,
// empty headers dropped, targets with a space or a second '?' refused), but the tests need
// each request exactly as it arrived. So this front accepts the connections itself, reads the
// request head byte for byte, appends it to the request log, and passes the connection on to
// the HTTP server on a private loopback port, with the exact target attached in a header.
#pragma once

#include <atomic>
#include <cstdio>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/UniqueFd.h"

namespace kvservice {

// Name of the header that carries the exact request target (hex) to the HTTP server. The
// front removes any header of this name that a client sends, so it can be trusted.
constexpr const char* kRawTargetHeader = "X-Kv-Raw-Target";

struct RequestHead {
    std::string method, target, version;
    std::vector<std::pair<std::string, std::string>> headers;
};

// Splits a request head (without the final empty line). The request line is split at its
// first and last space so a target that holds spaces survives. False when the line lacks them.
bool ParseRequestHead(const std::string& head, RequestHead& out);

// One JSON line of the request log.
std::string RequestLogLine(const RequestHead& parsed, const std::string& rawHead);

// The target as it is passed to the HTTP library: bytes outside a conservative set (spaces,
// a second '?', '#', '%', bytes >= 0x80) percent-encoded, so the library always accepts it.
std::string SafeTarget(const std::string& target);

class RawFront {
public:
    RawFront() = default;
    RawFront(const RawFront&) = delete;
    RawFront& operator=(const RawFront&) = delete;
    ~RawFront();

    // Binds and listens; port 0 picks a free one. `logPath` may be empty (no log).
    bool Open(const std::string& bindAddress, int port, int backendPort, const std::string& logPath,
              std::string& error);
    int Port() const { return port_; }

    // No byte moved either way for this long ends a connection, also in the middle of a send to
    // a client that stopped reading. Set before Run().
    void SetIdleTimeout(int ms) { idleTimeoutMs_ = ms; }

    // Accepts until Stop(); returns when every connection thread has been joined.
    void Run();
    // Safe to call from another thread (the signal waiter).
    void Stop();
    // Connections being served now.
    int ActiveConnections();

private:
    struct Connection {
        std::thread thread;
        bool done = false;  // under activeMutex_
    };
    void Serve(int client);
    void Log(const std::string& line);
    // Joins the finished connection threads, or every one when `all`.
    void JoinConnections(bool all);

    kv::UniqueFd listen_;
    int port_ = 0;
    int backendPort_ = 0;
    std::FILE* log_ = nullptr;
    std::mutex logMutex_;
    int idleTimeoutMs_ = 30000;
    std::atomic<bool> stopping_{false};
    std::mutex activeMutex_;
    std::list<Connection> connections_;
};

}  // namespace kvservice
