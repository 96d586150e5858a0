// Pacing of the page's frame loop, free of browser calls: given the time of
// each animation frame, how many board frames to run in it. The display's
// rate is the median of the latest animation-frame intervals; the window
// hosts' rule (lockedToRefresh) decides between one board frame per
// animation frame (up to 75 Hz) and 60 frames a second on the page's clock.
// The rate is kept measured for the whole session, so a move to a display of
// another rate, or a stutter while the page started, is made good within a
// fraction of a second. A long gap (a tab in the background) is neither
// measured nor caught up.
#pragma once

#include <cstdint>

struct FrameClock {
    double lastMs;           // time of the last animation frame, -1 before the first
    int measured;            // intervals taken, up to the window's size
    int nextInterval;        // where the next interval goes in the window
    double intervals[31];    // the latest intervals, in ms (a ring)
    bool rateKnown;          // the window has been filled once
    bool lockedToRefresh;    // one board frame per animation frame
    double refreshHz;        // the window's rate, once known
    double lastBoardFrameMs; // while measuring: when the last board frame ran
    double originMs;         // clock pacing: when board frame 0 ran
    uint64_t clockFrames;    // clock pacing: board frames run after frame 0
};

constexpr int frameClockSamples = 31;
constexpr double clockFramesPerSecond = 60.0;
// An interval longer than this is a stall, not a refresh: it is not measured
// and the clock starts again from it.
constexpr double frameClockGapMs = 100.0;

void startFrameClock(FrameClock& clock);
// Board frames to run in the animation frame at nowMs: 0, 1 or (on the
// clock, after a short stall) 2.
int boardFramesDue(FrameClock& clock, double nowMs);
