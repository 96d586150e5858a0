// The refresh measurement against simulated displays and audio clocks: each
// probe read costs a few simulated microseconds, sleeps overshoot, and the
// raster and the play position follow the simulated time.
#include "platforms/common/refresh.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

enum Present { blocks, returnsAtOnce, claimsToBlock }; // claims: returns after 0.5 ms

struct SimDisplay {
    double hz = 60;
    uint32_t lines = 806, height = 768; // lines per frame, blanking included
    uint32_t reportedLines = 0;         // the raster reads fail from here on (0: none fail)
    bool shrinking = false;             // pass p sees reportedLines - p % 3
    bool heightFails = false, audioStuck = false;
    double sampleRate = 48000;
    uint32_t audioStep = 4;
    uint32_t stallFrom = 0, stallTo = 0; // these samples stall until the raster wraps
    uint32_t raiseDelayNs = 0;           // each sample starts up to this late
    Present present = blocks;
    uint64_t nowNs = 987654321, periodNs = 0, seed = 12345;
    uint32_t raises = 0, presents = 0;
};
SimDisplay sim;

uint64_t nextRandom() {
    sim.seed = sim.seed * 6364136223846793005ull + 1442695040888963407ull;
    return sim.seed >> 33;
}

bool simHeight(uint32_t* lines) {
    if (!sim.heightFails) *lines = sim.height;
    return !sim.heightFails;
}

bool simScanLine(uint32_t* line) {
    sim.nowNs += 2000;
    const uint32_t now = static_cast<uint32_t>(sim.nowNs % sim.periodNs * sim.lines / sim.periodNs);
    if (now >= sim.reportedLines - (sim.shrinking ? sim.raises % 3 : 0)) return false;
    *line = now;
    return true;
}

bool simPlayPosition(uint32_t* bytes) {
    sim.nowNs += 3000;
    if (sim.audioStuck) return false;
    const auto played = static_cast<uint64_t>(sim.nowNs * sim.sampleRate / 1e9) * 4;
    *bytes = static_cast<uint32_t>((played - played % sim.audioStep) % audioRingBytes);
    return true;
}

void simSleep(uint32_t ms) { sim.nowNs += ms * 1000000ull + 60000; }
uint64_t simNow() { return sim.nowNs / 1000; }
void simRestore() {}

void simRaise() {
    if (sim.raiseDelayNs) sim.nowNs += nextRandom() % sim.raiseDelayNs;
    if (sim.raises >= sim.stallFrom && sim.raises < sim.stallTo)
        sim.nowNs += sim.periodNs - sim.nowNs % sim.periodNs - 4000;
    ++sim.raises;
}

bool simWaitRefresh() {
    ++sim.presents;
    if (sim.present != blocks) {
        sim.nowNs += 500000;
        return sim.present == claimsToBlock;
    }
    // Back up to 20 us after the refresh starts, now and then 0.9 ms.
    const uint64_t late = nextRandom() % 20000 + (sim.presents % 9 == 0 ? 900000 : 0);
    sim.nowNs += sim.periodNs - sim.nowNs % sim.periodNs + late;
    return true;
}

const RefreshProbe rasterProbe{simHeight, simScanLine, simPlayPosition, simSleep,
                               simRaise,  simRestore,  simNow};
const FrameClockProbe frameProbe{simWaitRefresh, simPlayPosition, simNow, simHeight};

void start(const SimDisplay& display, uint32_t hz) {
    sim = display;
    sim.periodNs = static_cast<uint64_t>(1e9 / sim.hz);
    if (sim.reportedLines == 0) sim.reportedLines = sim.lines;
    installTestHost();
    monitorHz = hz;
    visibleLines = totalLines = refreshRate = 0;
    refreshDeviation = noEstimates;
}

// The pass count of the "N measures" line, -1 when there is none.
int measures() {
    const std::string& text = testHost.console;
    const size_t at = text.find(" measures\n");
    if (at == std::string::npos) return -1;
    return std::atoi(text.c_str() + text.rfind('\n', at) + 1);
}

TEST(RefreshPieces, RingEstimateAgreement) {
    EXPECT_EQ(ringBytesPlayed(46400, 1600) / 4, 800u);
    EXPECT_EQ(ringBytesPlayed(47996, 0), 4u);
    EXPECT_EQ(rateEstimate(806, 806, 800), 15360u); // 60.000 Hz
    EXPECT_EQ(rateEstimate(806, 806, 801), 15340u); // truncated
    EXPECT_EQ(rateEstimate(806, 806, 0), 0u);
    struct Row {
        uint32_t e1, e2, e3;
        int32_t deviationBefore;
        bool agree;
        uint32_t rate;
        int32_t deviation;
    } const rows[] = {
        {15360, 15362, 15361, noEstimates, true, 15361, 2},
        {15360, 15362, 15361, 1, true, 15361, 1},            // a smaller spread stays
        {15331, 15360, 15389, noEstimates, true, 15360, 29}, // both below 15360 / 500
        {15330, 15360, 15390, noEstimates, false, 99, 30},   // 30 is not below 30
        {0, 0, 0, noEstimates, false, 99, noEstimates},      // the clock did not move
    };
    for (const Row& row : rows) {
        refreshRate = 99;
        refreshDeviation = row.deviationBefore;
        EXPECT_EQ(estimatesAgree(row.e1, row.e2, row.e3), row.agree) << row.e1;
        EXPECT_EQ(refreshRate, row.rate) << row.e1;
        EXPECT_EQ(refreshDeviation, row.deviation) << row.e1;
    }
}

TEST(RefreshMeasure, SimulatedRasters) {
    struct Row {
        const char* name;
        SimDisplay display;
        uint32_t monitorHz;
        bool measured;
        uint32_t totalLines;
        uint8_t precise;
        double hz;        // 0: the fallback rate exactly
        int measures;     // -1: no such line, -2: any count
        uint32_t raises;  // samples taken (0: not checked)
        const char* text; // on the console
    } const rows[] = {
        {"806 lines 60 Hz", {}, 60, true, 806, 1, 60, 3, 0, "Minimal audio step = 1\n"},
        {"1125 lines 59.94 Hz",
         {.hz = 59.94, .lines = 1125, .height = 1080},
         59,
         true,
         1125,
         1,
         59.94,
         -2,
         0,
         ""},
        {"625 lines 75 Hz",
         {.hz = 75, .lines = 625, .height = 600},
         75,
         true,
         625,
         1,
         75,
         -2,
         0,
         ""},
        {"audio clock 0.1% fast", {.sampleRate = 48048}, 60, true, 806, 1, 60 / 1.001, -2, 0, ""},
        {"samples up to 19 lines late", {.raiseDelayNs = 400000}, 60, true, 806, 1, 60, -2, 0, ""},
        {"raster to the last visible line only",
         {.reportedLines = 768},
         60,
         true,
         768,
         1,
         60,
         -2,
         0,
         ""},
        // Settled on the third pass: the first two took a sample, it none.
        {"20-byte audio steps",
         {.audioStep = 20},
         60,
         true,
         806,
         0,
         0,
         -1,
         2,
         "Minimal audio step = 5\n"},
        // Dropped samples count as passes; three fresh ones follow them.
        {"samples 3 to 5 wrap", {.stallFrom = 3, .stallTo = 6}, 60, true, 806, 1, 60, 9, 0, ""},
        {"every sample wraps", {.stallTo = 1000}, 60, false, 806, 1, 0, -1, 100, ""},
        // Never settled: the count of the pass two before the last (97).
        {"line counts never repeat", {.shrinking = true}, 60, false, 805, 1, 0, -1, 100, ""},
        {"audio clock stands still",
         {.audioStuck = true},
         60,
         false,
         806,
         0,
         0,
         -1,
         2,
         "Audio clock is not running\n"},
        {"raster never in the lower half", {.reportedLines = 300}, 0, false, 0, 1, 0, -1, 0, ""},
        {"raster never wraps", {.hz = 0.001, .nowNs = 500000000000}, 75, false, 0, 1, 0, -1, 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        start(row.display, row.monitorHz);
        const uint64_t began = sim.nowNs;
        EXPECT_EQ(measureRefresh(rasterProbe), row.measured);
        EXPECT_EQ(visibleLines, row.display.height);
        EXPECT_EQ(totalLines, row.totalLines);
        EXPECT_EQ(preciseTiming, row.precise);
        if (row.hz == 0) {
            EXPECT_EQ(refreshRate, (row.monitorHz ? row.monitorHz : 60) * 256);
        } else {
            EXPECT_NEAR(refreshRate / 256.0, row.hz, row.hz / 1000);
            EXPECT_LT(refreshDeviation, static_cast<int32_t>(refreshRate / 500));
        }
        EXPECT_TRUE(row.measures == -2 || measures() == row.measures) << testHost.console;
        EXPECT_TRUE(row.raises == 0 || sim.raises == row.raises) << sim.raises;
        EXPECT_NE(testHost.console.find(row.text), std::string::npos) << testHost.console;
        EXPECT_LT(sim.nowNs - began, (measureLimitMicros + 700000) * 1000);
    }

    // Without the display mode nothing is measured and nothing changes.
    start({.heightFails = true}, 60);
    refreshRate = 13;
    EXPECT_FALSE(measureRefresh(rasterProbe));
    EXPECT_EQ(visibleLines + totalLines + refreshRate, 13u);
    EXPECT_EQ(testHost.console, "");
}

TEST(RefreshMeasure, ByFramesWithJitter) {
    struct Row {
        SimDisplay display;
        bool measured;
        double hz; // 0: the fallback, 60 Hz
    } const rows[] = {
        {{.hz = 60}, true, 60},
        {{.hz = 59.94}, true, 59.94},
        {{.hz = 144}, true, 144},
        {{.present = returnsAtOnce}, false, 0},
        {{.present = claimsToBlock}, false, 0}, // agrees on 2000 Hz
        {{.audioStep = 4096}, true, 0},
        {{.audioStuck = true}, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.display.hz);
        start(row.display, 0);
        totalLines = 7;
        EXPECT_EQ(measureRefreshByFrames(frameProbe), row.measured);
        EXPECT_EQ(visibleLines, 768u);
        EXPECT_EQ(totalLines, 7u); // no raster: the blanking lines are not known
        EXPECT_NEAR(refreshRate / 256.0, row.hz ? row.hz : 60, row.hz / 500);
        EXPECT_EQ(measures() >= 3, row.hz != 0);
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
    } const rows[] = {
        {true, 1, 60, 15361, 2, 1080, 1125,
         "FPS Deviation - 0.013%\nMonitor frequency - 60Hz (60.004Hz)\n"
         "Visible/Total scanlines - 1080 / 1125\n"},
        {true, 0, 60, 15360, noEstimates, 768, 0,
         "Monitor frequency - 60Hz (60.000Hz)\nVisible/Total scanlines - 768 / 768\n"},
        {false, 1, 75, 19200, noEstimates, 600, 625,
         "Error! Can't correct determine FPS or Overscan!\nFPS Deviation - 87381.328%\n"
         "Monitor frequency - 75Hz (75.000Hz)\nVisible/Total scanlines - 600 / 625\n"},
        // No rate from the driver: the nominal 60 Hz in use is shown.
        {false, 0, 0, 15360, noEstimates, 1080, 1080,
         "Error! Can't correct determine FPS or Overscan!\n"
         "Monitor frequency - 0Hz (60.000Hz)\nVisible/Total scanlines - 1080 / 1080\n"},
        // No rate at all: no deviation line to divide by it.
        {false, 1, 0, 0, noEstimates, 0, 0,
         "Error! Can't correct determine FPS or Overscan!\n"
         "Monitor frequency - 0Hz (0.000Hz)\nVisible/Total scanlines - 0 / 0\n"},
    };
    for (const Row& row : rows) {
        start({}, row.monitorHz);
        preciseTiming = row.precise;
        refreshRate = row.rate;
        refreshDeviation = row.deviation;
        visibleLines = row.visible;
        totalLines = row.total;
        reportRefresh(row.measured);
        EXPECT_EQ(testHost.console, row.text);
    }
}

} // namespace
