// An in-memory host for tests: it records what the program asks of the
// platform, in order, and a fatal error throws FatalError instead of ending
// the process. Screenshots are kept as names and state slots in memory;
// nothing touches the disk.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
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
    // The state slots, by ROM set hash and slot number.
    std::map<std::pair<uint64_t, uint8_t>, std::vector<uint8_t>> slots;
    // When set, every slot read and write fails with this reason.
    std::string slotFailure;

    int count(const std::string& call) const;
};

extern TestHostRecord testHost;

// Fills the host record and the state store (slots in testHost), clears
// testHost, sets a 1280 x 960 screen, captures the keyboard with no key down,
// no Pause held and no drop pending.
void installTestHost();
