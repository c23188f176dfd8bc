// What an exchange reports between its reads, and how its caller stops it: a long download
// runs on the host's window thread, so the caller uses these calls to keep its windows painted
// and to notice a cancel.
#pragma once
#include <cstddef>

namespace kv {

class ExchangeProgress {
public:
    virtual ~ExchangeProgress() = default;
    // Body bytes received so far and the announced length (-1 while unknown or chunked).
    // Called at least every kProgressIntervalMs while the exchange waits. False stops the
    // exchange at once; it then fails.
    virtual bool Continue(size_t received, long long total) = 0;
};

// Longest stretch an exchange with a progress waits on the socket before it calls back.
constexpr int kProgressIntervalMs = 50;

}  // namespace kv
