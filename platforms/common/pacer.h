// Frame pacing on the steady clock, for hosts whose present does not wait for
// the display (virtual displays, a vertical-blank wait that returns at once)
// and for displays faster than the board, which would otherwise run the game
// too fast. No platform calls: the host passes the clock's readings in.
#pragma once

#include <cstdint>

// Up to this rate, one board frame per display refresh.
constexpr uint32_t maxLockedRefreshHz = 75;
// Above it, the board's own rate on the steady clock.
constexpr uint32_t boardFramesPerSecond = 60;

struct FramePacer {
    uint32_t rateHz256;      // frames per second x 256 being paced
    uint64_t periodMicros;   // whole microseconds of one frame
    uint32_t periodFraction; // and the remainder, in 1/rateHz256 microseconds
    uint32_t fractionSum;    // remainders gathered so far
    uint64_t nextDeadline;   // when this frame is due
    uint32_t dropped;        // times the pacer fell more than a frame behind
};
extern FramePacer framePacer;

// True when the host should show one board frame per refresh of a display of
// this rate (x 256); 0, an unknown rate, counts as the nominal 60 Hz.
bool lockedToRefresh(uint32_t rateHz256);
// Starts pacing at the display's rate (refreshRate) when it is locked, at the
// board's 60 frames per second otherwise or when the rate is 0. The first
// frame is due one period after nowMicros.
void startPacer(uint32_t rateHz256, uint64_t nowMicros);
// Time left until this frame's deadline (0 when due) and the deadline moves
// on by one period. A frame more than a period late re-anchors the deadlines
// on now and counts a drop: the lost time is not caught up with a burst of
// frames.
uint64_t pacerWaitMicros(uint64_t nowMicros);
