// The keyboard's physical keys as SDL numbers them (USB HID usage IDs, the
// SDL_SCANCODE_ values) translated to the program's key codes: the key's make
// code in scan code set 1, plus 0x80 for E0-prefixed keys. Data only, so the
// table is tested without SDL.
#pragma once

#include <cstdint>

// The key code of a scancode; 0 (the code that collects untranslated keys)
// for a scancode the table does not know.
uint8_t keyCodeForScancode(uint32_t scancode);
