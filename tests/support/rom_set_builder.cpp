#include "tests/support/rom_set_builder.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

RomSetBuilder::RomSetBuilder(RomModel m) : model(m) {}

namespace {
struct ProgramArea {
    size_t fileOffset;
    size_t size;
};

ProgramArea programArea(RomModel model) {
    return model == RomModel::tiaMc2 ? ProgramArea{tiaMc2ProgramOffset, tiaMc2ProgramBytes}
                                     : ProgramArea{tiaMc1ProgramOffset, tiaMc1ProgramBytes};
}

// Makes the sprite ROM sum to wanted; the last byte enters unrotated.
void forceChecksum(std::vector<uint8_t>& file, uint16_t wanted) {
    file[spriteRomBytes - 9] = file[spriteRomBytes - 1] = 0;
    const uint16_t needed = romChecksum(file.data(), spriteRomBytes) ^ wanted;
    file[spriteRomBytes - 9] = static_cast<uint8_t>(needed >> 8);
    file[spriteRomBytes - 1] = static_cast<uint8_t>(needed);
}
} // namespace

RomSetBuilder& RomSetBuilder::program(uint16_t address, const std::vector<uint8_t>& bytes) {
    const ProgramArea area = programArea(model);
    if (address + bytes.size() > area.size) throw std::out_of_range("program outside its ROM");
    std::copy(bytes.begin(), bytes.end(), file.begin() + area.fileOffset + address);
    return *this;
}

RomSetBuilder& RomSetBuilder::programImage(const std::vector<uint8_t>& image) {
    const ProgramArea area = programArea(model);
    return program(0, std::vector<uint8_t>(image.begin(), image.begin() + area.size));
}

uint8_t* RomSetBuilder::charRom() {
    if (model != RomModel::tiaMc2) throw std::logic_error("only the TIA-MC-2 has a character ROM");
    return file.data() + spriteRomBytes;
}

std::vector<uint8_t> RomSetBuilder::build() {
    const uint16_t sum = romChecksum(file.data(), spriteRomBytes);
    switch (model) {
    case RomModel::tiaMc2: forceChecksum(file, tiaMc2Checksum); break;
    case RomModel::tiaMc1Analog: forceChecksum(file, analogChecksum); break;
    case RomModel::tiaMc1:
        if (sum == tiaMc2Checksum || sum == analogChecksum) forceChecksum(file, 0);
        break;
    }
    return file;
}

void RomSetBuilder::save(const std::string& path) { writeFile(path, build()); }

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (written != bytes.size()) throw std::runtime_error("short write to " + path);
}
