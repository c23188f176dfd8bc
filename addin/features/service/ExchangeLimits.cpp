#include "addin/features/service/ExchangeLimits.h"

namespace kv {

namespace {

constexpr size_t kTextBodyLimit = size_t(8) << 20;    // XML lists, status texts
constexpr size_t kFileBodyLimit = size_t(512) << 20;  // templates and the new library
constexpr int kFileDeadlineMs = 10 * 60 * 1000;

}  // namespace

ExchangeLimits LimitsFor(ReplySlot slot) {
    ExchangeLimits limits;
    limits.connectMs = kConnectTimeoutMs;
    limits.silenceMs = 1000;
    if (IsFileSlot(slot)) {
        limits.deadlineMs = kFileDeadlineMs;
        limits.maxBody = kFileBodyLimit;
    } else {
        limits.deadlineMs = kListTotalMs;
        limits.maxBody = kTextBodyLimit;
    }
    return limits;
}

ExchangeLimits ListReplyBound(ExchangeLimits limits) {
    if (limits.deadlineMs > kListTotalMs) limits.deadlineMs = kListTotalMs;
    if (limits.maxBody > kTextBodyLimit) limits.maxBody = kTextBodyLimit;
    return limits;
}

}  // namespace kv
