// The page's input, kept free of browser calls: key events named by the
// DOM's physical key `code`, the focus, and standard-layout game pads, all
// turned into the key arrays and pad controls every host shares.
#pragma once

#include "platforms/common/keytable.h"

#include <cstdint>

// Keys are named by the DOM's `code` in the key table (keyCodeForDomCode);
// a key the table does not know gives 0, as the other hosts collect
// untranslated keys in entry 0.

// True for the keys the cabinet or the hot keys use: the page withholds
// their default action (scrolling, find, the browser's own full screen).
bool keyWithheldFromPage(uint8_t keyCode);

// One key event, queued as the window program queues its keys: each key
// changes at most once a frame, so a tap between two frames shows in one
// snapshot and a quick second tap in a later one. A release with no press
// seen is ignored (the key was held when the page got the focus), except
// Print Screen's, which counts as a press and a release (browsers often send
// Print Screen as a release alone). Pause goes down as the keyboard hook
// records it (held for five snapshots, release ignored).
void webKeyEvent(uint8_t keyCode, bool down);
// Applies the queued events to the keys; called before every frame.
void webBeforeFrame();
// The page gained or lost the focus. Losing it releases every key.
void webFocus(bool focused);

// A game pad in the standard layout: buttons 12-15 the D-pad, 0 A, 1 B,
// 2 X, 9 Start; axes 0 and 1 the left stick, -1 to 1.
constexpr int standardPadButtons = 17;
void webPadState(int pad, const bool* pressed, int buttonCount, const double* axes, int axisCount);
void webPadGone(int pad);
