// ROM set bytes of any length through the real loader and a few frames of the
// real driver, with an in-memory host: composition at a preset the input
// picks, hot keys and cabinet keys pressed by the input, and a second file
// (or a path that does not exist) dropped mid-run. Every file here is
// readable, so the host's fatal error must never be reached.
//
// Input: a 20-byte header, then the first ROM set; the header says where the
// dropped second set starts inside the rest.
#include "cpu/z80.h"
#include "display/present.h"
#include "host/host.h"
#include "machines/tiamc/tiamc.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr size_t headerSize = 20;
constexpr uint32_t surfaceWidth = 1280;
constexpr uint32_t surfaceHeight = 960;
uint32_t surface[surfaceWidth * surfaceHeight];

std::string startPath;
std::string dropFilePath;

// Host keys the header can hold down, one bit each per frame.
constexpr uint8_t hotKeys[8] = {
    0xD3, // Delete
    0x1D, // Left Ctrl
    0x2A, // Left Shift
    0xB7, // Print Screen
    0x46, // Scroll Lock
    0xDB, // Left Windows
    0x21, // F
    0xCB, // Left arrow
};
constexpr uint8_t pauseKey = 0xC5;

// The back buffer can be locked on the last frame of an input only: earlier
// frames take the failed-lock path (nothing drawn, pacing goes on), which
// keeps each input to one composition.
bool drawing;

bool lock(BackBufferLock* out) {
    if (!drawing) return false;
    out->pixels = surface;
    out->pitch = surfaceWidth * 4;
    return true;
}
void clearSurface() { std::memset(surface, 0, sizeof surface); }
void ignoreSize(uint32_t, uint32_t) {}
void nothing() {}
bool noFile(const char*) { return false; }
void ignoreText(const char*) {}

// Reads every pixel of the shot, so ASan checks the rectangle is inside the
// back buffer.
bool readShot(const char*, const uint32_t* pixels, uint32_t width, uint32_t height, int32_t pitch) {
    uint32_t sum = 0;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            sum += pixels[y * (pitch / 4) + x];
    return sum != 1;
}

[[noreturn]] void fatal(const char* message) {
    std::fprintf(stderr, "fatalError reached: %s\n", message);
    __builtin_trap();
}
[[noreturn]] void unexpectedExit() {
    std::fprintf(stderr, "shutdownAndExit reached\n");
    __builtin_trap();
}

void installMemoryHost() {
    host.lockBackBuffer = lock;
    host.unlockBackBuffer = nothing;
    host.clearBackBuffer = clearSurface;
    host.sizeClient = ignoreSize;
    host.showWindow = nothing;
    host.pacingStep = nothing;
    host.muteAudio = nothing;
    host.encodePng = readShot;
    host.fileExists = noFile;
    host.fatalError = fatal;
    host.shutdownAndExit = unexpectedExit;
    host.consoleOut = ignoreText;
    screenWidth = surfaceWidth;
    screenHeight = surfaceHeight;
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) __builtin_trap();
    if (size && std::fwrite(data, 1, size, f) != size) __builtin_trap();
    std::fclose(f);
}

uint8_t presetFrom(uint8_t b) {
    const uint8_t presets[] = {3, 1, 12};
    return (b & 3) < 3 ? presets[b & 3] : b;
}

void pressKeys(uint8_t mask, uint8_t extraKey) {
    releaseAllKeys();
    for (int k = 0; k < 8; ++k)
        if (mask >> k & 1) liveKeys[hotKeys[k]] = 0x80;
    liveKeys[extraKey] = 0x80;
    if (extraKey == pauseKey) pressPause();
}

// Fresh process state: the board, the core and the host globals as at start.
void resetProcessState() {
    tiaBoard = TiaBoard{};
    tiaBoard.analogValue = 152;
    cpuCore = CpuCore{};
    std::memset(keysNow, 0, sizeof keysNow);
    std::memset(keysPrev, 0, sizeof keysPrev);
    pauseHoldFrames = 0;
    dropPending = false;
    fullScreen = false;
    keyboardCaptured = true;
}

// Header: [0] preset, [1] scanline look, [2..3] split of the rest, [4] frame
// count and drop kind, [5] frame of the drop, [6..13] keys per frame, [14..19]
// one more key per frame.
void runInput(const uint8_t* h, const uint8_t* rest, size_t restSize) {
    const size_t split = restSize * (h[2] | h[3] << 8) / 65536;
    writeFile(startPath, rest, split);
    writeFile(dropFilePath, rest + split, restSize - split);
    resetProcessState();
    scalePreset = presetFrom(h[0]);
    scanlineMode = h[1];
    startTiaMachine(startPath.c_str());
    const int frames = 2 + (h[4] & 1);
    const int dropKind = h[4] >> 2 & 3;
    const int dropFrame = h[5] % frames;
    for (int frame = 0; frame < frames; ++frame) {
        drawing = frame == frames - 1;
        pressKeys(h[6 + frame], h[14 + frame % 6]);
        if (frame == dropFrame && dropKind == 1) acceptDrop(dropFilePath.c_str());
        if (frame == dropFrame && dropKind == 2) acceptDrop("korvalo-fuzz-no-such-file.tia");
        runTiaFrame();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Two files are written per input: memory-backed /dev/shm unless TMPDIR
    // says otherwise.
    const char* tmp = std::getenv("TMPDIR");
    std::error_code error;
    const std::string dir = tmp && *tmp                                        ? tmp
                            : std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm"
                                                                               : "/tmp";
    const std::string stem = dir + "/korvalo-fuzz-" + std::to_string(getpid());
    startPath = stem + "-start.tia";
    dropFilePath = stem + "-drop.tia";
    installMemoryHost();
    std::atexit([] {
        std::remove(startPath.c_str());
        std::remove(dropFilePath.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < headerSize) return 0;
    runInput(data, data + headerSize, size - headerSize);
    return 0;
}
