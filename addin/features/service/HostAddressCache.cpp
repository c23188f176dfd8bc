#include "addin/features/service/HostAddressCache.h"

namespace kv {

bool HostAddressCache::Find(const std::string& host, uint32_t* addr) const {
    auto it = addresses_.find(host);
    if (it == addresses_.end()) return false;
    *addr = it->second;
    return true;
}

bool HostAddressCache::Unreachable(const std::string& host, int port) {
    auto it = failedAt_.find(Key(host, port));
    if (it == failedAt_.end()) return false;
    // A clock that went backwards counts as time passed, so a mark never outlives its 60 s.
    const int64_t age = clock_.NowMs() - it->second;
    if (age >= 0 && age < kUnreachableMs) return true;
    failedAt_.erase(it);
    return false;
}

}  // namespace kv
