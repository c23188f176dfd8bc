// The socket client: reply-reading exchanges on five reply slots, and one-way log requests.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "addin/service/HttpParser.h"
#include "addin/service/ServiceUrl.h"

namespace kv {

class Network;
class CookieSource;

enum class ReplySlot { CertSearch = 0, WeekSearch = 1, FreeSearch = 2, TemplateFile = 3, UpdateFile = 4 };
constexpr int kReplySlotCount = 5;
const char* ReplySlotName(ReplySlot slot);
bool ParseReplySlot(const std::string& name, ReplySlot* slot);  // "cert", "week", "free", "template", "update"

// Where the service lives. serviceHost is the Host line's value; port is where requests go
// (80 unless the "service" setting says host:port).
struct ServiceConfig {
    std::string serviceHost;
    int32_t port = 80;
    std::string cookieAddress;  // an http:// address whose cookies go with every request
};

// Built-in defaults, overridden by the "service" and "cookie" string values of the machine
// settings key. serviceSetting is "host" or "host:port".
ServiceConfig DefaultServiceConfig();
ServiceConfig ServiceConfigFrom(const std::string& serviceSetting, const std::string& cookieSetting);

// Bounds of one exchange: silence per wait, overall deadline, body size.
struct ExchangeLimits {
    int silenceMs = 1000;
    int deadlineMs = 30000;
    size_t maxBody = 0;
};
ExchangeLimits LimitsFor(ReplySlot slot);

// Host name to IPv4 address (network order); filled once per host, never refreshed.
using HostAddressCache = std::map<std::string, uint32_t>;

// Starts the platform socket layer for a group of exchanges and stops it on scope exit.
class NetSession {
public:
    explicit NetSession(Network& net);
    ~NetSession();
    NetSession(const NetSession&) = delete;
    NetSession& operator=(const NetSession&) = delete;
    bool started() const { return started_; }

private:
    Network& net_;
    bool started_;
};

// The request text of a reply-reading exchange.
std::string BuildGetRequest(CookieSource& cookies, const std::string& cookieAddress,
                            const std::string& target, const std::string& host);
// The request text of a one-way log request.
std::string BuildLogRequest(const std::string& target, const std::string& serviceHost,
                            const std::string& userAgentLine);

// Fire and forget: connect to the service, send one request, close without reading.
void SendLogRequest(Network& net, const ServiceConfig& config, const std::string& target,
                    const std::string& userAgentLine);

// What the task-pane control owns: the five reply slots and the host address cache.
class ServiceClient {
public:
    ServiceClient(Network& net, CookieSource& cookies, ServiceConfig config);

    // True when the reply is complete (or the peer closed, on text slots); false when no
    // connection could be made, a wait failed, or a limit was passed. The reply is in Reply(slot).
    bool HttpExchange(ReplySlot slot, const ServiceUrl& url);
    HttpParser& Reply(ReplySlot slot) { return slots_[static_cast<int>(slot)]; }
    const ServiceConfig& config() const { return config_; }
    Network& network() { return net_; }
    // "http://" + serviceHost[:port] + pathAndQuery, parsed.
    ServiceUrl Address(const std::string& pathAndQuery) const;
    // Overrides the bounds (tests use shorter ones).
    void SetLimits(ReplySlot slot, const ExchangeLimits& limits) { limits_[static_cast<int>(slot)] = limits; }

private:
    Network& net_;
    CookieSource& cookies_;
    ServiceConfig config_;
    HostAddressCache cache_;
    HttpParser slots_[kReplySlotCount];
    ExchangeLimits limits_[kReplySlotCount];
};

}  // namespace kv
