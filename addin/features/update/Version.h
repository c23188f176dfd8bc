// The version rule and the handling of the service's version reply.
#pragma once
#include <cstddef>
#include <string>

namespace kv {

// The process's NewestVersion buffer: 16 bytes, of which the reply fills at most the first
// 10, so bytes 10 onwards stay zero and the text is always terminated.
constexpr size_t kNewestVersionSize = 16;
constexpr size_t kVersionReplyBytes = 10;

// An update is wanted when the two texts differ within their first 10 bytes (a bounded text
// comparison up to the first zero of either). There is no ordering: older and empty texts
// differ too.
bool UpdateWanted(const char* addinVersion, const char* newestVersion);

// Puts a version reply into the caller's buffer of at least 10 bytes: the body's first bytes,
// at most 10, and zeros for the rest of the 10, so nothing of an earlier reply or of
// uninitialised memory survives. An empty body is a failed fetch: false, buffer untouched.
bool StoreVersionReply(const std::string& body, char* buffer);

}  // namespace kv
