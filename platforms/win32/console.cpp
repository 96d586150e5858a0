// The console of the Windows program.
#include "platforms/win32/win32_host.h"

#include <cstdio>

uint8_t cpuMode;

namespace {
bool goesToFileOrPipe(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(handle);
    return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

void unbuffered() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
}
} // namespace

bool setUpConsole() {
    // "korvalo.exe > log.txt" and test harnesses read the log from there.
    if (goesToFileOrPipe(GetStdHandle(STD_OUTPUT_HANDLE))) {
        unbuffered();
        return true;
    }
    FreeConsole();
    if (!AllocConsole()) return false;
    // Rebinding the C streams to the new console's devices gives stdout,
    // stderr and stdin descriptors on its output and input handles.
    if (!std::freopen("CONOUT$", "w", stdout)) return false;
    if (!std::freopen("CONOUT$", "w", stderr)) return false;
    std::freopen("CONIN$", "r", stdin);
    unbuffered();
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    return true;
}

void logCpuMode() {
    std::printf("CPU Mode: ");
    if (cpuMode == 0) std::printf("Pure\n");
}
