// Saved machine states of any bytes through the state reader, on a running
// machine: the TIA-MC-1 or the TIA-MC-2 demo game some frames into play,
// chosen by the model byte of the input's header. Each input is tried as it
// is and, when it can hold a header and a CRC, again with its length and CRC
// made right, so that the fuzzer reaches the sections the CRC would keep it
// from. A refused state must leave the machine byte for byte as it was and
// give a reason; an accepted one must save again to a state that loads back
// to the same bytes, and the machine must then run and draw.
//
// With KORVALO_FUZZ_STATE_SEEDS=DIR the harness first writes its seeds into
// DIR: real states of both games at two points of play, and one grown by a
// section this reader does not know.
//   KORVALO_FUZZ_STATE_SEEDS=fuzz/corpus/fuzz_state build-fuzz/fuzz/fuzz_state -runs=0
#include "cpu/z80.h"
#include "display/present.h"
#include "host/host.h"
#include "host/keycodes.h"
#include "machines/tiamc/state.h"
#include "machines/tiamc/tiamc.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t modelOffset = 14;
constexpr size_t smallestState = 27; // header and CRC

// The running machine an input is loaded into, as it stood before.
struct Baseline {
    TiaBoard board;
    CpuCore core;
    uint8_t keysNow[256];
    uint8_t keysPrev[256];
    uint8_t pauseHold;
};

Baseline baselines[2]; // by board model
uint32_t picture[512 * 256];

bool noLock(BackBufferLock*) { return false; }
void nothing() {}
void ignoreSize(uint32_t, uint32_t) {}
bool noPng(const char*, const uint32_t*, uint32_t, uint32_t, int32_t) { return false; }
bool noFile(const char*) { return false; }
void ignoreText(const char*) {}
[[noreturn]] void fatal(const char* message) {
    std::fprintf(stderr, "fatalError reached: %s\n", message);
    __builtin_trap();
}
[[noreturn]] void unexpectedExit() {
    std::fprintf(stderr, "shutdownAndExit reached\n");
    __builtin_trap();
}

// Frames are run but never drawn into a back buffer.
void installMemoryHost() {
    host = HostOps{noLock,  nothing, nothing, ignoreSize, nothing,        nothing,
                   nothing, noPng,   noFile,  fatal,      unexpectedExit, ignoreText};
    screenWidth = 1280;
    screenHeight = 960;
    keyboardCaptured = true;
}

// Enter starts the game at frame 20; the arrows and Space play it.
void playFrames(int first, int count) {
    for (int frame = first; frame < first + count; ++frame) {
        liveKeys[enterKey] = frame >= 20 && frame < 23 ? 0x80 : 0;
        liveKeys[rightArrowKey] = frame % 64 >= 40 ? 0x80 : 0;
        liveKeys[leftArrowKey] = frame % 64 < 20 ? 0x80 : 0;
        liveKeys[spaceKey] = frame % 9 == 0 ? 0x80 : 0;
        runTiaFrame();
    }
}

void keepBaseline(Baseline& b) {
    std::memcpy(&b.board, &tiaBoard, sizeof tiaBoard);
    std::memcpy(&b.core, &cpuCore, sizeof cpuCore);
    std::memcpy(b.keysNow, keysNow, sizeof keysNow);
    std::memcpy(b.keysPrev, keysPrev, sizeof keysPrev);
    b.pauseHold = pauseHoldFrames;
}

void restoreBaseline(const Baseline& b) {
    std::memcpy(&tiaBoard, &b.board, sizeof tiaBoard);
    std::memcpy(&cpuCore, &b.core, sizeof cpuCore);
    std::memcpy(keysNow, b.keysNow, sizeof keysNow);
    std::memcpy(keysPrev, b.keysPrev, sizeof keysPrev);
    pauseHoldFrames = b.pauseHold;
    releaseAllKeys();
}

bool untouched(const Baseline& b) {
    return std::memcmp(&tiaBoard, &b.board, sizeof tiaBoard) == 0 &&
           std::memcmp(&cpuCore, &b.core, sizeof cpuCore) == 0 &&
           std::memcmp(keysNow, b.keysNow, sizeof keysNow) == 0 &&
           std::memcmp(keysPrev, b.keysPrev, sizeof keysPrev) == 0 &&
           pauseHoldFrames == b.pauseHold;
}

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "fuzz_state: %s\n", what);
    __builtin_trap();
}

void tryState(const uint8_t* data, size_t size) {
    const Baseline& base = baselines[size > modelOffset && data[modelOffset] == tiaMc2];
    restoreBaseline(base);
    std::string error;
    if (!loadMachineState(data, size, error)) {
        if (error.empty()) finding("a state was refused without a reason");
        if (!untouched(base)) finding("a refused state changed the machine");
        return;
    }
    const std::vector<uint8_t> again = saveMachineState();
    if (again.empty()) finding("an accepted state left the core in no known phase");
    if (!loadMachineState(again.data(), again.size(), error))
        finding("a re-saved state was refused");
    if (saveMachineState() != again) finding("a re-saved state loaded to another machine");
    beginTiaFrame();
    for (int i = 0; i < 200 && cpuCore.cycleBudget >= 0; ++i)
        runInstruction(cpuCore);
    renderFrame(picture, 512);
}

void startBaseline(const std::string& romPath, Baseline& b) {
    tiaBoard = TiaBoard{};
    cpuCore = CpuCore{};
    std::memset(keysNow, 0, sizeof keysNow);
    std::memset(keysPrev, 0, sizeof keysPrev);
    releaseAllKeys();
    startTiaMachine(romPath.c_str());
    playFrames(1, 150);
    keepBaseline(b);
}

void writeSeed(const std::string& dir, const char* name, const std::vector<uint8_t>& state) {
    const std::string path = dir + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(state.data(), 1, state.size(), f) != state.size()) {
        std::fprintf(stderr, "fuzz_state: can't write %s\n", path.c_str());
        std::exit(1);
    }
    std::fclose(f);
}

void writeSeeds(const std::string& dir) {
    const char* const names[2][2] = {{"demo1-frame150", "demo1-frame190"},
                                     {"demo2-frame150", "demo2-frame190"}};
    for (int model = 0; model < 2; ++model) {
        restoreBaseline(baselines[model]);
        writeSeed(dir, names[model][0], saveMachineState());
        playFrames(151, 40);
        writeSeed(dir, names[model][1], saveMachineState());
    }
    restoreBaseline(baselines[tiaMc1]);
    std::vector<uint8_t> grown = saveMachineState();
    const uint8_t note[] = {'N', 'O', 'T', 'E', 4, 0, 0, 0, 's', 'e', 'e', 'd'};
    grown.insert(grown.end() - 4, note, note + sizeof note);
    sealMachineState(grown);
    writeSeed(dir, "demo1-unknown-section", grown);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    installMemoryHost();
    const std::string romDir = KORVALO_FUZZ_ROM_DIR;
    startBaseline(romDir + "/KorvaloDemo1.tia", baselines[tiaMc1]);
    startBaseline(romDir + "/KorvaloDemo2.tia", baselines[tiaMc2]);
    if (const char* seeds = std::getenv("KORVALO_FUZZ_STATE_SEEDS")) writeSeeds(seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tryState(data, size);
    if (size >= smallestState) {
        std::vector<uint8_t> sealed(data, data + size);
        sealMachineState(sealed);
        if (std::memcmp(sealed.data(), data, size) != 0) tryState(sealed.data(), size);
    }
    return 0;
}
