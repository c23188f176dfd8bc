// A monotonic clock in milliseconds. Portable (std::chrono); tests put in their own to let
// minutes pass without waiting for them.
#pragma once
#include <chrono>
#include <cstdint>

namespace kv {

class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t NowMs() = 0;
};

class SteadyClockSource : public Clock {
public:
    int64_t NowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

inline Clock& SteadyClock() {
    static SteadyClockSource clock;
    return clock;
}

}  // namespace kv
