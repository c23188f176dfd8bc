// Bounds of one exchange: the connection attempt, silence per wait, overall deadline, body size.
#pragma once
#include <cstddef>

#include "addin/features/service/ReplySlot.h"

namespace kv {

// A connection attempt that has not succeeded by then counts as unreachable.
constexpr int kConnectTimeoutMs = 3000;

struct ExchangeLimits {
    int connectMs = kConnectTimeoutMs;
    int silenceMs = 1000;
    int deadlineMs = 30000;
    size_t maxBody = 0;
};
ExchangeLimits LimitsFor(ReplySlot slot);

}  // namespace kv
