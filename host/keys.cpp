// Per-frame keyboard snapshots taken from the live key array.
#include "host/gamepad.h"
#include "host/host.h"
#include "host/keycodes.h"

#include <cstring>

uint8_t liveKeys[256];
uint8_t keysNow[256];
uint8_t keysPrev[256];
uint8_t pauseHoldFrames;
bool keyboardCaptured;

namespace {
constexpr uint8_t keyDown = 0x80;
constexpr uint8_t pauseHoldSnapshots = 5;
} // namespace

// Entry 0 collects untranslated keys and is left out of the edge detection.
void saveKeysPrev() { std::memcpy(keysPrev + 1, keysNow + 1, sizeof keysPrev - 1); }

void snapshotKeys() {
    // The keyboard never reports Pause going up, so the press is released
    // here once it has shown in five snapshots.
    if (liveKeys[pauseKey] & keyDown) {
        if (pauseHoldFrames > 0) {
            --pauseHoldFrames;
        } else {
            liveKeys[pauseKey] = 0;
        }
    }
    if (keyboardCaptured) {
        std::memcpy(keysNow, liveKeys, sizeof keysNow);
        addPadKeys(keysNow);
    } else {
        std::memset(keysNow, 0, sizeof keysNow);
    }
}

void releaseAllKeys() {
    std::memset(liveKeys, 0, sizeof liveKeys);
    pauseHoldFrames = 0;
}

void pressPause() {
    pauseHoldFrames = pauseHoldSnapshots;
    liveKeys[pauseKey] = keyDown;
}
