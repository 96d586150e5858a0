// One change per key per frame.
#include "platforms/common/keyqueue.h"

#include "host/host.h"
#include "host/keycodes.h"

#include <cstddef>
#include <deque>

namespace {
struct KeyEvent {
    uint8_t code;
    bool down;
};

// Far more than anyone types in a frame; beyond it the oldest events go.
constexpr std::size_t queueLimit = 512;
std::deque<KeyEvent> queued;
} // namespace

void queueKeyEvent(uint8_t code, bool down) {
    if (code == pauseKey && !down) return;
    if (queued.size() == queueLimit) queued.pop_front();
    queued.push_back(KeyEvent{code, down});
}

bool applyKeyEvents() {
    bool changed[256] = {};
    bool pressed = false;
    while (!queued.empty()) {
        const KeyEvent event = queued.front();
        if (event.code == pauseKey) {
            pressPause();
        } else if (((liveKeys[event.code] & 0x80) != 0) != event.down) {
            if (changed[event.code]) break;
            changed[event.code] = true;
            liveKeys[event.code] = event.down ? 0x80 : 0;
            pressed = pressed || event.down;
        }
        queued.pop_front();
    }
    return pressed;
}

void clearKeyEvents() { queued.clear(); }

void setKeyboardFocus(bool focused) {
    keyboardCaptured = focused;
    if (focused) return;
    releaseAllKeys();
    clearKeyEvents();
}
