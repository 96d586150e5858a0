// The machine's save state: everything that decides what the board does next,
// taken between two frames, as portable bytes, and loaded back.
//
// What is in it: the processor's registers, its cycle budget (the overdraft
// the next frame's grant pays first) and its phase (between two instructions,
// or inside a chain of DD/FD prefixes that the last frame left unfinished);
// the work RAM 0xC000-0xFFFF, the TIA-MC-1's character and tile RAM (kept on
// the TIA-MC-2 too: a TIA-MC-1 set dropped later finds its tile map there),
// the sprite registers, the palette as the colour bytes the board was given,
// the input bytes, the video control, the sprite origin, the aux latch and
// the analog control's position; and the keyboard snapshots the next frame
// starts from (keysNow, keysPrev and Pause's hold). Not in it: the ROM
// contents, which the state names by model and hash and never carries; what
// the picture is derived from them each frame (the host colour table, the
// sprite layer); the presentation (scale preset, scanline look, full screen);
// the live keyboard.
//
// Format, little-endian throughout, written field by field:
//   header   "KORVSTAT", u16 format (1), u32 total length in bytes (the CRC
//            included), u8 board model (0 TIA-MC-1, 1 TIA-MC-2), u64 hash of
//            the ROM set file (TiaBoard::romSetHash)
//   sections each a 4-character tag, a u32 payload length and the payload:
//            "CORE" A F BC DE HL IX IY SP PC (u8 u8 u16 x 7), AF' BC' DE' HL'
//                   (u16 x 4, A' in the high byte), I R R7 iff im (u8 x 5),
//                   phase (u8: 0 between instructions, 1 after DD, 2 after
//                   FD), cycle budget (i32, 1/256 T-state, never above 0)
//            "BORD" RAM 0xC000-0xFFFF (16384), character RAM planes 0-3
//                   (4 x 2048), tile RAM (2048), sprite registers (16 x 4),
//                   palette colour bytes (16), inputD0 inputD1 inputD2,
//                   video control, sprite X origin, aux latch, analog
//                   control position (u8 x 7)
//            "KEYS" keysNow (256), keysPrev (256), Pause's hold (u8)
//   trailer  u32 CRC-32 (zlib's and PNG's) of every byte before it
// Growth: a later program may append fields to a section or add sections
// without a new format number; a reader skips sections it does not know and
// takes the fields it knows from a longer section, and refuses a section
// shorter than its own. The format number changes only when a reader of the
// old one could not load the new states right.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint16_t machineStateFormat = 1;

// The state of the running machine, between two frames. Empty when the
// processor is in no phase a frame can end in (no ROM set started yet).
std::vector<uint8_t> saveMachineState();

// Checks the whole state first (length, magic, format, CRC, board model, ROM
// set, every section and value) and only then applies it: a state that is
// refused leaves the machine as it was. On refusal, error is the reason, the
// text to follow "Can't load state: ", such as "truncated", "not a Korvalo
// state", "made by a newer Korvalo (format 2)", "damaged (CRC mismatch)",
// "made for another ROM set", "made for the TIA-MC-2" or "a section length is
// wrong".
bool loadMachineState(const uint8_t* data, size_t size, std::string& error);

// Writes the total length and the CRC of a state whose header and sections
// are in place, the last four bytes kept for the CRC. saveMachineState ends
// with it; tools that edit a state's sections use it to seal the result.
void sealMachineState(std::vector<uint8_t>& state);
