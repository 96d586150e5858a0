// Physical key -> key code. The cursor block and the keypad are told apart
// by position, as the keyboard itself tells them apart: Up is 0xC8, keypad 8
// is 0x48 whatever Num Lock says.
#include "platforms/common/scancodes.h"

#include <array>

namespace {

struct ScancodeKey {
    uint16_t scancode;
    uint8_t code;
};

// Letters A to Z are scancodes 4 to 29; 1 to 9 and 0 are 30 to 39.
constexpr uint8_t letterCodes[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                     0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                     0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

constexpr ScancodeKey otherKeys[] = {
    {40, 0x1C},  // Enter
    {41, 0x01},  // Esc
    {42, 0x0E},  // Backspace
    {43, 0x0F},  // Tab
    {44, 0x39},  // Space
    {45, 0x0C},  // minus
    {46, 0x0D},  // equals
    {47, 0x1A},  // left bracket
    {48, 0x1B},  // right bracket
    {49, 0x2B},  // backslash
    {51, 0x27},  // semicolon
    {52, 0x28},  // apostrophe
    {53, 0x29},  // grave accent
    {54, 0x33},  // comma
    {55, 0x34},  // full stop
    {56, 0x35},  // slash
    {57, 0x3A},  // Caps Lock
    {68, 0x57},  // F11
    {69, 0x58},  // F12
    {70, 0xB7},  // Print Screen
    {71, 0x46},  // Scroll Lock
    {72, 0xC5},  // Pause
    {73, 0xD2},  // Insert
    {74, 0xC7},  // Home
    {75, 0xC9},  // Page Up
    {76, 0xD3},  // Delete
    {77, 0xCF},  // End
    {78, 0xD1},  // Page Down
    {79, 0xCD},  // Right
    {80, 0xCB},  // Left
    {81, 0xD0},  // Down
    {82, 0xC8},  // Up
    {83, 0x45},  // Num Lock
    {84, 0xB5},  // keypad divide
    {85, 0x37},  // keypad multiply
    {86, 0x4A},  // keypad subtract
    {87, 0x4E},  // keypad add
    {88, 0x9C},  // keypad Enter
    {89, 0x4F},  // keypad 1
    {90, 0x50},  // keypad 2
    {91, 0x51},  // keypad 3
    {92, 0x4B},  // keypad 4
    {93, 0x4C},  // keypad 5
    {94, 0x4D},  // keypad 6
    {95, 0x47},  // keypad 7
    {96, 0x48},  // keypad 8
    {97, 0x49},  // keypad 9
    {98, 0x52},  // keypad 0
    {99, 0x53},  // keypad decimal point
    {101, 0xDD}, // Applications
    {224, 0x1D}, // Left Ctrl
    {225, 0x2A}, // Left Shift
    {226, 0x38}, // Left Alt
    {227, 0xDB}, // Left Windows
    {228, 0x9D}, // Right Ctrl
    {229, 0x36}, // Right Shift
    {230, 0xB8}, // Right Alt
    {231, 0xDC}, // Right Windows
};

constexpr uint32_t tableSize = 256;

constexpr std::array<uint8_t, tableSize> buildTable() {
    std::array<uint8_t, tableSize> table{};
    for (uint32_t i = 0; i < 26; ++i)
        table[4 + i] = letterCodes[i];
    for (uint32_t i = 0; i < 9; ++i)
        table[30 + i] = static_cast<uint8_t>(0x02 + i); // 1 to 9
    table[39] = 0x0B;                                   // 0
    for (uint32_t i = 0; i < 10; ++i)
        table[58 + i] = static_cast<uint8_t>(0x3B + i); // F1-F10
    for (const ScancodeKey& key : otherKeys)
        table[key.scancode] = key.code;
    return table;
}

constexpr std::array<uint8_t, tableSize> scancodeTable = buildTable();

} // namespace

uint8_t keyCodeForScancode(uint32_t scancode) {
    return scancode < tableSize ? scancodeTable[scancode] : 0;
}
