// The socket client of the task-pane control: reply-reading exchanges on five reply slots and
// the host address cache they share.
#pragma once
#include <string>

#include "addin/features/service/ExchangeLimits.h"
#include "addin/features/service/ExchangeProgress.h"
#include "addin/features/service/HostAddressCache.h"
#include "addin/features/service/HttpParser.h"
#include "addin/features/service/NetSession.h"
#include "addin/features/service/ReplySlot.h"
#include "addin/features/service/ServiceConfig.h"
#include "addin/features/service/ServiceUrl.h"

namespace kv {

class CookieSource;
class Network;

class ServiceClient {
public:
    ServiceClient(Network& net, CookieSource& cookies, ServiceConfig config, Clock& clock = SteadyClock());

    // True when the reply is complete (or the peer closed, on text slots); false when no
    // connection could be made, the host is marked unreachable, a wait failed, or a limit was
    // passed, or progress asked to stop. The reply is in Reply(slot). With a progress, the
    // waits are cut into short slices with a call between them (the silence limit still counts
    // from the last byte).
    bool HttpExchange(ReplySlot slot, const ServiceUrl& url, ExchangeProgress* progress = nullptr);
    // The same within other bounds than the slot's.
    bool HttpExchange(ReplySlot slot, const ServiceUrl& url, const ExchangeLimits& limits,
                      ExchangeProgress* progress = nullptr);
    HttpParser& Reply(ReplySlot slot) { return slots_[static_cast<int>(slot)]; }
    const ServiceConfig& config() const { return config_; }
    Network& network() { return net_; }
    // Shared with the pane's log sender, so log requests skip a host found unreachable.
    HostAddressCache& cache() { return cache_; }
    // "http://" + serviceHost[:port] + pathAndQuery, parsed.
    ServiceUrl Address(const std::string& pathAndQuery) const;
    // Overrides the bounds (tests use shorter ones).
    void SetLimits(ReplySlot slot, const ExchangeLimits& limits) { limits_[static_cast<int>(slot)] = limits; }
    const ExchangeLimits& Limits(ReplySlot slot) const { return limits_[static_cast<int>(slot)]; }

private:
    Network& net_;
    CookieSource& cookies_;
    ServiceConfig config_;
    HostAddressCache cache_;
    HttpParser slots_[kReplySlotCount];
    ExchangeLimits limits_[kReplySlotCount];
};

}  // namespace kv
