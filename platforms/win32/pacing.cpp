// Waiting for the display: the start-up check of how the display can be
// followed, and the pacing step that runs one board frame per refresh.
#include "platforms/win32/win32_host.h"

#include "platforms/common/pacer.h"
#include "platforms/common/refresh.h"
#include "platforms/win32/lockkeys.h"

#include <cstdio>

extern volatile LONG frameReady;

namespace {
// Waiting switches from sleeping to the display driver's own wait here.
constexpr uint32_t sleepUntilLine = 450;

// How the pacing step finds the start of the next refresh. The display
// driver's vertical-blank wait where it blocks; where it returns at once
// (Wine's does) the raster line, followed to its wrap; without a raster the
// performance counter at the display's rate.
enum class RefreshWait : uint8_t { driverBlank, rasterWrap, counter };
RefreshWait refreshWait = RefreshWait::driverBlank;
uint32_t rasterThreshold = sleepUntilLine;
// The raster line can be read and moves; without it the pacing step goes
// straight to the display driver's wait.
bool rasterReadable;
uint64_t periodMicros = 1000000 / 60;
uint32_t framesShown;
uint64_t firstFrameMicros;

uint64_t since(uint64_t start) { return performanceMicros() - start; }

// Four waits take three or four refreshes when the wait blocks, a few
// microseconds when it does not.
bool verticalBlankBlocks() {
    const uint64_t start = performanceMicros();
    for (int i = 0; i < 4; ++i)
        directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    return since(start) >= 4000;
}

// Two readings that differ within 20 ms; a reading inside the blank fails
// and does not count.
bool rasterMoves() {
    bool seen = false;
    uint32_t first = 0, line = 0;
    for (int i = 0; i < 10; ++i) {
        if (displayScanLine(&line)) {
            if (seen && line != first) return true;
            if (!seen) first = line;
            seen = true;
        }
        Sleep(2);
    }
    return false;
}

void sleepIntoLowerHalf(uint64_t start) {
    uint32_t line = 0;
    do {
        Sleep(1);
        displayScanLine(&line);
    } while (line < rasterThreshold && since(start) < periodMicros);
}

// The raster goes back to the top, or stops answering inside the blank. Read
// every millisecond: a spin would take the processor from the emulation on a
// loaded machine, and the wrap is seen at most a millisecond late.
void followRasterToWrap(uint64_t start) {
    uint32_t last = 0, line = 0;
    displayScanLine(&last);
    while (since(start) < 2 * periodMicros) {
        Sleep(1);
        if (!displayScanLine(&line) || line < last) return;
        last = line;
    }
}

void waitForCounter() {
    const uint64_t deadline = performanceMicros() + pacerWaitMicros(performanceMicros());
    while (performanceMicros() + 1500 < deadline)
        Sleep(1);
    while (performanceMicros() < deadline)
        Sleep(0);
}

DWORD savedPriorityClass;
int savedThreadPriority;

// Around the three reads of one sample, so that they belong to one instant.
void raisePriority() {
    savedPriorityClass = GetPriorityClass(hostProcess);
    savedThreadPriority = GetThreadPriority(hostThread);
    SetPriorityClass(hostProcess, REALTIME_PRIORITY_CLASS);
    SetThreadPriority(hostThread, THREAD_PRIORITY_TIME_CRITICAL);
}

void restorePriority() {
    SetThreadPriority(hostThread, savedThreadPriority);
    SetPriorityClass(hostProcess, savedPriorityClass);
}

void sleepMs(uint32_t ms) { Sleep(ms); }

void waitForRefresh() {
    const uint64_t start = performanceMicros();
    switch (refreshWait) {
    case RefreshWait::driverBlank:
        if (rasterReadable) sleepIntoLowerHalf(start);
        directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
        break;
    case RefreshWait::rasterWrap:
        sleepIntoLowerHalf(start);
        followRasterToWrap(start);
        break;
    case RefreshWait::counter: waitForCounter(); break;
    }
}
} // namespace

bool displayScanLine(uint32_t* line) {
    DWORD value = 0;
    if (directDraw->GetScanLine(&value) != DD_OK) return false;
    *line = value;
    return true;
}

bool displayModeHeight(uint32_t* lines) {
    DDSURFACEDESC mode{};
    mode.dwSize = sizeof mode;
    if (FAILED(directDraw->GetDisplayMode(&mode))) return false;
    *lines = mode.dwHeight;
    return true;
}

void readMonitorFrequency() {
    DWORD hz = 0;
    directDraw->GetMonitorFrequency(&hz);
    monitorHz = hz;
}

void measureDisplay() {
    const RefreshProbe probe{displayModeHeight, displayScanLine, audioPlayPosition, sleepMs,
                             raisePriority,     restorePriority, performanceMicros};
    reportRefresh(measureRefresh(probe));
    const uint32_t rate = refreshRate != 0 ? refreshRate : fallbackRefreshRate();
    periodMicros = 256000000ull / rate;
    rasterReadable = rasterMoves();
    // A display of fewer than 451 lines never reaches line 450: sleep until
    // the middle of the screen there.
    uint32_t height = 0;
    if (displayModeHeight(&height) && height / 2 < rasterThreshold) rasterThreshold = height / 2;
    // Above the board's range of rates the game would run too fast: the
    // board's own 60 frames per second on the performance counter instead.
    if (!lockedToRefresh(rate)) {
        refreshWait = RefreshWait::counter;
    } else if (verticalBlankBlocks()) {
        refreshWait = RefreshWait::driverBlank;
        return;
    } else if (rasterReadable) {
        refreshWait = RefreshWait::rasterWrap;
        std::printf("Vertical blank wait returns at once: frames follow the raster\n");
        return;
    } else {
        refreshWait = RefreshWait::counter;
    }
    startPacer(rate, performanceMicros());
    std::printf("Frames paced at %.3fHz on the performance counter\n",
                static_cast<double>(framePacer.rateHz256) / 256.0);
}

void pacingStep() {
    waitForRefresh();
    InterlockedExchange(&frameReady, 1);
    RECT corner{0, 0, 10, 10};
    InvalidateRect(mainWindow, &corner, FALSE);
    UpdateWindow(mainWindow);
    if (framesShown++ == 0) firstFrameMicros = performanceMicros();
    applyMachineLockState();
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            const double seconds = static_cast<double>(since(firstFrameMicros)) / 1e6;
            if (framesShown > 1 && seconds > 0) {
                std::printf("%u frames shown in %.2f s, %.2f per second\n",
                            static_cast<unsigned>(framesShown), seconds,
                            static_cast<double>(framesShown - 1) / seconds);
            }
            win32ShutdownAndExit();
        }
        DispatchMessageA(&message);
    }
}
