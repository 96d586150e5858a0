// Key events, focus and game pads of the page, mapped to the shared key
// arrays.
#include "platforms/web/web_input.h"

#include "host/gamepad.h"
#include "host/host.h"
#include "host/keycodes.h"
#include "platforms/common/keyqueue.h"

#include <cstring>

namespace {

constexpr uint8_t withheldKeys[] = {
    upArrowKey,     downArrowKey,  leftArrowKey, rightArrowKey, spaceKey,       leftCtrlKey,
    enterKey,       tKey,          deleteKey,    fKey,          leftWindowsKey, leftShiftKey,
    printScreenKey, scrollLockKey, pauseKey,     f11Key,        f9Key,
};

// Whether the page's last event for each key was a press.
bool heldOnPage[256];
} // namespace

bool keyWithheldFromPage(uint8_t keyCode) {
    for (uint8_t key : withheldKeys) {
        if (key == keyCode) return true;
    }
    return false;
}

void webKeyEvent(uint8_t keyCode, bool down) {
    if (!keyboardCaptured) return;
    // A release with no press seen is a key held while the focus came back
    // (no press for the game), except for Print Screen, which browsers often
    // deliver as a release alone.
    if (!down && !heldOnPage[keyCode] && keyCode == printScreenKey) queueKeyEvent(keyCode, true);
    heldOnPage[keyCode] = down;
    queueKeyEvent(keyCode, down);
}

void webBeforeFrame() { applyKeyEvents(); }

void webFocus(bool focused) {
    if (!focused) std::memset(heldOnPage, 0, sizeof heldOnPage);
    setKeyboardFocus(focused);
}

void webPadState(int pad, const bool* pressed, int buttonCount, const double* axes, int axisCount) {
    constexpr struct {
        int button;
        PadControl control;
    } buttons[] = {{12, padUp}, {13, padDown}, {14, padLeft}, {15, padRight},
                   {0, padA},   {1, padB},     {2, padX},     {9, padStart}};
    for (const auto& b : buttons)
        setPadControl(pad, b.control, b.button < buttonCount && pressed[b.button]);
    const auto axis = [&](int index) {
        if (index >= axisCount) return 0;
        double value = axes[index];
        if (value != value) return 0; // NaN: a pad that reports nothing
        if (value < -1.0) value = -1.0;
        if (value > 1.0) value = 1.0;
        return static_cast<int>(value * 32767.0);
    };
    setPadStick(pad, axis(0), axis(1));
}

void webPadGone(int pad) { releasePad(pad); }
