// Save-state benchmark: one save and one load of the whole machine, timed
// many times over on the demo game in play (started with Enter, a key held),
// and the state's size. Prints the median and the fastest of each, and the
// share of zlib's CRC-32 over the state, which both pay once. Then the game
// plays on until the rewind ring is full, and the memory the ring holds is
// printed.
//
// Usage: state_bench [runs] [ROM]   (default 20000, the demo set the build made)
#include "host/host.h"
#include "host/keycodes.h"
#include "machines/tiamc/rewind.h"
#include "machines/tiamc/state.h"
#include "machines/tiamc/tiamc.h"
#include "platforms/headless/headless.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

volatile uLong crcSink; // keeps the timed CRC runs from being left out

// Nanoseconds of each of runs calls of operation, sorted.
template <typename Operation> std::vector<double> timeEach(long runs, Operation operation) {
    std::vector<double> times(static_cast<size_t>(runs));
    for (double& t : times) {
        const auto start = Clock::now();
        operation();
        t = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    }
    std::sort(times.begin(), times.end());
    return times;
}

void report(const char* what, const std::vector<double>& times) {
    std::printf("%-6s median %6.2f us, fastest %6.2f us\n", what, times[times.size() / 2] / 1000,
                times.front() / 1000);
}
} // namespace

int main(int argc, char** argv) {
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
    const char* romPath = argc > 2 ? argv[2] : KORVALO_STATE_BENCH_ROM;
    if (runs <= 0) {
        std::fprintf(stderr, "usage: state_bench [runs] [ROM]\n");
        return 2;
    }
    startHeadlessHost(1280, 960, nullptr);
    startTiaMachine(romPath);
    for (int frame = 1; frame <= 300; ++frame) {
        liveKeys[enterKey] = frame >= 20 && frame < 23 ? 0x80 : 0;
        liveKeys[rightArrowKey] = frame >= 60 ? 0x80 : 0;
        runTiaFrame();
    }

    std::vector<uint8_t> state = saveMachineState();
    if (state.empty()) {
        std::fprintf(stderr, "state_bench: the machine gave no state\n");
        return 1;
    }
    const std::vector<double> saves = timeEach(runs, [&state] { state = saveMachineState(); });
    bool loaded = true;
    std::string error;
    const std::vector<double> loads = timeEach(
        runs, [&] { loaded = loadMachineState(state.data(), state.size(), error) && loaded; });
    if (!loaded) {
        std::fprintf(stderr, "state_bench: Can't load state: %s\n", error.c_str());
        return 1;
    }
    const std::vector<double> crcs =
        timeEach(runs, [&state] { crcSink = crc32(0L, state.data(), uInt(state.size())); });

    std::printf("state_bench: %ld runs, state of %zu bytes (%s)\n", runs, state.size(),
                tiaBoard.boardModel == tiaMc2 ? "TIA-MC-2" : "TIA-MC-1");
    report("save", saves);
    report("load", loads);
    report("CRC-32", crcs);

    // The arrows and Space in turn, as a player would.
    for (int frame = 301; frame <= 300 + int(rewindFrameLimit) + 200; ++frame) {
        liveKeys[rightArrowKey] = frame % 120 < 50 ? 0x80 : 0;
        liveKeys[leftArrowKey] = frame % 120 >= 60 && frame % 120 < 110 ? 0x80 : 0;
        liveKeys[spaceKey] = frame % 16 < 2 ? 0x80 : 0;
        runTiaFrame();
    }
    const size_t ringBytes = rewindMemoryBytes();
    std::printf("rewind ring: %u states in %.2f MB, %.0f bytes a frame beyond the newest state\n",
                rewindStateCount(), ringBytes / 1e6,
                double(ringBytes - state.size()) / (rewindStateCount() - 1));
    return 0;
}
