// The keyboard's keys, one row each: the program's key code (the key's make
// code in scan code set 1, plus 0x80 for keys sent with the E0 prefix), the
// name key scripts use, and what each platform calls the same physical key.
// Each host takes its column, so a key added here is known everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// How the Windows keyboard hook tells a key apart by its extended flag.
enum class VkFlag : uint8_t {
    none,     // no virtual key
    any,      // the virtual key means this key with or without the flag
    plain,    // only without the extended flag
    extended, // only with it
};

struct KeyRow {
    uint8_t code;
    const char* name;       // key scripts and --help
    uint16_t usbUsage;      // the USB HID usage, which SDL's scancodes are; 0 for none
    const char* domCode;    // the DOM's KeyboardEvent.code; null for none
    const char* domAltCode; // an older browser's name for the same key; null for none
    uint8_t virtualKey;     // the Windows virtual-key code; 0 for none
    VkFlag vkFlag;
    // The virtual key a keypad key gives while Num Lock is off (the
    // navigation key's code without the extended flag); 0 for none.
    uint8_t numLockOffVirtualKey;
};

extern const std::span<const KeyRow> keyTable;

// The key code of a key name ("Space", "LCtrl", "Left", "F", "7", ...; any
// case) or of a code written as "0xNN"; -1 when the name is unknown.
int keyCodeByName(std::string_view name);
// The key's name; null for a code no row has.
const char* keyNameOf(uint8_t code);
// The key code of an SDL scancode; 0 (the code that collects untranslated
// keys) for one the table does not know.
uint8_t keyCodeForScancode(uint32_t scancode);
// The key code of a DOM key `code` ("ArrowLeft", "Space", ...); 0 for one the
// table does not know.
uint8_t keyCodeForDomCode(const char* domCode);
