// What the Windows keyboard hook does with one key event while the window has
// the keyboard: the virtual-key code and the event's flags become a key code
// (scan code set 1, + 0x80 for E0-prefixed keys) recorded in liveKeys, and the
// lock keys, Left Windows and Applications are kept from the desktop. No
// platform calls: the Windows hook procedure only asks this.
#pragma once

#include <array>
#include <cstdint>

// Event flags as the low-level hook reports them.
constexpr uint32_t hookFlagExtended = 0x01;
constexpr uint32_t hookFlagInjected = 0x10;
constexpr uint32_t hookFlagUp = 0x80;

// Indexed by the low byte of the virtual-key code; 0 = not translated.
extern const std::array<uint8_t, 256> keyCodeTable;
extern const std::array<uint8_t, 256> extendedKeyCodeTable;

// The key code of an event: only the low bytes of the code and the flags
// count, so any value the system passes is safe.
uint8_t keyCodeOf(uint32_t virtualKey, uint32_t flags);

// Records one key event into liveKeys while the keyboard is captured, through
// recordCapturedKey (an injected event is not recorded; Pause down holds for
// five snapshots, its release is never recorded). True when the event is to
// be withheld from the desktop; never while the keyboard is not captured.
bool recordHookedKey(uint32_t virtualKey, uint32_t flags);
