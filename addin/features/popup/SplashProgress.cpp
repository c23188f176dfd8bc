#include "addin/features/popup/SplashProgress.h"

#include <cstdio>

namespace kv {

std::string ByteCountText(uint64_t bytes) {
    char text[32];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%u B", static_cast<unsigned>(bytes));
    } else if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    }
    return text;
}

int ProgressPercent(size_t received, long long total) {
    if (total <= 0) return -1;
    const unsigned long long got = received;
    if (got >= static_cast<unsigned long long>(total)) return 100;
    return static_cast<int>(got * 100 / static_cast<unsigned long long>(total));
}

std::string ProgressText(size_t received, long long total) {
    const int percent = ProgressPercent(received, total);
    std::string text = ByteCountText(received);
    if (percent < 0) return text;
    return text + " / " + ByteCountText(static_cast<uint64_t>(total)) + " (" + std::to_string(percent) + "%)";
}

int MarqueeOffset(int64_t elapsedMs, int track, int blockWidth) {
    const int room = track - blockWidth;
    if (room <= 0) return 0;
    if (elapsedMs < 0) elapsedMs = 0;
    const int64_t phase = elapsedMs % (2 * kMarqueeSweepMs);
    const int64_t along = phase < kMarqueeSweepMs ? phase : 2 * kMarqueeSweepMs - phase;
    return static_cast<int>(along * room / kMarqueeSweepMs);
}

bool PumpSchedule::Due(int64_t nowMs) {
    if (started_ && nowMs - last_ < kPumpIntervalMs && nowMs >= last_) return false;
    started_ = true;
    last_ = nowMs;
    return true;
}

}  // namespace kv
