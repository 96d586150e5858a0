// Readable key names for scripted key events.
#pragma once

#include <string_view>

// The key code (scan code set 1, + 0x80 for E0-prefixed keys) of a key name
// ("Space", "LCtrl", "Left", "F", "7", ...; any case) or of a code written
// as "0xNN"; -1 when the name is unknown.
int keyCodeByName(std::string_view name);
