// The host record and the host state every platform shares.
#include "host/host.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

HostOps host;
bool backBufferKeepsPicture;
uint32_t backBufferResets;
uint32_t screenWidth = 1280;
uint32_t screenHeight = 960;
uint32_t clientWidth;
uint32_t clientHeight;
bool fullScreen;

namespace {
std::vector<uint32_t> memoryBackBuffer;
} // namespace

void sizeMemoryBackBuffer() {
    memoryBackBuffer.assign(static_cast<size_t>(screenWidth) * screenHeight, 0u);
    backBufferKeepsPicture = true;
    ++backBufferResets;
}

bool lockMemoryBackBuffer(BackBufferLock* lock) {
    lock->pixels = memoryBackBuffer.data();
    lock->pitch = static_cast<int32_t>(screenWidth * sizeof(uint32_t));
    return true;
}

void unlockMemoryBackBuffer() {}

void clearMemoryBackBuffer() {
    std::fill(memoryBackBuffer.begin(), memoryBackBuffer.end(), 0u);
    ++backBufferResets;
}

uint32_t* centredOrigin(const BackBufferLock& lock, uint32_t width, uint32_t height) {
    const int32_t pitchPixels = lock.pitch / 4;
    const int32_t row = static_cast<int32_t>((screenHeight >> 1) - height / 2);
    const int32_t column = static_cast<int32_t>((screenWidth >> 1) - width / 2);
    return lock.pixels + static_cast<intptr_t>(row) * pitchPixels + column;
}

void consolePrintf(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length >= static_cast<int>(sizeof line)) {
        std::string longLine(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(longLine.data(), longLine.size(), format, again);
        host.consoleOut(longLine.c_str());
    } else if (length >= 0) {
        host.consoleOut(line);
    }
    va_end(again);
}
