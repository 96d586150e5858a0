// Screenshots: the presented picture saved as the first free numbered PNG.
#include "host/host.h"

#include <cstdio>

int32_t screenshotNumber;

namespace {
constexpr size_t nameSize = 1024;

// Moves screenshotNumber on to the first name no file or directory holds.
void chooseScreenshotName(char* name) {
    for (;;) {
        std::snprintf(name, nameSize, "ScreenShot_%03d.png", screenshotNumber);
        if (!host.fileExists(name)) return;
        ++screenshotNumber;
    }
}

bool shotFitsScreen() {
    return clientWidth > 0 && clientHeight > 0 && clientWidth <= screenWidth &&
           clientHeight <= screenHeight;
}
} // namespace

void takeScreenshot() {
    BackBufferLock lock;
    if (!host.lockBackBuffer(&lock)) return;
    char name[nameSize];
    chooseScreenshotName(name);
    const bool saved =
        shotFitsScreen() && host.encodePng(name, centredOrigin(lock, clientWidth, clientHeight),
                                           clientWidth, clientHeight, lock.pitch);
    host.unlockBackBuffer();
    consolePrintf(saved ? "Saving %s\n" : "Can't save %s\n", name);
}
