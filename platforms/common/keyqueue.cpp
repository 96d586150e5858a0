// One change per key per frame.
#include "platforms/common/keyqueue.h"

#include "host/host.h"
#include "host/keycodes.h"

#include <atomic>
#include <cstddef>
#include <deque>

namespace {
struct KeyEvent {
    uint8_t code;
    bool down;
    uint32_t frame; // frames applied when the event came
};

// Far more than anyone types in a frame; beyond it the oldest events go.
constexpr std::size_t queueLimit = 512;
std::deque<KeyEvent> queued;
uint32_t framesApplied;
} // namespace

void queueKeyEvent(uint8_t code, bool down) {
    if (code == pauseKey && !down) return;
    if (queued.size() == queueLimit) queued.pop_front();
    queued.push_back(KeyEvent{code, down, framesApplied});
}

bool applyKeyEvents() {
    ++framesApplied;
    bool changed[256] = {};
    bool pressed = false;
    while (!queued.empty()) {
        const KeyEvent event = queued.front();
        if (event.code == pauseKey) {
            pressPause();
        } else if (((liveKeys[event.code].load(std::memory_order_relaxed) & 0x80) != 0) !=
                   event.down) {
            // A key changing faster than frames for long (autorepeat sent as
            // presses and releases) would hold every later key back: an
            // event that has waited maxKeyDelayFrames goes in even when its
            // key changed this frame already.
            if (changed[event.code] && framesApplied - event.frame < maxKeyDelayFrames) break;
            changed[event.code] = true;
            liveKeys[event.code].store(event.down ? 0x80 : 0, std::memory_order_relaxed);
            pressed = pressed || event.down;
        }
        queued.pop_front();
    }
    return pressed;
}

void clearKeyEvents() { queued.clear(); }

// The flag is cleared before the keys are released, both sequentially
// consistent: a key the keyboard's own thread is recording meanwhile is then
// either released here or taken back there (recordCapturedKey).
void setKeyboardFocus(bool focused) {
    keyboardCaptured.store(focused);
    if (focused) return;
    releaseAllKeys();
    clearKeyEvents();
}
