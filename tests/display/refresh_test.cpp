// The refresh measurement against simulated displays and audio clocks: every
// probe read costs a few simulated microseconds, sleeps overshoot a little,
// the raster and the play position follow the simulated time.
#include "display/refresh.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct SimDisplay {
    uint64_t nowNs;
    uint64_t framePeriodNs;
    uint32_t lines;         // raster lines per frame, blanking included
    uint32_t reportedLines; // the raster reads fail from this line on
    uint32_t height;
    bool heightFails;
    double sampleFramesPerSecond;
    uint32_t audioStepBytes;
    bool audioStuck;
    uint32_t stallFrom, stallTo; // samples (counted from 0) whose priority raise stalls
    uint32_t raises;
    // Frame clock: presents block until the next refresh, returning this
    // late (every jitterEvery-th one jitterSpikeNs late).
    bool presentBlocks;
    uint32_t presents;
    uint64_t jitterSeed;
};

SimDisplay sim;

uint32_t currentLine() {
    return static_cast<uint32_t>(sim.nowNs % sim.framePeriodNs * sim.lines / sim.framePeriodNs);
}

bool simHeight(uint32_t* lines) {
    if (sim.heightFails) return false;
    *lines = sim.height;
    return true;
}

bool simScanLine(uint32_t* line) {
    sim.nowNs += 2000;
    const uint32_t now = currentLine();
    if (now >= sim.reportedLines) return false;
    *line = now;
    return true;
}

bool simPlayPosition(uint32_t* bytes) {
    sim.nowNs += 3000;
    if (sim.audioStuck) return false;
    const uint64_t frames =
        static_cast<uint64_t>(static_cast<double>(sim.nowNs) * sim.sampleFramesPerSecond / 1e9);
    const uint64_t played = frames * audioFrameBytes;
    *bytes = static_cast<uint32_t>((played - played % sim.audioStepBytes) % audioRingBytes);
    return true;
}

void simSleep(uint32_t ms) { sim.nowNs += ms * 1000000ull + 60000; }

void simRaise() {
    if (sim.raises >= sim.stallFrom && sim.raises < sim.stallTo) {
        // Preempted until just before the frame ends: the raster wraps
        // between the before and after reads.
        sim.nowNs = sim.nowNs - sim.nowNs % sim.framePeriodNs + sim.framePeriodNs - 4000;
    }
    ++sim.raises;
}

void simRestore() {}
uint64_t simNow() { return sim.nowNs / 1000; }

bool simWaitRefresh() {
    ++sim.presents;
    if (!sim.presentBlocks) {
        sim.nowNs += 200000;
        return false;
    }
    sim.jitterSeed = sim.jitterSeed * 6364136223846793005ull + 1442695040888963407ull;
    uint64_t late = (sim.jitterSeed >> 33) % 20000; // up to 20 us
    if (sim.presents % 9 == 0) late += 900000;      // now and then 0.9 ms
    sim.nowNs = sim.nowNs - sim.nowNs % sim.framePeriodNs + sim.framePeriodNs + late;
    return true;
}

const RefreshProbe rasterProbe{simHeight, simScanLine, simPlayPosition, simSleep,
                               simRaise,  simRestore,  simNow};
const FrameClockProbe frameProbe{simWaitRefresh, simPlayPosition, simNow, simHeight};

SimDisplay display(double hz, uint32_t lines, uint32_t height) {
    SimDisplay d{};
    d.nowNs = 987654321;
    d.framePeriodNs = static_cast<uint64_t>(1e9 / hz);
    d.lines = lines;
    d.reportedLines = lines;
    d.height = height;
    d.sampleFramesPerSecond = audioSampleRate;
    d.audioStepBytes = 4;
    d.presentBlocks = true;
    d.jitterSeed = 12345;
    return d;
}

void resetResults(uint32_t hz) {
    installTestHost();
    monitorHz = hz;
    visibleLines = totalLines = refreshRate = 0;
    refreshDeviation = noEstimates;
    preciseTiming = 1;
}

// The pass count of the "N measures" line, -1 when there is none.
int measures() {
    const std::string& text = testHost.console;
    const size_t at = text.find(" measures\n");
    if (at == std::string::npos) return -1;
    const size_t from = text.rfind('\n', at);
    return std::atoi(text.c_str() + (from == std::string::npos ? 0 : from + 1));
}

TEST(RefreshPieces, RingEstimatesAndAgreement) {
    EXPECT_EQ(ringBytesPlayed(46400, 1600), 3200u);
    EXPECT_EQ(ringBytesPlayed(100, 900), 800u);
    EXPECT_EQ(ringBytesPlayed(47996, 0), 4u);
    EXPECT_EQ(ringBytesPlayed(5000, 5000), 0u);

    struct EstimateRow {
        uint32_t elapsed, lines, sampleFrames, estimate;
    };
    const EstimateRow estimateRows[] = {
        {806, 806, 800, 15360},   // 60.000 Hz
        {806, 806, 801, 15340},   // truncated
        {1125, 1125, 640, 19200}, // 75 Hz
        {807, 806, 800, 15379},   // one line more than a frame
        {806, 806, 0, 0},         // the clock did not move
        {0, 0, 800, 0},           // no line count yet
    };
    for (const EstimateRow& row : estimateRows) {
        EXPECT_EQ(rateEstimate(row.elapsed, row.lines, row.sampleFrames), row.estimate)
            << row.elapsed << "/" << row.lines << " in " << row.sampleFrames;
    }

    struct AgreeRow {
        uint32_t e1, e2, e3;
        int32_t deviationBefore;
        bool converged;
        uint32_t rate;
        int32_t deviation;
    };
    const AgreeRow agreeRows[] = {
        {15360, 15362, 15361, noEstimates, true, 15361, 2},
        {15360, 15362, 15361, 1, true, 15361, 1},          // a smaller spread is kept
        {15300, 15330, 15361, noEstimates, false, 99, 31}, // 31 > 15330 / 500
        {15331, 15360, 15389, noEstimates, true, 15360, 29},
        {15330, 15360, 15390, noEstimates, false, 99, 30}, // 30 is not below 30
        {0, 0, 0, noEstimates, false, 99, noEstimates},    // no audio progress
    };
    for (const AgreeRow& row : agreeRows) {
        refreshRate = 99;
        refreshDeviation = row.deviationBefore;
        EXPECT_EQ(estimatesAgree(row.e1, row.e2, row.e3), row.converged) << row.e1;
        EXPECT_EQ(refreshRate, row.rate) << row.e1;
        EXPECT_EQ(refreshDeviation, row.deviation) << row.e1;
    }
}

TEST(RefreshMeasure, SimulatedDisplays) {
    struct Row {
        const char* name;
        SimDisplay display;
        uint32_t monitorHz;
        bool measured;
        uint32_t totalLines;
        uint8_t preciseTiming;
        double hz; // 0: refreshRate must be the fallback exactly
        const char* consoleHas;
    };
    SimDisplay coarse = display(60, 806, 768);
    coarse.audioStepBytes = 20;
    SimDisplay visibleOnly = display(60, 806, 768);
    visibleOnly.reportedLines = 768;
    SimDisplay stuckAudio = display(60, 806, 768);
    stuckAudio.audioStuck = true;
    SimDisplay upperHalfOnly = display(60, 806, 768);
    upperHalfOnly.reportedLines = 300;
    SimDisplay neverWraps = display(60, 806, 768);
    neverWraps.framePeriodNs = 1000000000000; // a raster that stays on one line
    neverWraps.nowNs = neverWraps.framePeriodNs / 2;
    SimDisplay fastAudio = display(59.94, 1125, 1080);
    fastAudio.sampleFramesPerSecond = 48000 * 1.001; // the rate as the audio clock sees it
    const Row rows[] = {
        {"806 lines 60 Hz", display(60, 806, 768), 60, true, 806, 1, 60.0,
         "Minimal audio step = 1\n"},
        {"1125 lines 59.94 Hz", display(59.94, 1125, 1080), 59, true, 1125, 1, 59.94, "measures"},
        {"625 lines 75 Hz", display(75, 625, 600), 75, true, 625, 1, 75.0, "measures"},
        {"audio clock 0.1% fast", fastAudio, 59, true, 1125, 1, 59.94 / 1.001, "measures"},
        {"20-byte audio steps", coarse, 60, true, 806, 0, 0, "Minimal audio step = 5\n"},
        {"raster only to the last visible line", visibleOnly, 60, true, 768, 1, 60.0, "measures"},
        {"audio clock stands still", stuckAudio, 60, false, 806, 0, 0, "not running"},
        {"raster never in the lower half", upperHalfOnly, 0, false, 0, 1, 0, "step = 1\n"},
        {"raster never wraps", neverWraps, 75, false, 0, 1, 0, "step = 1\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim = row.display;
        resetResults(row.monitorHz);
        EXPECT_EQ(measureRefresh(rasterProbe), row.measured);
        EXPECT_EQ(visibleLines, row.display.height);
        EXPECT_EQ(totalLines, row.totalLines);
        EXPECT_EQ(preciseTiming, row.preciseTiming);
        if (row.hz == 0) {
            EXPECT_EQ(refreshRate, (row.monitorHz ? row.monitorHz : 60) * 256);
        } else {
            EXPECT_NEAR(refreshRate / 256.0, row.hz, row.hz / 1000);
            EXPECT_GE(refreshDeviation, 0);
            EXPECT_LT(refreshDeviation, static_cast<int32_t>(refreshRate / 500));
        }
        EXPECT_NE(testHost.console.find(row.consoleHas), std::string::npos) << testHost.console;
        EXPECT_EQ(measures() >= 0, row.hz != 0) << testHost.console;
        EXPECT_LT(sim.nowNs - row.display.nowNs, (measureLimitMicros + 700000) * 1000);
    }
}

TEST(RefreshMeasure, SettlesOnTheThirdPassAndCountsDroppedSamples) {
    // With a coarse clock the measurement ends as soon as three passes agree:
    // the first two passes took a sample each, the third one none.
    sim = display(60, 806, 768);
    sim.audioStepBytes = 20;
    resetResults(60);
    EXPECT_TRUE(measureRefresh(rasterProbe));
    EXPECT_EQ(sim.raises, 2u);
    EXPECT_EQ(totalLines, 806u);

    sim = display(60, 806, 768);
    resetResults(60);
    ASSERT_TRUE(measureRefresh(rasterProbe));
    const int steady = measures();
    EXPECT_EQ(steady, 3); // four samples, the first pair from the first two passes

    // Samples 3 to 5 see the raster wrap and are dropped; their passes still
    // count, and the history needs three more fresh samples after them.
    sim = display(60, 806, 768);
    sim.stallFrom = 3;
    sim.stallTo = 6;
    resetResults(60);
    ASSERT_TRUE(measureRefresh(rasterProbe));
    EXPECT_EQ(measures(), steady + 6);
    EXPECT_NEAR(refreshRate / 256.0, 60.0, 0.06);

    // Every sample dropped: no estimate in 100 passes.
    sim = display(60, 806, 768);
    sim.stallTo = 1000;
    resetResults(60);
    EXPECT_FALSE(measureRefresh(rasterProbe));
    EXPECT_EQ(sim.raises, maxMeasurePasses);
    EXPECT_EQ(refreshRate, 60u * 256);
    EXPECT_EQ(refreshDeviation, noEstimates);
}

TEST(RefreshMeasure, DisplayModeUnavailableChangesNothing) {
    sim = display(60, 806, 768);
    sim.heightFails = true;
    resetResults(60);
    visibleLines = 11;
    totalLines = 12;
    refreshRate = 13;
    refreshDeviation = 14;
    EXPECT_FALSE(measureRefresh(rasterProbe));
    EXPECT_EQ(visibleLines, 11u);
    EXPECT_EQ(totalLines, 12u);
    EXPECT_EQ(refreshRate, 13u);
    EXPECT_EQ(refreshDeviation, 14);
    EXPECT_EQ(testHost.console, "");
}

TEST(RefreshMeasure, ByFramesWithJitter) {
    struct Row {
        const char* name;
        double hz;
        uint32_t step;
        bool blocks;
        bool measured;
        bool converges;
    };
    const Row rows[] = {
        {"60 Hz", 60.0, 4, true, true, true},
        {"59.94 Hz", 59.94, 4, true, true, true},
        {"75 Hz", 75.0, 4, true, true, true},
        {"present does not block", 60.0, 4, false, false, false},
        {"coarse audio clock", 60.0, 4096, true, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim = display(row.hz, 1, 1080);
        sim.audioStepBytes = row.step;
        sim.presentBlocks = row.blocks;
        resetResults(0);
        totalLines = 7;
        EXPECT_EQ(measureRefreshByFrames(frameProbe), row.measured);
        EXPECT_EQ(visibleLines, 1080u);
        EXPECT_EQ(totalLines, 7u); // no raster: the blanking lines are not known
        if (row.converges) {
            EXPECT_NEAR(refreshRate / 256.0, row.hz, row.hz / 500);
            EXPECT_GE(measures(), 3);
            EXPECT_LT(refreshDeviation, static_cast<int32_t>(refreshRate / 500));
        } else {
            EXPECT_EQ(refreshRate, 60u * 256);
            EXPECT_EQ(measures(), -1);
        }
    }
}

TEST(RefreshReport, Lines) {
    struct Row {
        bool measured;
        uint8_t precise;
        uint32_t monitorHz, rate;
        int32_t deviation;
        uint32_t visible, total;
        const char* text;
    };
    const Row rows[] = {
        {true, 1, 60, 15361, 2, 1080, 1125,
         "FPS Deviation - 0.013%\nMonitor frequency - 60Hz (60.004Hz)\n"
         "Visible/Total scanlines - 1080 / 1125\n"},
        {true, 0, 60, 15360, noEstimates, 768, 806,
         "Monitor frequency - 60Hz (60.000Hz)\nVisible/Total scanlines - 768 / 806\n"},
        {true, 1, 59, 15345, 5, 768, 0,
         "FPS Deviation - 0.033%\nMonitor frequency - 59Hz (59.941Hz)\n"
         "Visible/Total scanlines - 768 / 768\n"},
        {false, 1, 75, 19200, noEstimates, 600, 625,
         "Error! Can't correct determine FPS or Overscan!\nFPS Deviation - 87381.328%\n"
         "Monitor frequency - 75Hz (75.000Hz)\nVisible/Total scanlines - 600 / 625\n"},
        // The driver named no rate: the nominal 60 Hz in use is shown.
        {false, 0, 0, 15360, noEstimates, 1080, 1080,
         "Error! Can't correct determine FPS or Overscan!\n"
         "Monitor frequency - 0Hz (60.000Hz)\nVisible/Total scanlines - 1080 / 1080\n"},
        // Display mode unreadable and no rate: no deviation to relate to it.
        {false, 1, 0, 0, noEstimates, 0, 0,
         "Error! Can't correct determine FPS or Overscan!\n"
         "Monitor frequency - 0Hz (0.000Hz)\nVisible/Total scanlines - 0 / 0\n"},
    };
    for (const Row& row : rows) {
        resetResults(row.monitorHz);
        preciseTiming = row.precise;
        refreshRate = row.rate;
        refreshDeviation = row.deviation;
        visibleLines = row.visible;
        totalLines = row.total;
        reportRefresh(row.measured);
        EXPECT_EQ(testHost.console, row.text);
        EXPECT_GE(totalLines, visibleLines);
    }
}

} // namespace
