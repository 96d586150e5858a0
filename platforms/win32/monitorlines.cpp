// The --monitor option out of WinMain's command line.
#include "platforms/win32/monitorlines.h"

#include <cstring>

bool monitorOptionGiven(const char* arguments) {
    static constexpr char option[] = "--monitor";
    const char* at = arguments;
    for (;;) {
        at += std::strspn(at, " \t");
        if (!*at) return false;
        const size_t length = std::strcspn(at, " \t");
        if (length == sizeof option - 1 && std::memcmp(at, option, length) == 0) return true;
        at += length;
    }
}
