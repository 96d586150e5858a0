// The ROM set file: its layout and the checksum of its sprite ROM, which
// tells the board model. Standard library only, so the loader, the ROM set
// packer, the test builders and the benchmarks all read the one definition.
//
// Layout: the sprite ROM at 0x00000; then, for the TIA-MC-1, the program for
// addresses 0x0000-0xDFFF; for the TIA-MC-2, the character ROM and then the
// program for addresses 0x0000-0x5FFF.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

constexpr size_t romSetBytes = 0x16000;
constexpr size_t spriteRomBytes = 0x8000;
constexpr size_t charRomBytes = 0x8000; // TIA-MC-2: 4 planes of 4 banks of 0x800
constexpr size_t charRamBytes = 0x2000; // TIA-MC-1: 4 planes of 0x800
constexpr size_t tiaMc1ProgramBytes = 0xE000;
constexpr size_t tiaMc2ProgramBytes = 0x6000;
constexpr size_t tiaMc1ProgramOffset = spriteRomBytes;
constexpr size_t tiaMc2ProgramOffset = spriteRomBytes + charRomBytes;

// The checksum of the sprite ROM that selects the TIA-MC-2, and the one that
// fits a TIA-MC-1 with the analog control; any other is a digital TIA-MC-1.
constexpr uint16_t tiaMc2Checksum = 0x3E56;
constexpr uint16_t analogChecksum = 0x5422;

// One byte: rotate left by one within 16 bits, then XOR the byte into the low
// byte. Starting at 0, "abc" gives 0x0123.
constexpr uint16_t romChecksumStep(uint16_t sum, uint8_t byte) {
    return static_cast<uint16_t>(std::rotl(sum, 1) ^ byte);
}

constexpr uint16_t romChecksum(const uint8_t* data, size_t count) {
    uint16_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum = romChecksumStep(sum, data[i]);
    return sum;
}
