// The program directory parser of the Windows start-up.
#include "platforms/win32/progdir.h"

#include <cstring>

bool programDirectoryFromCommandLine(char* destination, size_t size, const char* commandLine) {
    if (size == 0) return false;
    destination[0] = 0;
    const char* start = commandLine;
    const char* end = commandLine + std::strlen(commandLine);
    if (const char* open = std::strchr(commandLine, '"')) {
        start = open + 1;
        if (const char* close = std::strchr(start, '"')) end = close;
    }
    const char* backslash = end;
    while (backslash > start && backslash[-1] != '\\')
        --backslash;
    if (backslash == start) return false; // no backslash in the span
    --backslash;                          // at the last backslash now
    if (backslash == start) return false; // the span's first character
    const size_t length = static_cast<size_t>(backslash - start);
    if (length >= size) return false;
    std::memcpy(destination, start, length);
    destination[length] = 0;
    return true;
}
