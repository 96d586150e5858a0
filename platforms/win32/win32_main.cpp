// The Windows program: the start-up steps in their order, then the TIA-MC
// driver's frame loop, which never returns. The process ends in the shutdown
// routine, when the window is closed, on the monitor's quit or after a fatal
// error. "korvalo.exe --monitor" holds the machine in the monitor before its
// first instruction.
#include "host/host.h"
#include "machines/tiamc/monitor.h"
#include "machines/tiamc/tiamc.h"
#include "platforms/common/version.h"
#include "platforms/win32/monitorlines.h"
#include "platforms/win32/progdir.h"
#include "platforms/win32/win32_host.h"

#include <mmsystem.h>
#include <shellapi.h>

#include <cstdio>

namespace {
const char* const romSetName = "Derev.tia";
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    hostInstance = instance;
    setUpConsole();
    installWin32Host();
    startMonitorConsole();
    std::printf("Korvalo %s (TIA-MC-Mode)\n", programVersion);
    QueryPerformanceFrequency(&qpcFrequency);
    std::snprintf(windowTitle, sizeof windowTitle, "%s", windowTitleText);
    createMainWindow();
    createDisplay();
    startHookThread();
    std::printf("\n");
    openAudioStream();
    hostProcess = GetCurrentProcess();
    hostThread = GetCurrentThread();
    SetPriorityClass(hostProcess, HIGH_PRIORITY_CLASS);
    timeBeginPeriod(1);
    readMonitorFrequency();
    measureDisplay();
    DragAcceptFiles(mainWindow, TRUE);
    // A directory that does not fit leaves the working directory as it is.
    if (programDirectoryFromCommandLine(startDirectory, sizeof startDirectory, GetCommandLineA())) {
        SetCurrentDirectoryA(startDirectory);
    }
    TIMECAPS timerCaps{};
    timeGetDevCaps(&timerCaps, sizeof timerCaps);
    std::printf("Timer Period Min - %dms\n", static_cast<int>(timerCaps.wPeriodMin));
    std::printf("QPFrequency = %dHz\n", static_cast<int>(qpcFrequency.LowPart));
    logCpuMode();
    muteAudio();
    startTiaMachine(romSetName);
    if (monitorOptionGiven(arguments)) requestMonitorStop();
    for (;;)
        runTiaFrame();
}
