// Bounds of one exchange: the connection attempt, silence per wait, overall deadline, body size.
#pragma once
#include <cstddef>

#include "addin/features/service/ReplySlot.h"

namespace kv {

// A connection attempt that has not succeeded by then counts as unreachable.
constexpr int kConnectTimeoutMs = 3000;
// Whole-exchange bound of a list reply (search, daily and weekly lists, banner, login status,
// version text): these run on the host's thread with nothing shown, so a reply that drips
// must not hold the host for longer than a short pause.
constexpr int kListTotalMs = 8000;

struct ExchangeLimits {
    int connectMs = kConnectTimeoutMs;
    int silenceMs = 1000;
    int deadlineMs = 30000;
    size_t maxBody = 0;
};
ExchangeLimits LimitsFor(ReplySlot slot);
// limits held to a list reply's total time and size, for a short text fetched on a file slot.
ExchangeLimits ListReplyBound(ExchangeLimits limits);

}  // namespace kv
