// Waiting for the display: the start-up check of how the display can be
// followed, the same choice made again when the window's display changes, and
// the pacing step that runs one board frame per refresh.
#include "platforms/win32/win32_host.h"

#include "platforms/common/pacer.h"
#include "platforms/common/refresh.h"
#include "platforms/win32/lockkeys.h"
#include "platforms/win32/pacingchoice.h"

#include <cstdio>

extern volatile LONG frameReady;

namespace {
// Waiting switches from sleeping to the display driver's own wait here.
constexpr uint32_t sleepUntilLine = 450;

RefreshWait refreshWait = RefreshWait::driverBlank;
uint32_t rasterThreshold = sleepUntilLine;
// The raster line can be read and moves; without it the pacing step goes
// straight to the display driver's wait.
bool rasterReadable;
// The display driver's vertical-blank wait blocks.
bool blankBlocks;
uint64_t periodMicros = 1000000 / 60;
// The monitor the choice was made for (0 until the start-up choice), and the
// rate of the primary display's mode when it was measured.
HMONITOR pacedMonitor;
uint32_t measuredModeHz;
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

// A display of fewer than 451 lines never reaches line 450: sleep until the
// middle of the screen there.
void readRasterThreshold() {
    uint32_t height = 0;
    rasterThreshold = sleepUntilLine;
    if (displayModeHeight(&height) && height / 2 < rasterThreshold) rasterThreshold = height / 2;
}

// The rate of the monitor's display mode in whole hertz (0 or 1: the
// driver's default, 0 when it cannot be read); primary is set for the
// primary display.
uint32_t monitorModeHz(HMONITOR monitor, bool* primary, char (&device)[CCHDEVICENAME]) {
    MONITORINFOEXA info{};
    info.cbSize = sizeof info;
    *primary = false;
    device[0] = '\0';
    if (!GetMonitorInfoA(monitor, &info)) return 0;
    *primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    std::snprintf(device, sizeof device, "%s", info.szDevice);
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(info.szDevice, ENUM_CURRENT_SETTINGS, &mode)) return 0;
    return mode.dmDisplayFrequency;
}

void applyPacing(const PacingChoice& choice) {
    refreshWait = choice.wait;
    periodMicros = 256000000ull / choice.rateHz256;
    if (choice.wait == RefreshWait::counter) startPacer(choice.rateHz256, performanceMicros());
}

// The end of a new choice's console line: how frames now wait.
void printPacing(RefreshWait wait) {
    switch (wait) {
    case RefreshWait::driverBlank: std::printf("frames wait for its vertical blank\n"); break;
    case RefreshWait::rasterWrap: std::printf("frames follow the raster\n"); break;
    case RefreshWait::counter:
        std::printf("frames paced at %.3fHz on the performance counter\n",
                    static_cast<double>(framePacer.rateHz256) / 256.0);
        break;
    }
}

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

// The DirectDraw object is the primary display's: the measurement, the
// vertical-blank wait and the raster line are that display's.
void measureDisplay() {
    const RefreshProbe probe{displayModeHeight, displayScanLine, audioPlayPosition, sleepMs,
                             raisePriority,     restorePriority, performanceMicros};
    reportRefresh(measureRefresh(probe));
    const uint32_t rate = refreshRate != 0 ? refreshRate : fallbackRefreshRate();
    rasterReadable = rasterMoves();
    blankBlocks = verticalBlankBlocks();
    readRasterThreshold();
    pacedMonitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    bool primary = false;
    char device[CCHDEVICENAME];
    measuredModeHz = monitorModeHz(pacedMonitor, &primary, device);
    const PacingChoice choice =
        choosePacing(DisplayFacts{monitorHz, true, rate, true, blankBlocks, rasterReadable});
    applyPacing(choice);
    if (choice.wait == RefreshWait::rasterWrap) {
        std::printf("Vertical blank wait returns at once: frames follow the raster\n");
    } else if (choice.wait == RefreshWait::counter) {
        std::printf("Frames paced at %.3fHz on the performance counter\n",
                    static_cast<double>(framePacer.rateHz256) / 256.0);
    }
}

namespace {

// Another monitor, or another mode: its rate read again, and the choice made
// as at start-up. Away from the primary display the driver's waits follow
// another display than the one shown on, so frames go by the counter at the
// display's rate.
void followWindowDisplay(bool modeChanged) {
    if (!pacedMonitor) return; // before the start-up choice
    const HMONITOR monitor = MonitorFromWindow(mainWindow, MONITOR_DEFAULTTONEAREST);
    if (monitor == pacedMonitor && !modeChanged) return;
    pacedMonitor = monitor;
    if (modeChanged) readRasterThreshold();
    bool primary = false;
    char device[CCHDEVICENAME];
    const uint32_t hz = monitorModeHz(monitor, &primary, device);
    const PacingChoice choice = choosePacing(DisplayFacts{
        hz, primary && hz == measuredModeHz, refreshRate != 0 ? refreshRate : fallbackRefreshRate(),
        primary, blankBlocks, rasterReadable});
    applyPacing(choice);
    std::printf("Window on %s, %.3fHz (mode %uHz): ", device,
                static_cast<double>(choice.rateHz256) / 256.0, static_cast<unsigned>(hz));
    printPacing(choice.wait);
}

// The new picture in the back buffer goes to the window.
void showBackBuffer() {
    InterlockedExchange(&frameReady, 1);
    RECT corner{0, 0, 10, 10};
    InvalidateRect(mainWindow, &corner, FALSE);
    UpdateWindow(mainWindow);
}

// One waiting window message handled; false when none waits. WM_QUIT ends
// the program with the rate of the frames shown.
bool handleWindowMessage() {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
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
    return true;
}

void followDisplayCheck() {
    if (displayCheck != DisplayCheck::none) {
        followWindowDisplay(displayCheck == DisplayCheck::modeChanged);
        displayCheck = DisplayCheck::none;
    }
}

} // namespace

void pacingStep() {
    waitForRefresh();
    showBackBuffer();
    if (framesShown++ == 0) firstFrameMicros = performanceMicros();
    applyMachineLockState();
    handleWindowMessage();
    followDisplayCheck();
}

// Held in the monitor no frame ends: the last picture is shown again at the
// display's pace, and every waiting message is handled, so the window still
// moves, changes to full screen and closes.
void monitorIdle() {
    waitForRefresh();
    showBackBuffer();
    applyMachineLockState();
    while (handleWindowMessage()) {
    }
    followDisplayCheck();
}
