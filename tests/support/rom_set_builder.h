// Builds TIA-MC ROM set files (90112 bytes, laid out as romset_format.h
// tells) for tests and fuzz seeds.
//
// The checksum is forced by choosing two sprite ROM bytes eight apart
// (checksumHigh, checksumLow): the checksum is linear in the bytes, a byte
// k places before the end enters rotated left by k, so the byte 8 before the
// end sets the high half and the last byte the low half. These are the last
// rows of plane 3 of sprite image 255 (inverted number 0).
#pragma once

#include "machines/tiamc/romset_format.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class RomModel { tiaMc1, tiaMc1Analog, tiaMc2 };

struct RomSetBuilder {
    explicit RomSetBuilder(RomModel model);

    // Copies bytes to a processor address of the program ROM; throws when
    // they leave the model's program area.
    RomSetBuilder& program(uint16_t address, const std::vector<uint8_t>& bytes);
    // Copies the model's whole program area from a 64 KB image.
    RomSetBuilder& programImage(const std::vector<uint8_t>& image);
    uint8_t* spriteRom() { return file.data(); }
    uint8_t* charRom(); // TIA-MC-2 only

    // The file: the model's checksum is forced; a digital TIA-MC-1 set whose
    // checksum happens to name another model is forced to 0.
    std::vector<uint8_t> build();
    // Writes build() to path; throws when the file cannot be written.
    void save(const std::string& path);

    RomModel model;
    std::vector<uint8_t> file = std::vector<uint8_t>(romSetBytes, 0);
};

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
