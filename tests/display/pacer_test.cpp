// The steady-clock pacer against a simulated clock: a frame loop that
// emulates for a while, then sleeps what the pacer asks.
#include "display/pacer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Runs frames until the clock passes endMicros; emulationMicros(n) is how
// long frame n takes to emulate. Returns the moments frames were shown.
template <typename Cost>
std::vector<uint64_t> runFrames(uint32_t rateHz256, uint64_t startMicros, uint64_t endMicros,
                                Cost emulationMicros) {
    std::vector<uint64_t> shown;
    uint64_t now = startMicros;
    startPacer(rateHz256, now);
    for (uint32_t frame = 0; now < endMicros; ++frame) {
        now += emulationMicros(frame);
        now += pacerWaitMicros(now);
        shown.push_back(now);
    }
    return shown;
}

size_t shownBefore(const std::vector<uint64_t>& shown, uint64_t moment) {
    size_t count = 0;
    for (uint64_t t : shown)
        count += t <= moment;
    return count;
}

TEST(Pacer, RatesPerSecond) {
    struct Row {
        uint32_t rateHz256;
        bool locked;
        size_t framesIn10s;
    };
    const Row rows[] = {
        {60 * 256, true, 600},   {15345, true, 599},     {75 * 256, true, 750}, {0, true, 600},
        {144 * 256, false, 600}, {76 * 256, false, 600}, {30 * 256, true, 300},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rateHz256);
        EXPECT_EQ(lockedToRefresh(row.rateHz256), row.locked);
        const uint64_t start = 5000000;
        const std::vector<uint64_t> shown =
            runFrames(row.rateHz256, start, start + 11000000, [](uint32_t) { return 3000; });
        EXPECT_EQ(shownBefore(shown, start + 10000000), row.framesIn10s);
        EXPECT_EQ(framePacer.dropped, 0u);
        // Evenly spaced: every gap is one whole period (the remainder's
        // microsecond comes and goes).
        for (size_t i = 1; i < shown.size(); ++i) {
            const uint64_t gap = shown[i] - shown[i - 1];
            EXPECT_GE(gap, framePacer.periodMicros);
            EXPECT_LE(gap, framePacer.periodMicros + 1);
        }
    }
}

TEST(Pacer, LateFramesReanchorWithoutBurst) {
    struct Row {
        uint64_t slowMicros; // frame 20 takes this long to emulate
        uint32_t drops;
        size_t shortGaps; // gaps below one period after the slow frame
    };
    const Row rows[] = {
        {50000, 1, 0},  // three periods late: shown at once, then paced from there
        {200000, 1, 0}, // twelve periods late: still a single drop
        {20000, 0, 1},  // less than a period late: the next frame catches up once
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.slowMicros);
        const std::vector<uint64_t> shown =
            runFrames(60 * 256, 0, 2000000, [&](uint32_t frame) -> uint64_t {
                return frame == 20 ? row.slowMicros : 4000;
            });
        EXPECT_EQ(framePacer.dropped, row.drops);
        size_t shortGaps = 0;
        for (size_t i = 21; i < shown.size(); ++i)
            shortGaps += shown[i] - shown[i - 1] < framePacer.periodMicros;
        EXPECT_EQ(shortGaps, row.shortGaps);
        // The slow frame is shown as soon as it is done.
        EXPECT_EQ(shown[20], shown[19] + row.slowMicros);
    }
}

} // namespace
