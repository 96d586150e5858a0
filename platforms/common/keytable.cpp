// The key table and the lookups each host makes in its column.
#include "platforms/common/keytable.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstring>

namespace {

// The cursor block and the keypad are told apart by position, as the
// keyboard itself tells them apart: Up is 0xC8, keypad 8 is 0x48 whatever
// Num Lock says.
// clang-format off
constexpr KeyRow rows[] = {
    // code, name, USB usage (SDL scancode), DOM code, older DOM code,
    // virtual key, its extended flag, virtual key with Num Lock off
    {0x01, "Esc", 41, "Escape", nullptr, 0x1B, VkFlag::any, 0x00},
    {0x02, "1", 30, "Digit1", nullptr, 0x31, VkFlag::any, 0x00},
    {0x03, "2", 31, "Digit2", nullptr, 0x32, VkFlag::any, 0x00},
    {0x04, "3", 32, "Digit3", nullptr, 0x33, VkFlag::any, 0x00},
    {0x05, "4", 33, "Digit4", nullptr, 0x34, VkFlag::any, 0x00},
    {0x06, "5", 34, "Digit5", nullptr, 0x35, VkFlag::any, 0x00},
    {0x07, "6", 35, "Digit6", nullptr, 0x36, VkFlag::any, 0x00},
    {0x08, "7", 36, "Digit7", nullptr, 0x37, VkFlag::any, 0x00},
    {0x09, "8", 37, "Digit8", nullptr, 0x38, VkFlag::any, 0x00},
    {0x0A, "9", 38, "Digit9", nullptr, 0x39, VkFlag::any, 0x00},
    {0x0B, "0", 39, "Digit0", nullptr, 0x30, VkFlag::any, 0x00},
    {0x0C, "Minus", 45, "Minus", nullptr, 0xBD, VkFlag::any, 0x00},
    {0x0D, "Equals", 46, "Equal", nullptr, 0xBB, VkFlag::any, 0x00},
    {0x0E, "Backspace", 42, "Backspace", nullptr, 0x08, VkFlag::any, 0x00},
    {0x0F, "Tab", 43, "Tab", nullptr, 0x09, VkFlag::any, 0x00},
    {0x10, "Q", 20, "KeyQ", nullptr, 0x51, VkFlag::any, 0x00},
    {0x11, "W", 26, "KeyW", nullptr, 0x57, VkFlag::any, 0x00},
    {0x12, "E", 8, "KeyE", nullptr, 0x45, VkFlag::any, 0x00},
    {0x13, "R", 21, "KeyR", nullptr, 0x52, VkFlag::any, 0x00},
    {0x14, "T", 23, "KeyT", nullptr, 0x54, VkFlag::any, 0x00},
    {0x15, "Y", 28, "KeyY", nullptr, 0x59, VkFlag::any, 0x00},
    {0x16, "U", 24, "KeyU", nullptr, 0x55, VkFlag::any, 0x00},
    {0x17, "I", 12, "KeyI", nullptr, 0x49, VkFlag::any, 0x00},
    {0x18, "O", 18, "KeyO", nullptr, 0x4F, VkFlag::any, 0x00},
    {0x19, "P", 19, "KeyP", nullptr, 0x50, VkFlag::any, 0x00},
    {0x1A, "LBracket", 47, "BracketLeft", nullptr, 0xDB, VkFlag::any, 0x00},
    {0x1B, "RBracket", 48, "BracketRight", nullptr, 0xDD, VkFlag::any, 0x00},
    {0x1C, "Enter", 40, "Enter", nullptr, 0x0D, VkFlag::plain, 0x00},
    {0x1D, "LCtrl", 224, "ControlLeft", nullptr, 0xA2, VkFlag::any, 0x00},
    {0x1E, "A", 4, "KeyA", nullptr, 0x41, VkFlag::any, 0x00},
    {0x1F, "S", 22, "KeyS", nullptr, 0x53, VkFlag::any, 0x00},
    {0x20, "D", 7, "KeyD", nullptr, 0x44, VkFlag::any, 0x00},
    {0x21, "F", 9, "KeyF", nullptr, 0x46, VkFlag::any, 0x00},
    {0x22, "G", 10, "KeyG", nullptr, 0x47, VkFlag::any, 0x00},
    {0x23, "H", 11, "KeyH", nullptr, 0x48, VkFlag::any, 0x00},
    {0x24, "J", 13, "KeyJ", nullptr, 0x4A, VkFlag::any, 0x00},
    {0x25, "K", 14, "KeyK", nullptr, 0x4B, VkFlag::any, 0x00},
    {0x26, "L", 15, "KeyL", nullptr, 0x4C, VkFlag::any, 0x00},
    {0x27, "Semicolon", 51, "Semicolon", nullptr, 0xBA, VkFlag::any, 0x00},
    {0x28, "Apostrophe", 52, "Quote", nullptr, 0xDE, VkFlag::any, 0x00},
    {0x29, "Grave", 53, "Backquote", nullptr, 0xC0, VkFlag::any, 0x00},
    {0x2A, "LShift", 225, "ShiftLeft", nullptr, 0xA0, VkFlag::any, 0x00},
    {0x2B, "Backslash", 49, "Backslash", nullptr, 0xDC, VkFlag::any, 0x00},
    {0x2C, "Z", 29, "KeyZ", nullptr, 0x5A, VkFlag::any, 0x00},
    {0x2D, "X", 27, "KeyX", nullptr, 0x58, VkFlag::any, 0x00},
    {0x2E, "C", 6, "KeyC", nullptr, 0x43, VkFlag::any, 0x00},
    {0x2F, "V", 25, "KeyV", nullptr, 0x56, VkFlag::any, 0x00},
    {0x30, "B", 5, "KeyB", nullptr, 0x42, VkFlag::any, 0x00},
    {0x31, "N", 17, "KeyN", nullptr, 0x4E, VkFlag::any, 0x00},
    {0x32, "M", 16, "KeyM", nullptr, 0x4D, VkFlag::any, 0x00},
    {0x33, "Comma", 54, "Comma", nullptr, 0xBC, VkFlag::any, 0x00},
    {0x34, "Period", 55, "Period", nullptr, 0xBE, VkFlag::any, 0x00},
    {0x35, "Slash", 56, "Slash", nullptr, 0xBF, VkFlag::any, 0x00},
    {0x36, "RShift", 229, "ShiftRight", nullptr, 0xA1, VkFlag::any, 0x00},
    {0x37, "KeypadMultiply", 85, "NumpadMultiply", nullptr, 0x6A, VkFlag::any, 0x00},
    {0x38, "LAlt", 226, "AltLeft", nullptr, 0xA4, VkFlag::any, 0x00},
    {0x39, "Space", 44, "Space", nullptr, 0x20, VkFlag::any, 0x00},
    {0x3A, "CapsLock", 57, "CapsLock", nullptr, 0x14, VkFlag::any, 0x00},
    {0x3B, "F1", 58, "F1", nullptr, 0x70, VkFlag::any, 0x00},
    {0x3C, "F2", 59, "F2", nullptr, 0x71, VkFlag::any, 0x00},
    {0x3D, "F3", 60, "F3", nullptr, 0x72, VkFlag::any, 0x00},
    {0x3E, "F4", 61, "F4", nullptr, 0x73, VkFlag::any, 0x00},
    {0x3F, "F5", 62, "F5", nullptr, 0x74, VkFlag::any, 0x00},
    {0x40, "F6", 63, "F6", nullptr, 0x75, VkFlag::any, 0x00},
    {0x41, "F7", 64, "F7", nullptr, 0x76, VkFlag::any, 0x00},
    {0x42, "F8", 65, "F8", nullptr, 0x77, VkFlag::any, 0x00},
    {0x43, "F9", 66, "F9", nullptr, 0x78, VkFlag::any, 0x00},
    {0x44, "F10", 67, "F10", nullptr, 0x79, VkFlag::any, 0x00},
    {0x45, "NumLock", 83, "NumLock", nullptr, 0x90, VkFlag::any, 0x00},
    {0x46, "ScrollLock", 71, "ScrollLock", nullptr, 0x91, VkFlag::any, 0x00},
    {0x47, "Keypad7", 95, "Numpad7", nullptr, 0x67, VkFlag::any, 0x24},
    {0x48, "Keypad8", 96, "Numpad8", nullptr, 0x68, VkFlag::any, 0x26},
    {0x49, "Keypad9", 97, "Numpad9", nullptr, 0x69, VkFlag::any, 0x21},
    {0x4A, "KeypadMinus", 86, "NumpadSubtract", nullptr, 0x6D, VkFlag::any, 0x00},
    {0x4B, "Keypad4", 92, "Numpad4", nullptr, 0x64, VkFlag::any, 0x25},
    {0x4C, "Keypad5", 93, "Numpad5", nullptr, 0x65, VkFlag::any, 0x0C},
    {0x4D, "Keypad6", 94, "Numpad6", nullptr, 0x66, VkFlag::any, 0x27},
    {0x4E, "KeypadPlus", 87, "NumpadAdd", nullptr, 0x6B, VkFlag::any, 0x00},
    {0x4F, "Keypad1", 89, "Numpad1", nullptr, 0x61, VkFlag::any, 0x23},
    {0x50, "Keypad2", 90, "Numpad2", nullptr, 0x62, VkFlag::any, 0x28},
    {0x51, "Keypad3", 91, "Numpad3", nullptr, 0x63, VkFlag::any, 0x22},
    {0x52, "Keypad0", 98, "Numpad0", nullptr, 0x60, VkFlag::any, 0x2D},
    {0x53, "KeypadPoint", 99, "NumpadDecimal", nullptr, 0x6E, VkFlag::any, 0x2E},
    {0x56, "IntlBackslash", 100, "IntlBackslash", nullptr, 0xE2, VkFlag::any, 0x00},
    {0x57, "F11", 68, "F11", nullptr, 0x7A, VkFlag::any, 0x00},
    {0x58, "F12", 69, "F12", nullptr, 0x7B, VkFlag::any, 0x00},
    {0x9C, "KeypadEnter", 88, "NumpadEnter", nullptr, 0x0D, VkFlag::extended, 0x00},
    {0x9D, "RCtrl", 228, "ControlRight", nullptr, 0xA3, VkFlag::any, 0x00},
    {0xB5, "KeypadDivide", 84, "NumpadDivide", nullptr, 0x6F, VkFlag::any, 0x00},
    {0xB7, "PrintScreen", 70, "PrintScreen", nullptr, 0x2C, VkFlag::any, 0x00},
    {0xB8, "RAlt", 230, "AltRight", nullptr, 0xA5, VkFlag::any, 0x00},
    {0xC5, "Pause", 72, "Pause", nullptr, 0x13, VkFlag::any, 0x00},
    {0xC7, "Home", 74, "Home", nullptr, 0x24, VkFlag::extended, 0x00},
    {0xC8, "Up", 82, "ArrowUp", nullptr, 0x26, VkFlag::extended, 0x00},
    {0xC9, "PageUp", 75, "PageUp", nullptr, 0x21, VkFlag::extended, 0x00},
    {0xCB, "Left", 80, "ArrowLeft", nullptr, 0x25, VkFlag::extended, 0x00},
    {0xCD, "Right", 79, "ArrowRight", nullptr, 0x27, VkFlag::extended, 0x00},
    {0xCF, "End", 77, "End", nullptr, 0x23, VkFlag::extended, 0x00},
    {0xD0, "Down", 81, "ArrowDown", nullptr, 0x28, VkFlag::extended, 0x00},
    {0xD1, "PageDown", 78, "PageDown", nullptr, 0x22, VkFlag::extended, 0x00},
    {0xD2, "Insert", 73, "Insert", nullptr, 0x2D, VkFlag::extended, 0x00},
    {0xD3, "Delete", 76, "Delete", nullptr, 0x2E, VkFlag::extended, 0x00},
    {0xDB, "LWin", 227, "MetaLeft", "OSLeft", 0x5B, VkFlag::any, 0x00},
    {0xDC, "RWin", 231, "MetaRight", "OSRight", 0x5C, VkFlag::any, 0x00},
    {0xDD, "Apps", 101, "ContextMenu", nullptr, 0x5D, VkFlag::any, 0x00},
};
// clang-format on

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

int hexKeyCode(std::string_view text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data() + 2, end, value, 16);
    if (text.size() < 3 || result.ec != std::errc() || result.ptr != end || value > 0xFF) {
        return -1;
    }
    return static_cast<int>(value);
}

// SDL's scancodes for the keys of the table are all below 256.
constexpr std::array<uint8_t, 256> buildScancodeTable() {
    std::array<uint8_t, 256> table{};
    for (const KeyRow& row : rows) {
        if (row.usbUsage != 0 && row.usbUsage < table.size()) table[row.usbUsage] = row.code;
    }
    return table;
}

constexpr std::array<uint8_t, 256> scancodeTable = buildScancodeTable();

} // namespace

const std::span<const KeyRow> keyTable{rows};

int keyCodeByName(std::string_view name) {
    if (name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        return hexKeyCode(name);
    }
    for (const KeyRow& row : rows) {
        if (sameName(name, row.name)) return row.code;
    }
    return -1;
}

const char* keyNameOf(uint8_t code) {
    for (const KeyRow& row : rows) {
        if (row.code == code) return row.name;
    }
    return nullptr;
}

uint8_t keyCodeForScancode(uint32_t scancode) {
    return scancode < scancodeTable.size() ? scancodeTable[scancode] : 0;
}

uint8_t keyCodeForDomCode(const char* domCode) {
    for (const KeyRow& row : rows) {
        if ((row.domCode && std::strcmp(row.domCode, domCode) == 0) ||
            (row.domAltCode && std::strcmp(row.domAltCode, domCode) == 0)) {
            return row.code;
        }
    }
    return 0;
}
