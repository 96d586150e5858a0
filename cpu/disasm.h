// Z80 disassembler: every opcode of the seven tables (base, CB, ED, DD, FD,
// DDCB, FDCB), undocumented forms included, written in the syntax pasmo
// assembles back to the same bytes.
//
// Syntax: upper case, numbers in hex with a trailing H and a leading 0 before
// a letter digit (05H, 0FBH, 1234H, 0ABCDH); index halves as IXH, IXL, IYH,
// IYL; SLL for the shift that sets bit 0; displacements as (IX+05H) and
// (IX-05H); relative jumps by their target (or $+n/$-n when the target wraps
// past 0000H/FFFFH). Byte sequences pasmo has no encoding for are written as
// DEFB of their bytes, with what they do in a comment:
//   - undefined ED opcodes (8-T-state NOPs): DEFB 0EDH,77H
//   - IN F,(C) and OUT (C),0 (ED 70, ED 71): DEFB 0EDH,70H ; IN F,(C)
//   - DDCB/FDCB forms that also load a register, and BIT with a register
//     field other than 6: DEFB 0DDH,0CBH,05H,00H ; RLC (IX+05H),B
//   - a DD or FD prefix before an opcode it does not change (one that uses
//     neither HL, H, L nor (HL), another prefix, EX DE,HL, EXX): the prefix
//     alone, DEFB 0DDH; the opcode after it is the next instruction.
// ED opcodes that duplicate another instruction are written as that
// instruction, which pasmo assembles to the other encoding: the NEG, RETN
// and IM duplicates, and ED 63/ED 6B (LD (nn),HL and LD HL,(nn), 22/2A).
//
// Listing lines (writeZ80Listing) have fixed columns:
//   0000  DD CB 05 06  RLC (IX+05H)            ; LABEL
//   columns 0-3 the address, 6-16 up to four bytes, 19- the instruction,
//   padded to 24 characters before a comment, if any. Everything from column
//   19 assembles with pasmo as it stands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// Names by address, sorted by address (names of one address in the order
// they were added), for labels in listings and for commands taking a label.
struct Z80Symbols {
    std::vector<std::pair<uint16_t, std::string>> byAddress;
};

constexpr int z80ListingBytesColumn = 6;
constexpr int z80ListingTextColumn = 19;

void addZ80Symbol(Z80Symbols& symbols, uint16_t address, const std::string& name);
// Reads pasmo's symbol file (its third file argument: "NAME EQU 0ABCDH"
// lines) into symbols, replacing what they held. False, with a message naming
// the file and line in error, when the file cannot be read or a line is not
// of that form.
bool loadPasmoSymbols(const char* path, Z80Symbols& symbols, std::string& error);
// The first name at address; null when none (or no symbols).
const char* symbolAt(const Z80Symbols* symbols, uint16_t address);
// The address of name (letter case ignored, as pasmo does); false when none.
bool symbolAddress(const Z80Symbols* symbols, const char* name, uint16_t& address);

// Disassembles the instruction at `address` of the 64 KB `memory` (reads wrap
// past 0xFFFF) into out (always terminated when outSize > 0). Returns the
// instruction's length in bytes, 1 to 4. With symbols, 16-bit operands (jump
// and call targets, LD rr,nn, LD (nn)) and relative jumps' targets that name
// a symbol are written as that name.
uint8_t disassembleZ80(const uint8_t* memory, uint16_t address, char* out, size_t outSize,
                       const Z80Symbols* symbols);

// Writes the header (lines already commented with ';'), then the listing of
// [start, start + length) one instruction a line in the columns above, a
// label at the address in the comment. An instruction that would run past
// the end is written as DEFB of the bytes left.
void writeZ80Listing(std::FILE* out, const uint8_t* memory, uint16_t start, uint32_t length,
                     const char* header, const Z80Symbols* symbols);
