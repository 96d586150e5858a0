// Game pad controls folded into the key arrays.
#include "host/gamepad.h"

#include "host/keycodes.h"

const uint8_t padKeyCodes[padControlCount] = {upArrowKey, downArrowKey, leftArrowKey, rightArrowKey,
                                              spaceKey,   leftCtrlKey,  tKey,         enterKey};

namespace {
// Per pad, one bit per control for the buttons and one for the stick.
uint8_t padButtons[padSlots];
uint8_t padStick[padSlots];

bool validPad(int pad) { return pad >= 0 && pad < padSlots; }

uint8_t bit(PadControl control) { return static_cast<uint8_t>(1u << control); }
} // namespace

void setPadControl(int pad, PadControl control, bool down) {
    if (!validPad(pad) || control >= padControlCount) return;
    if (down) {
        padButtons[pad] |= bit(control);
    } else {
        padButtons[pad] &= static_cast<uint8_t>(~bit(control));
    }
}

void setPadStick(int pad, int x, int y) {
    if (!validPad(pad)) return;
    uint8_t held = 0;
    if (x <= -padStickThreshold) held |= bit(padLeft);
    if (x >= padStickThreshold) held |= bit(padRight);
    if (y <= -padStickThreshold) held |= bit(padUp);
    if (y >= padStickThreshold) held |= bit(padDown);
    padStick[pad] = held;
}

void releasePad(int pad) {
    if (!validPad(pad)) return;
    padButtons[pad] = 0;
    padStick[pad] = 0;
}

void addPadKeys(uint8_t keys[256]) {
    uint8_t held = 0;
    for (int pad = 0; pad < padSlots; ++pad)
        held |= padButtons[pad] | padStick[pad];
    for (int control = 0; control < padControlCount; ++control) {
        if (held & (1u << control)) keys[padKeyCodes[control]] |= 0x80;
    }
}
