// Game pads drive the cabinet through the same key codes as the keyboard:
// D-pad and left stick are the four arrows, A fires (Space), B is Left Ctrl,
// X is T and Start is Enter. Each host reports its pads' controls here; the
// per-frame snapshot combines what the pads hold with the keyboard.
#pragma once

#include <cstdint>

enum PadControl : uint8_t {
    padUp,
    padDown,
    padLeft,
    padRight,
    padA,
    padB,
    padX,
    padStart,
    padControlCount
};

constexpr int padSlots = 8;
// A stick deflection past this (of 32767) presses the arrow it points to.
constexpr int padStickThreshold = 16384;

// The key code each control presses.
extern const uint8_t padKeyCodes[padControlCount];

// Holds or releases one control of pad `pad` (0 to padSlots - 1; others are
// ignored).
void setPadControl(int pad, PadControl control, bool down);
// The left stick, each axis -32768 (left, up) to 32767 (right, down): sets
// the stick's share of the four arrows. The D-pad's own presses combine
// with it.
void setPadStick(int pad, int x, int y);
// Releases everything the pad holds (it was unplugged).
void releasePad(int pad);
// Sets bit 7 of keys[code] for every key a pad holds; other entries are
// left as they are.
void addPadKeys(uint8_t keys[256]);
