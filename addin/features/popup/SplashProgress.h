// What the loading splash shows of a download, worked out without windows: the byte counts as
// text, the filled share of the bar, the moving block while the length is unknown, and when
// the next pump of the thread's messages is due.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

// "512 B", "12.3 KB", "4.8 MB" (1024-based, one decimal from KB on).
std::string ByteCountText(uint64_t bytes);
// "1.2 MB / 4.8 MB (25%)" with a known total, else "1.2 MB".
std::string ProgressText(size_t received, long long total);
// 0 to 100; -1 when the total is unknown (0 or less).
int ProgressPercent(size_t received, long long total);
// Left edge of a block of blockWidth sweeping back and forth over track pixels, one way per
// kMarqueeSweepMs: the moving indication while the length is unknown.
constexpr int kMarqueeSweepMs = 1200;
int MarqueeOffset(int64_t elapsedMs, int track, int blockWidth);

// Between reads the download hands the thread to its windows at most this often, and for at
// most kPumpBudgetMs or kPumpMaxMessages messages each time, so painting and Escape are
// served within a frame or two while the download keeps nearly all of the thread.
constexpr int kPumpIntervalMs = 40;
constexpr int kPumpBudgetMs = 15;
constexpr int kPumpMaxMessages = 64;

class PumpSchedule {
public:
    // True when a pump is due at nowMs (always the first time); the time is then taken as the
    // last pump.
    bool Due(int64_t nowMs);

private:
    bool started_ = false;
    int64_t last_ = 0;
};

}  // namespace kv
