// Soak run: the TIA-MC driver headless for a million frames (or as many as
// asked) on a ROM set, with the player's keys changing every few frames, the
// scale preset and scanline look cycled, and the ROM set dropped again now
// and then. Memory must not grow: the resident set and its peak are read from
// /proc/self/status after a warm-up in which every kind of event has happened
// once, and at the end; any growth of either is a FAIL.
//
// Usage: soak_bench [frames [ROM set]]   (default 1000000, the demo ROM set;
// at least 21001 frames)
#include "host/host.h"
#include "machines/tiamc/tiamc.h"
#include "platforms/headless/headless.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// Past the first preset change (5000), look change (7000) and drop (20000).
constexpr uint32_t warmUpFrames = 21000;

struct Memory {
    long rssKb;
    long peakKb;
};

long statusField(const std::string& status, const char* name) {
    const size_t at = status.find(name);
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + std::strlen(name));
}

Memory readMemory() {
    std::ifstream file("/proc/self/status");
    const std::string status((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
    return {statusField(status, "VmRSS:"), statusField(status, "VmHWM:")};
}

uint32_t consoleLines;
void countLine(const char*) { ++consoleLines; }

// The player's keys: arrows, fire, start, changed every 24 frames from a
// fixed pseudo-random sequence; every 5000 frames Delete (preset) and every
// 7000 Left Ctrl + Delete (scanline look) are pressed for one frame.
void pressKeys(uint32_t frame, uint32_t& random) {
    constexpr uint8_t player[] = {0xCB, 0xCD, 0xC8, 0xD0, 0x39, 0x1C, 0x14};
    if (frame % 24 == 0) {
        random = random * 1664525u + 1013904223u;
        for (size_t k = 0; k < sizeof player; ++k)
            liveKeys[player[k]] = (random >> (8 + k)) & 1 ? 0x80 : 0;
    }
    const bool preset = frame % 5000 == 0, look = frame % 7000 == 0;
    liveKeys[0xD3] = preset || look ? 0x80 : 0; // Delete
    liveKeys[0x1D] = look ? 0x80 : 0;           // Left Ctrl
}

void report(const char* when, const Memory& m) {
    std::printf("%-22s VmRSS %7ld kB   VmHWM %7ld kB\n", when, m.rssKb, m.peakKb);
}

} // namespace

int main(int argc, char** argv) {
    const uint32_t frames =
        argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000u;
    const char* rom = argc > 2 ? argv[2] : KORVALO_SOAK_ROM;
    if (frames <= warmUpFrames) {
        std::fprintf(stderr, "soak_bench: ask for more than %u frames\n", warmUpFrames);
        return 2;
    }
    startHeadlessHost(1280, 960, nullptr);
    host.consoleOut = countLine;
    startTiaMachine(rom);
    // The first reading also settles the reader's own buffers.
    const Memory atStart = readMemory();
    uint32_t random = 1;
    Memory start{};
    const auto began = std::chrono::steady_clock::now();
    for (uint32_t frame = 1; frame <= frames; ++frame) {
        pressKeys(frame, random);
        if (frame % 20000 == 0) acceptDrop(rom);
        runTiaFrame();
        if (frame == warmUpFrames) start = readMemory();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const Memory end = readMemory();
    std::printf("soak_bench: %u frames of %s in %.1f s (%.0f frames/s), %u console lines\n", frames,
                rom, seconds, frames / seconds, consoleLines);
    report("at the start:", atStart);
    report("after warm-up frames:", start);
    report("at the end:", end);
    const bool steady = end.rssKb <= start.rssKb && end.peakKb <= start.peakKb;
    std::printf("%s: memory %s\n", steady ? "PASS" : "FAIL", steady ? "steady" : "grew");
    return steady ? 0 : 1;
}
