// How the Windows program waits for the next frame: chosen at start-up and
// again whenever the window's display changes (the window moved to another
// monitor, or the display mode changed), so that a faster display never runs
// the game faster. No platform calls: the pacing step passes what it read.
#pragma once

#include <cstdint>

// How the pacing step finds the start of the next refresh: the display
// driver's vertical-blank wait where it blocks; where it returns at once
// (Wine's does) the raster line, followed to its wrap; otherwise the
// performance counter, through the steady-clock pacer.
enum class RefreshWait : uint8_t { driverBlank, rasterWrap, counter };

// What the choice rests on.
struct DisplayFacts {
    // The rate of the window's display mode in whole hertz; 0 and 1 (the
    // display driver's "hardware default") say nothing.
    uint32_t modeHz;
    // The start-up measurement was taken on this display in this mode, and
    // found measuredRate (frames per second x 256; 0 when it had no rate).
    bool measured;
    uint32_t measuredRate;
    // The display driver's vertical-blank wait and raster line are this
    // display's (the program's DirectDraw object is the primary display's).
    bool waitsFollow;
    // Found at start-up: the vertical-blank wait blocks; the raster line can
    // be read and moves.
    bool blankBlocks;
    bool rasterReadable;
};

struct PacingChoice {
    RefreshWait wait;
    uint32_t rateHz256; // the display's rate, frames per second x 256, never 0
};

// Follows the display's refresh up to maxLockedRefreshHz where the driver's
// waits are that display's; otherwise the counter, which startPacer runs at
// the display's rate up to that bound and at the board's 60 frames a second
// above it.
PacingChoice choosePacing(const DisplayFacts& facts);
