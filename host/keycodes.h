// Key codes of the keys the program acts on: the key's make code in scan code
// set 1, plus 0x80 for keys sent with the E0 prefix.
#pragma once

#include <cstdint>

constexpr uint8_t backspaceKey = 0x0E;
constexpr uint8_t tKey = 0x14;
constexpr uint8_t enterKey = 0x1C; // of the main keyboard, not the keypad
constexpr uint8_t leftCtrlKey = 0x1D;
constexpr uint8_t fKey = 0x21;
constexpr uint8_t leftShiftKey = 0x2A;
constexpr uint8_t spaceKey = 0x39;
constexpr uint8_t f2Key = 0x3C;
constexpr uint8_t f4Key = 0x3E;
constexpr uint8_t f6Key = 0x40;
constexpr uint8_t f7Key = 0x41;
constexpr uint8_t f9Key = 0x43; // the monitor
constexpr uint8_t scrollLockKey = 0x46;
constexpr uint8_t f11Key = 0x57;
constexpr uint8_t printScreenKey = 0xB7;
constexpr uint8_t pauseKey = 0xC5;
constexpr uint8_t upArrowKey = 0xC8;
constexpr uint8_t leftArrowKey = 0xCB;
constexpr uint8_t rightArrowKey = 0xCD;
constexpr uint8_t downArrowKey = 0xD0;
constexpr uint8_t deleteKey = 0xD3;
constexpr uint8_t leftWindowsKey = 0xDB;
