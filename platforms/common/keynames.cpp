// Key names and their key codes.
#include "platforms/common/keynames.h"

#include <cctype>
#include <charconv>

namespace {
struct KeyName {
    const char* name;
    int code;
};

constexpr KeyName keyNames[] = {
    {"Esc", 0x01},         {"1", 0x02},         {"2", 0x03},           {"3", 0x04},
    {"4", 0x05},           {"5", 0x06},         {"6", 0x07},           {"7", 0x08},
    {"8", 0x09},           {"9", 0x0A},         {"0", 0x0B},           {"Minus", 0x0C},
    {"Equals", 0x0D},      {"Backspace", 0x0E}, {"Tab", 0x0F},         {"Q", 0x10},
    {"W", 0x11},           {"E", 0x12},         {"R", 0x13},           {"T", 0x14},
    {"Y", 0x15},           {"U", 0x16},         {"I", 0x17},           {"O", 0x18},
    {"P", 0x19},           {"Enter", 0x1C},     {"LCtrl", 0x1D},       {"A", 0x1E},
    {"S", 0x1F},           {"D", 0x20},         {"F", 0x21},           {"G", 0x22},
    {"H", 0x23},           {"J", 0x24},         {"K", 0x25},           {"L", 0x26},
    {"LShift", 0x2A},      {"Z", 0x2C},         {"X", 0x2D},           {"C", 0x2E},
    {"V", 0x2F},           {"B", 0x30},         {"N", 0x31},           {"M", 0x32},
    {"RShift", 0x36},      {"LAlt", 0x38},      {"Space", 0x39},       {"CapsLock", 0x3A},
    {"F1", 0x3B},          {"F2", 0x3C},        {"F3", 0x3D},          {"F4", 0x3E},
    {"F5", 0x3F},          {"F6", 0x40},        {"F7", 0x41},          {"F8", 0x42},
    {"F9", 0x43},          {"F10", 0x44},       {"NumLock", 0x45},     {"ScrollLock", 0x46},
    {"F11", 0x57},         {"F12", 0x58},       {"KeypadEnter", 0x9C}, {"RCtrl", 0x9D},
    {"PrintScreen", 0xB7}, {"RAlt", 0xB8},      {"Pause", 0xC5},       {"Home", 0xC7},
    {"Up", 0xC8},          {"PageUp", 0xC9},    {"Left", 0xCB},        {"Right", 0xCD},
    {"End", 0xCF},         {"Down", 0xD0},      {"PageDown", 0xD1},    {"Insert", 0xD2},
    {"Delete", 0xD3},      {"LWin", 0xDB},      {"RWin", 0xDC},        {"Apps", 0xDD},
};

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
} // namespace

int keyCodeByName(std::string_view name) {
    if (name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        return hexKeyCode(name);
    }
    for (const KeyName& key : keyNames) {
        if (sameName(name, key.name)) return key.code;
    }
    return -1;
}
