// Per-frame keyboard snapshots taken from the live key array.
#include "host/gamepad.h"
#include "host/host.h"
#include "host/keycodes.h"

#include <cstring>

std::atomic<uint8_t> liveKeys[256];
uint8_t keysNow[256];
uint8_t keysPrev[256];
std::atomic<uint8_t> pauseHoldFrames;
std::atomic<bool> keyboardCaptured;

namespace {
constexpr uint8_t keyDown = 0x80;
constexpr uint8_t pauseHoldSnapshots = 5;
constexpr auto relaxed = std::memory_order_relaxed;

// Counts one snapshot off Pause's hold; true when Pause shows down in it. A
// press landing between the load and the exchange makes the exchange fail and
// is counted from its own five.
bool countPauseSnapshot() {
    uint8_t left = pauseHoldFrames.load(relaxed);
    while (left > 0 && !pauseHoldFrames.compare_exchange_weak(left, left - 1, relaxed)) {
    }
    return left > 0;
}
} // namespace

// Entry 0 collects untranslated keys and is left out of the edge detection.
void saveKeysPrev() { std::memcpy(keysPrev + 1, keysNow + 1, sizeof keysPrev - 1); }

void snapshotKeys() {
    const bool paused = countPauseSnapshot();
    if (keyboardCaptured.load(relaxed)) {
        for (int code = 0; code < 256; ++code)
            keysNow[code] = liveKeys[code].load(relaxed);
        keysNow[pauseKey] = paused ? keyDown : 0;
        addPadKeys(keysNow);
    } else {
        std::memset(keysNow, 0, sizeof keysNow);
    }
}

// Sequentially consistent stores: with those of recordCapturedKey they keep a
// press that meets a focus loss halfway from staying down (see there).
void releaseAllKeys() {
    for (std::atomic<uint8_t>& key : liveKeys)
        key.store(0);
    pauseHoldFrames.store(0);
}

void pressPause() { pauseHoldFrames.store(pauseHoldSnapshots); }

// The interleaving to close: this thread finds the keyboard captured, the
// frame loop's thread loses the focus (keyboardCaptured cleared, then every
// key released), and only then does this thread's store of the press land,
// after the release: the key would stay down, and its own release, coming
// while the keyboard is not captured, would never be recorded. So the press
// is stored first and the capture read again afterwards; all four accesses
// are sequentially consistent. If that second read still finds the keyboard
// captured, it came before the focus loss's clear of the flag in the single
// order of those accesses, so the store came before the release, which
// overwrites it. If it finds the keyboard gone, this thread takes the press
// back itself. (A capture regained in between is read as captured: the key's
// release then comes while captured and is recorded.) The cost, a locked
// store per key event, is the recording thread's; the frame loop's reads
// stay relaxed.
bool recordCapturedKey(uint8_t code, bool down) {
    if (!keyboardCaptured.load()) return false;
    if (code == pauseKey) {
        if (!down) return true;
        pauseHoldFrames.store(pauseHoldSnapshots);
        if (!keyboardCaptured.load()) pauseHoldFrames.store(0);
        return true;
    }
    liveKeys[code].store(down ? keyDown : 0);
    if (down && !keyboardCaptured.load()) liveKeys[code].store(0);
    return true;
}
