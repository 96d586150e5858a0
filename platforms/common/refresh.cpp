#include "platforms/common/refresh.h"

#include "host/host.h"

uint32_t monitorHz;
uint32_t visibleLines;
uint32_t totalLines;
uint32_t refreshRate;
int32_t refreshDeviation = noEstimates;
uint8_t preciseTiming = 1;

namespace {

// One sample: a raster line (the middle of the two reads around the play
// position read) and the play position.
struct RateSample {
    uint32_t line;
    uint32_t position;
};

// The last four samples, oldest first.
struct SampleHistory {
    RateSample samples[4];
    uint32_t count;
};

void pushSample(SampleHistory& history, RateSample sample) {
    if (history.count == 4) {
        for (int i = 0; i < 3; ++i)
            history.samples[i] = history.samples[i + 1];
        history.count = 3;
    }
    history.samples[history.count++] = sample;
}

// Estimates from each neighbouring pair of the four samples, oldest pair
// first; the samples lie one frame apart.
bool historyAgrees(const SampleHistory& history, uint32_t lines) {
    uint32_t estimates[3];
    for (int i = 0; i < 3; ++i) {
        const RateSample& s = history.samples[i];
        const RateSample& t = history.samples[i + 1];
        const uint32_t elapsed = lines - s.line + t.line;
        const uint32_t played = ringBytesPlayed(s.position, t.position) / audioFrameBytes;
        estimates[i] = rateEstimate(elapsed, lines, played);
    }
    return estimatesAgree(estimates[0], estimates[1], estimates[2]);
}

// The estimates agreed: prints the passes it took, unless the rate they
// agreed on cannot be a display's.
bool acceptAgreedRate(uint32_t pass) {
    if (refreshRate < minPlausibleRefreshHz * 256 || refreshRate > maxPlausibleRefreshHz * 256) {
        refreshRate = fallbackRefreshRate();
        refreshDeviation = noEstimates;
        return false;
    }
    consolePrintf("%d measures\n", static_cast<int>(pass));
    return true;
}

bool past(uint64_t (*now)(), uint64_t start, uint64_t limit) { return now() - start > limit; }

// Sleeps a millisecond at a time until the raster is in the lower half of the
// screen. False on the time limit.
bool waitLowerHalf(const RefreshProbe& probe, uint32_t& line) {
    const uint64_t start = probe.nowMicroseconds();
    do {
        probe.sleepMs(1);
        probe.scanLine(&line);
        if (line < visibleLines / 2 && past(probe.nowMicroseconds, start, rasterWaitLimitMicros))
            return false;
    } while (line < visibleLines / 2);
    return true;
}

// Follows the raster to the bottom without pausing; the first reading below
// the highest one so far is the wrap to a new frame. The lines of the frame
// are the highest reading + 1. False on the time limit.
bool followToWrap(const RefreshProbe& probe, uint32_t& line, uint32_t& lines) {
    const uint64_t start = probe.nowMicroseconds();
    uint32_t highest = 0;
    for (;;) {
        probe.scanLine(&line);
        if (line < highest) break;
        highest = line;
        if (past(probe.nowMicroseconds, start, rasterWaitLimitMicros)) return false;
    }
    lines = highest + 1;
    return true;
}

void raise(const RefreshProbe& probe) {
    if (probe.raisePriority) probe.raisePriority();
}

void restore(const RefreshProbe& probe) {
    if (probe.restorePriority) probe.restorePriority();
}

} // namespace

uint32_t fallbackRefreshRate() { return (monitorHz ? monitorHz : nominalRefreshHz) * 256; }

uint32_t ringBytesPlayed(uint32_t fromBytes, uint32_t toBytes) {
    return (toBytes + audioRingBytes - fromBytes % audioRingBytes) % audioRingBytes;
}

uint32_t rateEstimate(uint32_t linesElapsed, uint32_t lines, uint32_t sampleFrames) {
    const uint32_t divisor = sampleFrames * lines;
    if (divisor == 0) return 0;
    return static_cast<uint32_t>(uint64_t{linesElapsed} * audioSampleRate * 256 / divisor);
}

bool estimatesAgree(uint32_t e1, uint32_t e2, uint32_t e3) {
    if (e1 == 0 || e2 == 0 || e3 == 0) return false;
    const uint32_t d12 = e1 > e2 ? e1 - e2 : e2 - e1;
    const uint32_t d23 = e2 > e3 ? e2 - e3 : e3 - e2;
    const uint32_t spread = d12 > d23 ? d12 : d23;
    if (spread < static_cast<uint32_t>(refreshDeviation))
        refreshDeviation = static_cast<int32_t>(spread);
    const uint32_t bound = e2 / 500;
    if (d12 >= bound || d23 >= bound) return false;
    refreshRate = static_cast<uint32_t>((uint64_t{e1} + e2 + e3) / 3);
    return true;
}

bool measureAudioStep(bool (*playPosition)(uint32_t*), uint64_t (*nowMicroseconds)()) {
    const uint64_t start = nowMicroseconds();
    uint32_t previous = 0;
    uint32_t reading = 0;
    uint32_t smallest = 0xFFFFFFFF;
    for (int changes = 0; changes < 10;) {
        playPosition(&reading);
        if (reading != previous) {
            if (previous != 0 && reading - previous < smallest) smallest = reading - previous;
            previous = reading;
            ++changes;
        } else if (past(nowMicroseconds, start, audioStepLimitMicros)) {
            break;
        }
    }
    preciseTiming = 1;
    if (smallest == 0xFFFFFFFF) {
        // No step inside the ring within the limit: the clock stands still
        // (or crawls), so it cannot time frames.
        preciseTiming = 0;
        consolePrintf("Audio clock is not running\n");
        return false;
    }
    if (smallest > 16) preciseTiming = 0;
    consolePrintf("Minimal audio step = %d\n", static_cast<int>(smallest / audioFrameBytes));
    return true;
}

bool measureRefresh(const RefreshProbe& probe) {
    uint32_t height = 0;
    if (!probe.displayHeight(&height)) return false;
    const uint64_t start = probe.nowMicroseconds();
    visibleLines = height;
    refreshRate = fallbackRefreshRate();
    refreshDeviation = noEstimates;
    const bool audioRunning = measureAudioStep(probe.playPosition, probe.nowMicroseconds);

    uint32_t passLines[3] = {0, 0, 0};
    bool settled = false;
    SampleHistory history{};
    uint32_t line = 0;
    uint32_t position = 0;
    for (uint32_t pass = 0; pass < maxMeasurePasses; ++pass) {
        if (past(probe.nowMicroseconds, start, measureLimitMicros)) return false;
        uint32_t lines = 0;
        if (!waitLowerHalf(probe, line) || !followToWrap(probe, line, lines)) return false;

        passLines[0] = passLines[1];
        passLines[1] = passLines[2];
        passLines[2] = lines;
        if (!settled) {
            totalLines = passLines[0];
            if (passLines[0] == passLines[1] && passLines[1] == passLines[2]) {
                settled = true;
                if (!preciseTiming) return audioRunning;
            }
        }

        // The three reads of one sample belong to the same instant.
        uint32_t before = line;
        raise(probe);
        probe.scanLine(&before);
        probe.playPosition(&position);
        uint32_t after = before;
        probe.scanLine(&after);
        restore(probe);
        line = after;
        if (after < before) continue; // the raster wrapped during the sample

        pushSample(history, {(before + after) / 2, position});
        if (history.count == 4 && settled && historyAgrees(history, totalLines))
            return acceptAgreedRate(pass);
    }
    return false;
}

bool measureRefreshByFrames(const FrameClockProbe& probe) {
    uint32_t height = 0;
    if (probe.displayHeight && probe.displayHeight(&height)) visibleLines = height;
    const uint64_t start = probe.nowMicroseconds();
    refreshRate = fallbackRefreshRate();
    refreshDeviation = noEstimates;
    if (!measureAudioStep(probe.playPosition, probe.nowMicroseconds)) return false;
    if (!preciseTiming) return true;

    SampleHistory history{};
    uint32_t position = 0;
    for (uint32_t pass = 0; pass < maxMeasurePasses; ++pass) {
        if (past(probe.nowMicroseconds, start, measureLimitMicros)) return false;
        if (!probe.waitRefresh()) return false; // presents do not wait for the display
        probe.playPosition(&position);
        pushSample(history, {0, position});
        // Every sample sits at the top of its frame: one whole frame apart.
        if (history.count == 4 && historyAgrees(history, 1)) return acceptAgreedRate(pass);
    }
    return false;
}

void reportRefresh(bool measured) {
    if (!measured) consolePrintf("Error! Can't correct determine FPS or Overscan!\n");
    if (totalLines < visibleLines) totalLines = visibleLines;
    // Without a rate (the display mode could not be read) there is nothing to
    // relate the deviation to.
    if (preciseTiming && refreshRate != 0) {
        consolePrintf("FPS Deviation - %.3f%%\n",
                      static_cast<double>(refreshDeviation) * 100 / refreshRate);
    }
    consolePrintf("Monitor frequency - %dHz (%.3fHz)\n", static_cast<int>(monitorHz),
                  refreshRate / 256.0);
    consolePrintf("Visible/Total scanlines - %d / %d\n", static_cast<int>(visibleLines),
                  static_cast<int>(totalLines));
}
