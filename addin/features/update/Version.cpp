#include "addin/features/update/Version.h"

#include <cstring>

namespace kv {

bool UpdateWanted(const char* addinVersion, const char* newestVersion) {
    return std::strncmp(addinVersion, newestVersion, kVersionReplyBytes) != 0;
}

bool StoreVersionReply(const std::string& body, char* buffer) {
    if (body.empty()) return false;
    const size_t n = body.size() < kVersionReplyBytes ? body.size() : kVersionReplyBytes;
    std::memcpy(buffer, body.data(), n);
    std::memset(buffer + n, 0, kVersionReplyBytes - n);
    return true;
}

}  // namespace kv
