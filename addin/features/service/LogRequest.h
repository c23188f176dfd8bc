// The one-way log request: connect to the service, send one request, close without reading.
#pragma once
#include <string>

#include "addin/features/service/ServiceConfig.h"

namespace kv {

class HostAddressCache;
class Network;

// Fire and forget. With a cache, a service host marked unreachable gets no attempt, and a
// failed connection marks it (the cache's addresses are not used: log requests resolve anew).
void SendLogRequest(Network& net, const ServiceConfig& config, const std::string& target,
                    const std::string& userAgentLine, HostAddressCache* reachability = nullptr);

}  // namespace kv
