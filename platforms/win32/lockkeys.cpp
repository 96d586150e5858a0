// Keyboard capture and the lock-key states around it.
#include "platforms/win32/lockkeys.h"

#include "host/host.h"
#include "platforms/common/keyqueue.h"

#include <cstring>

LockKeyOps lockKeyOps;
LockState hostLockState;
LockState machineLockState;
LockState appliedLockState;

namespace {
LockState readHostLockState() {
    return LockState{static_cast<uint8_t>(lockKeyOps.isOn(vkNumLock) ? 1 : 0),
                     static_cast<uint8_t>(lockKeyOps.isOn(vkCapsLock) ? 1 : 0),
                     static_cast<uint8_t>(lockKeyOps.isOn(vkScrollLock) ? 1 : 0)};
}
} // namespace

void toggleLockKeys(const LockState& wanted, const LockState& current) {
    if (wanted.numLock != current.numLock) lockKeyOps.toggle(vkNumLock);
    if (wanted.capsLock != current.capsLock) lockKeyOps.toggle(vkCapsLock);
    if (wanted.scrollLock != current.scrollLock) lockKeyOps.toggle(vkScrollLock);
}

void enterKeyboardCapture() {
    if (keyboardCaptured) return;
    hostLockState = readHostLockState();
    setKeyboardFocus(true);
    appliedLockState = readHostLockState();
    toggleLockKeys(machineLockState, appliedLockState);
    appliedLockState = machineLockState;
}

void leaveKeyboardCapture() {
    if (!keyboardCaptured) return;
    toggleLockKeys(hostLockState, machineLockState);
    setKeyboardFocus(false);
}

void applyMachineLockState() {
    if (!keyboardCaptured) return;
    toggleLockKeys(machineLockState, appliedLockState);
    appliedLockState = machineLockState;
}
