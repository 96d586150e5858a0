// Start-up measurement of the display: raster lines per frame and the refresh
// rate to a fraction of a hertz, timed against the audio ring's sample clock.
// The platform reads come through a probe record the window host fills; the
// logic itself makes no platform calls.
#pragma once

#include <cstdint>

// The audio stream every host opens: 16-bit stereo at 48000 Hz in a looping
// ring of 48000 bytes (12000 sample frames, a quarter of a second).
constexpr uint32_t audioSampleRate = 48000;
constexpr uint32_t audioFrameBytes = 4;
constexpr uint32_t audioRingBytes = 48000;

// The platform reads the measurement takes; each window host fills one.
struct RefreshProbe {
    bool (*displayHeight)(uint32_t* lines); // the display mode's height; false when unavailable
    bool (*scanLine)(uint32_t* line); // raster line now scanned; false leaves the previous value
    bool (*playPosition)(uint32_t* bytes); // the audio ring's play cursor, 0..47999; false leaves
                                           // the previous value
    void (*sleepMs)(uint32_t ms);
    void (*raisePriority)(); // around the three reads of one sample (may be null)
    void (*restorePriority)();
    uint64_t (*nowMicroseconds)(); // steady clock, only for the time limits
};

// For hosts without a raster line whose present blocks until the display's
// next refresh (a swap chain with vertical sync).
struct FrameClockProbe {
    bool (*waitRefresh)(); // presents and returns at the start of the next refresh; false when it
                           // did not block
    bool (*playPosition)(uint32_t* bytes);
    uint64_t (*nowMicroseconds)();
    bool (*displayHeight)(uint32_t* lines); // may be null; sets visibleLines when it answers
};

// Refresh rate in whole hertz as the display driver reports it (0: none); the
// host sets it before measuring.
extern uint32_t monitorHz;
extern uint32_t visibleLines;
extern uint32_t totalLines;
// Frames per second x 256.
extern uint32_t refreshRate;
// Smallest spread seen between successive rate estimates (x 256);
// noEstimates until estimates exist.
extern int32_t refreshDeviation;
// The audio play position is fine-grained enough to time frames with.
extern uint8_t preciseTiming;

constexpr int32_t noEstimates = 0xFFFFFF;
// The rate assumed when the display driver names none.
constexpr uint32_t nominalRefreshHz = 60;

// Time limits: an audio clock that does not move, a raster that does not
// reach the bottom half or never wraps, and the whole measurement.
constexpr uint64_t audioStepLimitMicros = 500000;
constexpr uint64_t rasterWaitLimitMicros = 100000;
constexpr uint64_t measureLimitMicros = 4000000;
constexpr uint32_t maxMeasurePasses = 100;
// A rate outside these bounds is no display's: the reads were not what they
// claimed (a present that did not wait, a raster that does not move with the
// picture), and the measurement fails with the fallback instead.
constexpr uint32_t minPlausibleRefreshHz = 20;
constexpr uint32_t maxPlausibleRefreshHz = 1000;

// The raster measurement. True when it determined the line count (and, with
// a fine audio clock, the rate). False when the display mode is unavailable
// (nothing changed), when no three estimates agreed within 100 passes, when
// they agreed on an implausible rate, or on a time limit; refreshRate is then
// the fallback, fallbackRefreshRate().
bool measureRefresh(const RefreshProbe& probe);
// The same rate estimate from one sample per refresh, taken right after the
// present returns (raster line 0, one whole frame between samples). Leaves
// totalLines alone: without a raster the blanking lines are not known.
bool measureRefreshByFrames(const FrameClockProbe& probe);
// The start-up report lines; measured is what the measurement returned.
void reportRefresh(bool measured);

// The pieces both measurements share.

// monitorHz x 256, or nominalRefreshHz x 256 when the driver named no rate.
uint32_t fallbackRefreshRate();
// Bytes the ring played from one play position to the next (modulo the ring).
uint32_t ringBytesPlayed(uint32_t fromBytes, uint32_t toBytes);
// Frames per second x 256: linesElapsed / lines frames took sampleFrames /
// 48000 s; 64-bit, truncating. 0 when the divisor is 0.
uint32_t rateEstimate(uint32_t linesElapsed, uint32_t lines, uint32_t sampleFrames);
// Keeps the larger spread of the three estimates (oldest first) in
// refreshDeviation when it is smaller; when both spreads are below E2 / 500,
// sets refreshRate to their mean and returns true. Estimates of 0 (no audio
// progress) never converge nor count as a spread.
bool estimatesAgree(uint32_t e1, uint32_t e2, uint32_t e3);
// Smallest step of the play position over ten changes, in bytes; clears
// preciseTiming when it is coarser than 16 bytes and prints the step in
// sample frames. False when the clock made no step within
// audioStepLimitMicros (preciseTiming is cleared, "Audio clock is not
// running" printed).
bool measureAudioStep(bool (*playPosition)(uint32_t*), uint64_t (*nowMicroseconds)());
