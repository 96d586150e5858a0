// Hand-over of a file dropped onto the window to the driver.
#include "host/host.h"

#include <cstring>

bool dropPending;
char dropPath[dropPathSize];

bool acceptDrop(const char* path) {
    if (dropPending) return false;
    const size_t length = std::strlen(path);
    if (length >= dropPathSize) {
        consolePrintf("Dropped file ignored: its path has %zu characters, at most %d fit\n", length,
                      dropPathSize - 1);
        return false;
    }
    std::memcpy(dropPath, path, length + 1);
    dropPending = true;
    consolePrintf("Drag & Drop file\n");
    return true;
}
