// The keyboard capture of a window host: while the window has the focus the
// host's Num Lock, Caps Lock and Scroll Lock are held at the states the
// emulated machine wants, and given back when the focus goes. The platform
// reads and toggles the lock keys through lockKeyOps.
#pragma once

#include <cstdint>

// Num Lock, Caps Lock, Scroll Lock; each byte 1 (on) or 0 (off).
struct LockState {
    uint8_t numLock;
    uint8_t capsLock;
    uint8_t scrollLock;
};

struct LockKeyOps {
    // The host's state of the lock key with this virtual-key code.
    bool (*isOn)(uint8_t virtualKey);
    // One synthesized press and release of the key, which toggles it.
    void (*toggle)(uint8_t virtualKey);
};

constexpr uint8_t vkNumLock = 0x90;
constexpr uint8_t vkCapsLock = 0x14;
constexpr uint8_t vkScrollLock = 0x91;

extern LockKeyOps lockKeyOps;
extern LockState hostLockState;
extern LockState machineLockState; // the TIA-MC board wants all three off
extern LockState appliedLockState;

// Toggles each lock key, in the order Num, Caps, Scroll, whose wanted and
// current states differ.
void toggleLockKeys(const LockState& wanted, const LockState& current);
// Focus gained: saves the host's states and applies the machine's.
void enterKeyboardCapture();
// Focus lost: gives the host its saved states back and releases every key the
// emulation holds down, so none is stuck when the focus returns.
void leaveKeyboardCapture();
// Once per frame while captured.
void applyMachineLockState();
