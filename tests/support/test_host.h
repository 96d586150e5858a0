// An in-memory host for tests: it records what the program asks of the
// platform, in order, and a fatal error throws FatalError instead of ending
// the process. Screenshots are kept as names; nothing touches the disk.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct FatalError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TestHostRecord {
    std::string console;
    // "mute", "show", "size WxH", "clear", "lock", "unlock", "pace".
    std::vector<std::string> calls;
    std::vector<uint32_t> backBuffer; // screenWidth x screenHeight
    std::vector<std::string> pngs;    // names written by encodePng
    bool lockFails = false;

    int count(const std::string& call) const;
};

extern TestHostRecord testHost;

// Fills the host record, clears testHost, sets a 1280 x 960 screen, captures
// the keyboard with no key down, no Pause held and no drop pending.
void installTestHost();
