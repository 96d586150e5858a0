// Key translation and the record-or-withhold decision of the keyboard hook.
#include "platforms/win32/hookkeys.h"

#include "host/host.h"
#include "host/keycodes.h"

#include <array>
#include <initializer_list>

namespace {
constexpr uint8_t keyDown = 0x80;

constexpr uint8_t vkClear = 0x0C, vkReturn = 0x0D, vkCapital = 0x14, vkPrior = 0x21,
                  vkDelete = 0x2E, vkInsert = 0x2D, vkLeftWindows = 0x5B, vkApps = 0x5D,
                  vkNumLock = 0x90, vkScroll = 0x91;

struct Span {
    uint8_t firstVirtualKey;
    std::initializer_list<uint8_t> codes;
};

// Keys that give the same code with and without the extended flag.
constexpr void fillCommon(std::array<uint8_t, 256>& table) {
    const Span spans[] = {
        {0x08, {0x0E, 0x0F}},                                                 // Backspace, Tab
        {0x13, {0xC5, 0x3A}},                                                 // Pause, Caps Lock
        {0x1B, {0x01}},                                                       // Esc
        {0x20, {0x39}},                                                       // Space
        {0x2C, {0xB7}},                                                       // Print Screen
        {0x30, {0x0B, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A}}, // 0-9
        {0x41, {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32}},
        {0x4E, {0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C}},
        {0x5B, {0xDB, 0xDC, 0xDD}}, // Windows keys, Applications
        {0x60, {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49}}, // keypad 0-9
        {0x6A, {0x37, 0x4E}},                                                 // keypad * +
        {0x6D, {0x4A, 0x53, 0xB5}},                                           // keypad - . /
        {0x70, {0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x57, 0x58}},
        {0x90, {0x45, 0x46}},                         // Num Lock, Scroll Lock
        {0xA0, {0x2A, 0x36, 0x1D, 0x9D, 0x38, 0xB8}}, // Shift, Ctrl, Alt
        {0xBA, {0x27, 0x0D, 0x33, 0x0C, 0x34, 0x35, 0x29}},
        {0xDB, {0x1A, 0x2B, 0x1B, 0x28}},
    };
    for (const Span& span : spans) {
        unsigned vk = span.firstVirtualKey;
        for (uint8_t code : span.codes)
            table[vk++] = code;
    }
}

// The navigation block and Enter: without the extended flag these events come
// from the numeric keypad.
constexpr uint8_t navigationKeys[][3] = {
    // virtual key, plain, extended
    {vkClear, 0x4C, 0x00}, {vkReturn, 0x1C, 0x9C}, {vkPrior, 0x49, 0xC9},  {0x22, 0x51, 0xD1},
    {0x23, 0x4F, 0xCF},    {0x24, 0x47, 0xC7},     {0x25, 0x4B, 0xCB},     {0x26, 0x48, 0xC8},
    {0x27, 0x4D, 0xCD},    {0x28, 0x50, 0xD0},     {vkInsert, 0x52, 0xD2}, {vkDelete, 0x53, 0xD3},
};

constexpr std::array<uint8_t, 256> buildTable(bool extended) {
    std::array<uint8_t, 256> table{};
    fillCommon(table);
    for (const auto& key : navigationKeys)
        table[key[0]] = key[extended ? 2 : 1];
    return table;
}

} // namespace

const std::array<uint8_t, 256> keyCodeTable = buildTable(false);
const std::array<uint8_t, 256> extendedKeyCodeTable = buildTable(true);

uint8_t keyCodeOf(uint32_t virtualKey, uint32_t flags) {
    const uint8_t vk = static_cast<uint8_t>(virtualKey);
    return (flags & hookFlagExtended) ? extendedKeyCodeTable[vk] : keyCodeTable[vk];
}

bool recordHookedKey(uint32_t virtualKey, uint32_t flags) {
    const uint8_t vk = static_cast<uint8_t>(virtualKey);
    // Lock-key presses the program synthesizes itself, and input other
    // programs inject, reach the desktop and stay out of the emulation.
    if (flags & hookFlagInjected) return false;
    const uint8_t code = keyCodeOf(vk, flags);
    const bool up = (flags & hookFlagUp) != 0;
    if (code == pauseKey) {
        if (!up) pressPause();
    } else {
        liveKeys[code] = up ? 0 : keyDown;
    }
    return vk == vkCapital || vk == vkNumLock || vk == vkScroll || vk == vkLeftWindows ||
           vk == vkApps;
}
