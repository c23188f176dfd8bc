// What the loading splash shows of a download: counts, share, the moving block, pump timing.
#include <gtest/gtest.h>

#include "addin/features/popup/SplashProgress.h"

namespace kv {
namespace {

TEST(SplashProgress, TextAndShareOfADownload) {
    const struct {
        size_t received;
        long long total;
        int percent;
        const char* text;
    } cases[] = {
        {0, -1, -1, "0 B"},
        {1023, 0, -1, "1023 B"},
        {1536, -1, -1, "1.5 KB"},
        {0, 5 * 1024 * 1024, 0, "0 B / 5.0 MB (0%)"},
        {1258292, 5 * 1024 * 1024, 24, "1.2 MB / 5.0 MB (24%)"},
        {5 * 1024 * 1024, 5 * 1024 * 1024, 100, "5.0 MB / 5.0 MB (100%)"},
        {900, 100, 100, "900 B / 100 B (100%)"},  // more than announced never shows over 100
        {size_t(1) << 40, 1LL << 41, 50, "1048576.0 MB / 2097152.0 MB (50%)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProgressPercent(c.received, c.total), c.percent) << c.text;
        EXPECT_EQ(ProgressText(c.received, c.total), c.text);
    }
}

TEST(SplashProgress, MovingBlockSweepsTheTrackBothWays) {
    const struct {
        int64_t ms;
        int track, block, offset;
    } cases[] = {
        {0, 200, 40, 0},
        {kMarqueeSweepMs / 2, 200, 40, 80},
        {kMarqueeSweepMs, 200, 40, 160},
        {kMarqueeSweepMs * 3 / 2, 200, 40, 80},  // on its way back
        {kMarqueeSweepMs * 2, 200, 40, 0},
        {-5, 200, 40, 0},
        {700, 30, 40, 0},  // a track narrower than the block
    };
    for (const auto& c : cases) EXPECT_EQ(MarqueeOffset(c.ms, c.track, c.block), c.offset) << c.ms;
}

TEST(SplashProgress, PumpsAreSpacedButNeverStarved) {
    PumpSchedule schedule;
    const struct {
        int64_t now;
        bool due;
    } steps[] = {
        {1000, true},  // the first call pumps at once
        {1000 + kPumpIntervalMs - 1, false},
        {1000 + kPumpIntervalMs, true},
        {1000 + kPumpIntervalMs + 1, false},
        {500, true},  // a clock that went back does not stop the pumping
        {501, false},
    };
    for (const auto& s : steps) EXPECT_EQ(schedule.Due(s.now), s.due) << s.now;
}

}  // namespace
}  // namespace kv
