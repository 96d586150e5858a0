// The key table: SDL scancodes against the key codes the keyboard hook of the
// Windows program records for the same physical keys, and every column of
// every row.
#include "host/keycodes.h"
#include "platforms/common/keytable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct KeyCase {
    const char* key;
    uint32_t scancode; // SDL_SCANCODE_ value (USB HID usage)
    uint8_t code;
};

constexpr KeyCase cases[] = {
    {"A", 4, 0x1E},
    {"F", 9, fKey},
    {"T", 23, tKey},
    {"Z", 29, 0x2C},
    {"1", 30, 0x02},
    {"0", 39, 0x0B},
    {"Enter", 40, enterKey},
    {"Esc", 41, 0x01},
    {"Space", 44, spaceKey},
    {"F1", 58, 0x3B},
    {"F10", 67, 0x44},
    {"F11", 68, 0x57},
    {"F12", 69, 0x58},
    {"Print Screen", 70, printScreenKey},
    {"Scroll Lock", 71, scrollLockKey},
    {"Pause", 72, pauseKey},
    {"Delete", 76, deleteKey},
    {"Up", 82, upArrowKey},
    {"Left", 80, leftArrowKey},
    {"Right", 79, rightArrowKey},
    {"Down", 81, downArrowKey},
    {"keypad 8", 96, 0x48},
    {"keypad 4", 92, 0x4B},
    {"keypad 6", 94, 0x4D},
    {"keypad 2", 90, 0x50},
    {"keypad Enter", 88, 0x9C},
    {"keypad divide", 84, 0xB5},
    {"Num Lock", 83, 0x45},
    {"Caps Lock", 57, 0x3A},
    {"Left Ctrl", 224, leftCtrlKey},
    {"Right Ctrl", 228, 0x9D},
    {"Left Shift", 225, leftShiftKey},
    {"Right Alt", 230, 0xB8},
    {"Left Windows", 227, leftWindowsKey},
    {"Right Windows", 231, 0xDC},
    {"Applications", 101, 0xDD},
    {"grave accent", 53, 0x29},
    {"Insert", 73, 0xD2},
    {"unknown", 150, 0},
    {"out of range", 600, 0},
};

TEST(Scancodes, PhysicalKeysGiveTheirKeyCodes) {
    for (const KeyCase& c : cases) {
        EXPECT_EQ(keyCodeForScancode(c.scancode), c.code) << c.key;
    }
}

// Two physical keys never share a code, so no key can stand for another.
TEST(Scancodes, NoTwoKeysShareACode) {
    std::set<uint8_t> seen;
    int translated = 0;
    for (uint32_t scancode = 0; scancode < 512; ++scancode) {
        const uint8_t code = keyCodeForScancode(scancode);
        if (code == 0) continue;
        ++translated;
        EXPECT_TRUE(seen.insert(code).second)
            << "scancode " << scancode << " repeats code " << int(code);
    }
    EXPECT_EQ(translated, 105); // letters, digits, F keys and the 59 others
}

// Every column of a row leads back to the row's code, and no name, scancode
// or DOM code belongs to two rows.
TEST(KeyTable, EveryColumnOfARowFindsItsCode) {
    std::set<std::string> names, domCodes;
    std::set<uint8_t> codes;
    for (const KeyRow& row : keyTable) {
        EXPECT_TRUE(codes.insert(row.code).second) << row.name;
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        EXPECT_EQ(keyCodeByName(row.name), row.code) << row.name;
        EXPECT_STREQ(keyNameOf(row.code), row.name);
        if (row.usbUsage) {
            EXPECT_EQ(keyCodeForScancode(row.usbUsage), row.code) << row.name;
        }
        for (const char* dom : {row.domCode, row.domAltCode}) {
            if (!dom) continue;
            EXPECT_TRUE(domCodes.insert(dom).second) << dom;
            EXPECT_EQ(keyCodeForDomCode(dom), row.code) << dom;
        }
    }
    EXPECT_EQ(keyCodeForDomCode("NoSuchKey"), 0);
    EXPECT_EQ(keyNameOf(0), nullptr);
}

} // namespace
