// Building ".tia" ROM set images: graphics from text, the board layouts and
// the model-selecting checksum of the sprite ROM.
#pragma once

#include "machines/tiamc/romset_format.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tiapack {

using Bytes = std::vector<uint8_t>;

// The last sprite image is kept free: two of its bytes set the checksum.
constexpr int reservedSprite = 255;

// One item drawn in text: 16x16 for a sprite, 8x8 for a character; each pixel
// is a colour index 0-15, row by row from the top, left to right.
struct Picture {
    int number = 0;
    int size = 0;
    std::vector<uint8_t> pixels;
};

enum class SetKind { tiaMc1Digital, tiaMc1Analog, tiaMc2 };

// Parses "sprite N" / "char N" blocks of pixel rows ('.' = the "blank N"
// colour) and "recolour FIRST LAST OFFSET FROM TO" lines, which add copies of
// pictures read so far. Returns an empty string on success or an error text
// naming the line.
std::string parsePictures(const std::string& text, int size, std::vector<Picture>& out);

// Places pictures into a sprite ROM (4 planes of 0x2000, halves A and B) or a
// character block (4 planes of `planeStride`, item n row l at base + n*8 + l).
void placeSprite(Bytes& spriteRom, const Picture& sprite);
void placeChar(Bytes& block, size_t planeStride, size_t base, const Picture& chr);

// Sets the two reserved bytes so the sprite ROM checksum tells the set kind.
void forceChecksum(Bytes& spriteRom, SetKind kind);

// Lays out the whole 90112-byte file. `charBanks` is used by the TIA-MC-2
// only (up to four banks of 256 characters).
std::string buildRomSet(SetKind kind, const Bytes& program, const std::vector<Picture>& sprites,
                        const std::vector<std::vector<Picture>>& charBanks, Bytes& out);

// A TIA-MC-1 character RAM image: 4 planes of 2048 bytes, for the program to
// copy through its video RAM window.
Bytes charRamImage(const std::vector<Picture>& chars);

} // namespace tiapack
