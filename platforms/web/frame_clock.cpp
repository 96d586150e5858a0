// The page's pacing: the display's rate measured from animation frame times
// all session long, and one board frame per refresh or 60 a second on the
// clock as the rate asks.
#include "platforms/web/frame_clock.h"

#include "platforms/common/pacer.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double msPerClockFrame = 1000.0 / clockFramesPerSecond;
constexpr double measuringFrameMs = 1000.0 / 80.0;

void takeInterval(FrameClock& clock, double interval) {
    clock.intervals[clock.nextInterval] = interval;
    clock.nextInterval = (clock.nextInterval + 1) % frameClockSamples;
    if (clock.measured < frameClockSamples) ++clock.measured;
}

// The rate of the window's median interval, and the choice between the
// refresh and the clock made on it. True when the choice changed.
bool decideRate(FrameClock& clock) {
    double sorted[frameClockSamples];
    std::copy(clock.intervals, clock.intervals + frameClockSamples, sorted);
    std::nth_element(sorted, sorted + frameClockSamples / 2, sorted + frameClockSamples);
    const double median = sorted[frameClockSamples / 2];
    clock.refreshHz = median > 0 ? 1000.0 / median : 0;
    clock.rateKnown = true;
    // Displays run at whole rates (59.94 Hz is 60): the measurement's noise
    // must not decide the choice the window hosts make.
    const auto wholeHz = static_cast<uint32_t>(std::lround(clock.refreshHz));
    const bool locked = wholeHz != 0 && lockedToRefresh(wholeHz * 256);
    const bool changed = locked != clock.lockedToRefresh;
    clock.lockedToRefresh = locked;
    return changed;
}

int clockFramesDue(FrameClock& clock, double nowMs) {
    const double wanted = (nowMs - clock.originMs) / msPerClockFrame;
    const double behind = wanted - static_cast<double>(clock.clockFrames);
    if (behind < 1.0) return 0;
    if (behind >= 3.0) {
        // Too far behind to catch up unseen: start the clock again here.
        clock.originMs = nowMs;
        clock.clockFrames = 0;
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

// Until the window is first full the board runs one frame per animation
// frame unless they come faster than 80 a second. After that every interval
// joins the window and the choice is made again on it.
int boardFramesDue(FrameClock& clock, double nowMs) {
    const double interval = clock.lastMs < 0 ? -1 : nowMs - clock.lastMs;
    clock.lastMs = nowMs;
    const bool measured = interval > 0 && interval < frameClockGapMs;
    if (measured) takeInterval(clock, interval);
    if (!clock.rateKnown) {
        if (clock.measured == frameClockSamples) decideRate(clock);
        if (interval >= 0 && nowMs - clock.lastBoardFrameMs < measuringFrameMs) return 0;
        clock.lastBoardFrameMs = nowMs;
        clock.originMs = nowMs;
        clock.clockFrames = 0;
        return 1;
    }
    if (measured && decideRate(clock) && !clock.lockedToRefresh) {
        // Onto the clock: the last animation frame's board frame is its
        // first, so the next comes a board frame after it.
        clock.originMs = nowMs - interval;
        clock.clockFrames = 0;
    }
    if (clock.lockedToRefresh) return 1;
    return clockFramesDue(clock, nowMs);
}
