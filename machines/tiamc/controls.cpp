// The frame-start hook: a dropped ROM set, the keyboard snapshots, the host
// hot keys and the cabinet inputs, between two frames of emulation.
#include "machines/tiamc/tiamc.h"

#include "cpu/z80.h"
#include "display/present.h"
#include "host/host.h"
#include "host/keycodes.h"
#include "machines/tiamc/monitor.h"

namespace {

bool newlyPressed(uint8_t key) { return keyDown(key) && !(keysPrev[key] & 0x80); }

struct ScaleStep {
    uint8_t before;
    uint8_t after;
    const char* message;
    uint32_t width;
    uint32_t height;
};

constexpr ScaleStep scaleSteps[] = {
    {12, 3, "Screen Y-scale = 3.0\n", 960, 768},
    {3, 1, "Screen X-scale = 1.0\n", 512, 512},
    {1, 12, "Screen X-scale = 1.25\n", 640, 512},
};

constexpr const char* scanlineMessages[] = {"Black scanlines\n", "Smooth scanlines\n",
                                            "Double lines\n"};

} // namespace

void advanceScalePreset() {
    for (const ScaleStep& step : scaleSteps) {
        if (step.before != scalePreset) continue;
        scalePreset = step.after;
        consolePrintf("%s", step.message);
        resizeClient(step.width, step.height);
        return;
    }
}

void advanceScanlineMode() {
    scanlineMode = scanlineMode >= 2 ? 0 : scanlineMode + 1;
    consolePrintf("%s", scanlineMessages[scanlineMode]);
}

const FrameInputs hostFrameInputs{nullptr, loadRomSet, snapshotKeys};
FrameInputs frameInputs = hostFrameInputs;

void restartAtZero() {
    cpuCore.PC = 0;
    cpuCore.stepFn = decodeOpcode;
    cpuCore.busFn = cpuCore.fetchFn;
}

namespace {

// A file that cannot be opened leaves the running game as it was.
void loadDroppedRomSet() {
    if (frameInputs.loadDroppedSet(dropPath)) {
        restartAtZero();
        forgetRewind();
    } else {
        consolePrintf("Can't open file!\n");
    }
    dropPending = false;
}

// The full-screen and screenshot keys take the frame: the cabinet inputs keep
// their previous values. F11 toggles full screen as Left Windows + F does:
// many desktops keep the Windows key for themselves.
bool hotKeysTakeFrame() {
    const bool windowsF = keyDown(leftWindowsKey) && keyDown(fKey);
    if (windowsF || keyDown(f11Key)) {
        if ((windowsF && newlyPressed(fKey)) || newlyPressed(f11Key)) {
            fullScreen = !fullScreen;
            resizeClient(0, 0);
        }
        return true;
    }
    if (keyDown(leftShiftKey) && newlyPressed(printScreenKey)) {
        takeScreenshot();
        return true;
    }
    if (newlyPressed(deleteKey)) {
        clearBackBuffer();
        if (keyDown(leftCtrlKey)) {
            advanceScanlineMode();
        } else {
            advanceScalePreset();
        }
    }
    return false;
}

// The slot keys and Backspace leave the frame to the cabinet: the game never
// sees them, so saving or rewinding does not change its course. What they
// ask of the state is done at the start of the next frame.
void noteStateKeys() {
    if (newlyPressed(f4Key)) stateRequest = StateRequest::load;
    if (newlyPressed(f2Key)) stateRequest = StateRequest::save; // with F4: the save
    if (newlyPressed(f6Key)) stepStateSlot(-1);
    if (newlyPressed(f7Key)) stepStateSlot(1);
    if (newlyPressed(f9Key)) requestMonitorStop();
    rewindHeld = keyDown(backspaceKey);
}

} // namespace

void handleHostControls() {
    if (frameInputs.frameStarting) frameInputs.frameStarting();
    if (dropPending) loadDroppedRomSet();
    saveKeysPrev();
    frameInputs.snapshotKeys();
    noteStateKeys();
    if (keyDown(printScreenKey) && keyDown(scrollLockKey) && keyDown(pauseKey)) {
        restartAtZero();
        cpuCore.iff = 0;
    }
    if (!hotKeysTakeFrame()) buildInputBytes();
}
