#include "addin/features/service/LogRequest.h"

#include <memory>

#include "addin/features/service/ExchangeLimits.h"
#include "addin/features/service/HostAddressCache.h"
#include "addin/features/service/NetSession.h"
#include "addin/features/service/RequestText.h"
#include "platform/Network.h"

namespace kv {

void SendLogRequest(Network& net, const ServiceConfig& config, const std::string& target,
                    const std::string& userAgentLine, HostAddressCache* reachability) {
    if (config.serviceHost.empty() || HasControlBytes(config.serviceHost) || !ValidPort(config.port)) return;
    // Lately unreachable: the event is lost at once instead of after another attempt.
    if (reachability && reachability->Unreachable(config.serviceHost, config.port)) return;
    NetSession session(net);
    if (!session.started()) return;
    uint32_t addr = 0;
    if (!net.Resolve(config.serviceHost, &addr)) return;  // nowhere to go: the event is lost
    std::unique_ptr<Socket> socket = net.CreateSocket();
    if (!socket) return;
    if (!socket->Connect(addr, config.port, kConnectTimeoutMs)) {
        if (reachability) reachability->MarkUnreachable(config.serviceHost, config.port);
        return;
    }
    if (reachability) reachability->MarkReachable(config.serviceHost, config.port);
    SendRequestText(*socket, BuildLogRequest(target, config.serviceHost, userAgentLine));
    // The socket closes here without anything being read.
}

}  // namespace kv
