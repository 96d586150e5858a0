// The steady-clock pacer against a simulated clock: a frame loop that
// emulates for a while, then sleeps what the pacer asks.
#include "platforms/common/pacer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The moments frames are shown until the clock passes endMicros; frame
// slowFrame takes slowMicros to emulate, every other one 3 ms.
std::vector<uint64_t> runFrames(uint32_t rateHz256, uint64_t startMicros, uint64_t endMicros,
                                uint32_t slowFrame = 0, uint64_t slowMicros = 3000) {
    std::vector<uint64_t> shown;
    uint64_t now = startMicros;
    startPacer(rateHz256, now);
    for (uint32_t frame = 0; now < endMicros; ++frame) {
        now += frame == slowFrame ? slowMicros : 3000;
        now += pacerWaitMicros(now);
        shown.push_back(now);
    }
    return shown;
}

TEST(Pacer, RatesPerSecond) {
    struct Row {
        uint32_t rateHz256;
        bool locked;
        uint32_t pacedHz256;
    } const rows[] = {
        {60 * 256, true, 60 * 256},  {15345, true, 15345}, {75 * 256, true, 75 * 256},
        {30 * 256, true, 30 * 256},  {0, true, 60 * 256},  {144 * 256, false, 60 * 256},
        {76 * 256, false, 60 * 256},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rateHz256);
        EXPECT_EQ(lockedToRefresh(row.rateHz256), row.locked);
        const uint64_t start = 5000000;
        const std::vector<uint64_t> shown = runFrames(row.rateHz256, start, start + 10000000);
        // Frame n is shown n periods after the start, to the microsecond:
        // the periods' fractions add up.
        for (size_t n = 1; n <= shown.size(); ++n) {
            const uint64_t due = start + n * 256000000ull / row.pacedHz256;
            ASSERT_LE(shown[n - 1] - due + 1, 2u) << n;
        }
        EXPECT_EQ(framePacer.dropped, 0u);
    }
}

TEST(Pacer, LateFramesReanchorWithoutBurst) {
    struct Row {
        uint64_t slowMicros; // frame 20 takes this long to emulate
        uint32_t drops;
        size_t shortGaps; // gaps below a period after the slow frame
    } const rows[] = {
        {50000, 1, 0},  // three periods late: shown at once, paced on from there
        {200000, 1, 0}, // twelve periods late: still one drop
        {20000, 0, 1},  // less than a period late: the next frame catches up once
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.slowMicros);
        const std::vector<uint64_t> shown = runFrames(60 * 256, 0, 2000000, 20, row.slowMicros);
        EXPECT_EQ(framePacer.dropped, row.drops);
        EXPECT_EQ(shown[20], shown[19] + row.slowMicros); // shown as soon as it is done
        size_t shortGaps = 0;
        for (size_t i = 21; i < shown.size(); ++i)
            shortGaps += shown[i] - shown[i - 1] < framePacer.periodMicros;
        EXPECT_EQ(shortGaps, row.shortGaps);
    }
}

} // namespace
