// Host name to IPv4 address, resolved once per host and never refreshed; and which hosts could
// not be connected to lately. A host whose connection attempt failed or timed out is left alone
// for 60 s: exchanges and log requests to it fail at once, so a service that is down or drops
// connections silently costs one bounded attempt, not one per request.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "platform/Clock.h"

namespace kv {

class HostAddressCache {
public:
    static constexpr int64_t kUnreachableMs = 60 * 1000;

    explicit HostAddressCache(Clock& clock = SteadyClock()) : clock_(clock) {}

    // The address (network order) of a host resolved before.
    bool Find(const std::string& host, uint32_t* addr) const;
    void Add(const std::string& host, uint32_t addr) { addresses_.emplace(host, addr); }

    // True while a failed connection attempt to host:port is less than 60 s old. (The
    // service is always on one port; the port only keeps another service on the host apart.)
    bool Unreachable(const std::string& host, int port);
    void MarkUnreachable(const std::string& host, int port) { failedAt_[Key(host, port)] = clock_.NowMs(); }
    void MarkReachable(const std::string& host, int port) { failedAt_.erase(Key(host, port)); }

private:
    static std::string Key(const std::string& host, int port) { return host + ":" + std::to_string(port); }

    Clock& clock_;
    std::map<std::string, uint32_t> addresses_;
    std::map<std::string, int64_t> failedAt_;
};

}  // namespace kv
