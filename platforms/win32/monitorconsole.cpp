// The monitor's commands from the Windows program's standard input: the
// console it opened, or the file or pipe it was started with. A thread of
// its own waits on the reads and queues whole lines; the frame loop takes
// them without waiting. Lines from a file or a pipe are echoed after "> ",
// so a session's transcript reads as it was typed.
#include "platforms/win32/win32_host.h"

#include "host/host.h"
#include "machines/tiamc/monitor.h"
#include "platforms/common/consolelines.h"

namespace {
CRITICAL_SECTION receivedLock;
ConsoleLines received;
HANDLE input;
bool fromConsole;

// A console read returns nothing when Ctrl+C interrupts it; only its failure
// ends the input. A file or a pipe is at its end when a read returns nothing.
DWORD WINAPI readerMain(LPVOID) {
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        const BOOL read = fromConsole ? ReadConsoleA(input, buffer, sizeof buffer, &got, nullptr)
                                      : ReadFile(input, buffer, sizeof buffer, &got, nullptr);
        const bool ended = !read || (got == 0 && !fromConsole);
        EnterCriticalSection(&receivedLock);
        if (ended) {
            endConsoleInput(received);
        } else {
            addConsoleBytes(received, buffer, got);
        }
        LeaveCriticalSection(&receivedLock);
        if (ended) return 0;
    }
}

MonitorLine readMonitorLine(std::string& line) {
    EnterCriticalSection(&receivedLock);
    const MonitorLine got = takeConsoleLine(received, line);
    LeaveCriticalSection(&receivedLock);
    if (got == MonitorLine::line && !fromConsole) consolePrintf("> %s\n", line.c_str());
    return got;
}
} // namespace

void startMonitorConsole() {
    input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    fromConsole = GetConsoleMode(input, &mode) != 0;
    InitializeCriticalSection(&receivedLock);
    HANDLE reader = CreateThread(nullptr, 0, readerMain, nullptr, 0, nullptr);
    if (!reader) return; // no commands: the monitor never stops the machine
    CloseHandle(reader);
    monitorConsole = MonitorConsole{readMonitorLine, monitorIdle};
}
