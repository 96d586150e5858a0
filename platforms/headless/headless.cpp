// Headless host: the seam filled without any display.
#include "platforms/headless/headless.h"

#include "host/host.h"
#include "platforms/common/files.h"
#include "platforms/common/png_writer.h"
#include "platforms/common/statefiles.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

uint32_t headlessFrames;

namespace {

FrameHook frameHook;

void sizeClient(uint32_t, uint32_t) {}

void showWindow() {}

void pacingStep() {
    ++headlessFrames;
    if (frameHook) frameHook(headlessFrames);
}

void muteAudio() {}

[[noreturn]] void shutdownAndExit() {
    std::fflush(stdout);
    std::exit(0);
}

[[noreturn]] void fatalError(const char* message) {
    std::fprintf(stderr, "System Error! %s\n", message);
    std::fflush(stdout);
    std::exit(1);
}

void consoleOut(const char* text) { std::fputs(text, stdout); }
} // namespace

void startHeadlessHost(uint32_t width, uint32_t height, FrameHook onFrame) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    screenWidth = std::max(width, minimumScreenWidth);
    screenHeight = std::max(height, minimumScreenHeight);
    sizeMemoryBackBuffer();
    frameHook = onFrame;
    headlessFrames = 0;
    keyboardCaptured = true;
    host = HostOps{lockMemoryBackBuffer,
                   unlockMemoryBackBuffer,
                   clearMemoryBackBuffer,
                   sizeClient,
                   showWindow,
                   pacingStep,
                   muteAudio,
                   writePngFile,
                   pathExists,
                   fatalError,
                   shutdownAndExit,
                   consoleOut};
    installFileStateStore();
}
