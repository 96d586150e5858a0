// The page's pacing: the display's rate measured from animation frame times,
// then one board frame per refresh or 60 a second on the clock.
#include "platforms/web/frame_clock.h"

#include "platforms/common/pacer.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double msPerClockFrame = 1000.0 / clockFramesPerSecond;
constexpr double measuringFrameMs = 1000.0 / 80.0;

void decideRate(FrameClock& clock) {
    double sorted[frameClockSamples];
    std::copy(clock.intervals, clock.intervals + frameClockSamples, sorted);
    std::sort(sorted, sorted + frameClockSamples);
    const double median = sorted[frameClockSamples / 2];
    clock.refreshHz = median > 0 ? 1000.0 / median : 0;
    clock.rateKnown = true;
    // Displays run at whole rates (59.94 Hz is 60): the measurement's noise
    // must not decide the choice the window hosts make.
    const auto wholeHz = static_cast<uint32_t>(std::lround(clock.refreshHz));
    clock.lockedToRefresh = wholeHz != 0 && lockedToRefresh(wholeHz * 256);
}

int clockFramesDue(FrameClock& clock, double nowMs) {
    const double wanted = (nowMs - clock.originMs) / msPerClockFrame;
    const double behind = wanted - static_cast<double>(clock.clockFrames);
    if (behind < 1.0) return 0;
    if (behind >= 3.0) {
        // Too far behind to catch up unseen: start the clock again here.
        clock.originMs = nowMs;
        clock.clockFrames = 1;
        return 1;
    }
    const int due = behind >= 2.0 ? 2 : 1;
    clock.clockFrames += static_cast<uint64_t>(due);
    return due;
}
} // namespace

void startFrameClock(FrameClock& clock) {
    clock = FrameClock{};
    clock.lastMs = -1;
    clock.lockedToRefresh = true;
}

// While the rate is measured the board runs one frame per animation frame
// unless they come faster than 80 a second.
int boardFramesDue(FrameClock& clock, double nowMs) {
    const double interval = clock.lastMs < 0 ? -1 : nowMs - clock.lastMs;
    clock.lastMs = nowMs;
    if (!clock.rateKnown) {
        if (interval > 0 && interval < frameClockGapMs) {
            clock.intervals[clock.measured++] = interval;
            if (clock.measured == frameClockSamples) decideRate(clock);
        }
        if (interval >= 0 && nowMs - clock.lastBoardFrameMs < measuringFrameMs) return 0;
        clock.lastBoardFrameMs = nowMs;
        clock.originMs = nowMs;
        clock.clockFrames = 1;
        return 1;
    }
    if (clock.lockedToRefresh) return 1;
    return clockFramesDue(clock, nowMs);
}
