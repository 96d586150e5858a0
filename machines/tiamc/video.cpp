// The video generator: 16 sprites over 32 x 32 tiles, drawn once per frame
// from the registers and memories as they stand at the frame's end.
//
// An 8-pixel row of 4-bit colour indices is handled as one 64-bit word, one
// index per byte, the leftmost pixel in the lowest byte. A 256-entry table
// spreads the eight bits of one plane byte over the eight bytes, so a row is
// four lookups, three shifts and three ors.
#include "machines/tiamc/tiamc.h"

#include <cstring>

namespace {

constexpr uint8_t redLevels[8] = {0, 56, 102, 150, 174, 210, 227, 255};
constexpr uint8_t greenLevels[8] = {0, 44, 56, 112, 150, 181, 190, 216};
constexpr uint8_t blueLevels[4] = {0, 110, 174, 232};

constexpr uint64_t everyByte = 0x0101010101010101;

struct SpreadTables {
    uint64_t bit7First[256]; // pixel 0 from bit 7: the hardware's normal order
    uint64_t bit0First[256]; // pixel 0 from bit 0: a mirrored sprite half
};

constexpr SpreadTables makeSpreadTables() {
    SpreadTables t{};
    for (uint32_t b = 0; b < 256; ++b) {
        for (uint32_t j = 0; j < 8; ++j) {
            t.bit7First[b] |= uint64_t((b >> (7 - j)) & 1) << (8 * j);
            t.bit0First[b] |= uint64_t((b >> j) & 1) << (8 * j);
        }
    }
    return t;
}

constexpr SpreadTables spread = makeSpreadTables();

// Bit p of each index comes from plane p; the planes lie stride bytes apart.
inline uint64_t decodeRow(const uint8_t* row, uint32_t stride, const uint64_t* table) {
    return table[row[0]] | table[row[stride]] << 1 | table[row[2 * stride]] << 2 |
           table[row[3 * stride]] << 3;
}

// 0xFF in every byte whose index is not 15 (indices are 0..15, so adding
// 0x7F to the difference never carries into the next byte).
inline uint64_t opaqueMask(uint64_t indices) {
    const uint64_t diff = indices ^ (everyByte * noSpritePixel);
    const uint64_t high = (diff + everyByte * 0x7F) & (everyByte * 0x80);
    return (high >> 7) * 0xFF;
}

inline uint64_t load8(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Colour 15 is transparent: the layer keeps what lies under it.
inline void putSpriteRow(uint8_t* dst, uint64_t indices) {
    const uint64_t mask = opaqueMask(indices);
    const uint64_t merged = (indices & mask) | (load8(dst) & ~mask);
    std::memcpy(dst, &merged, sizeof merged);
}

constexpr uint32_t spritePlaneStride = 0x2000;
constexpr uint32_t spriteHalfB = 0x1000;

// A sprite starting 1 to 8 pixels left of the picture writes its left part
// into the previous layer row's spare bytes, where it is never shown.
void drawSprite(const uint8_t* regs) {
    const uint8_t attributes = regs[3];
    if (attributes & 1) return;
    int x = (tiaBoard.spriteXOrigin - regs[0] - 4) & 0xFF;
    if (x >= 248) x -= 256;
    const int y = 256 - regs[1];
    const uint8_t* image = tiaBoard.spriteRom + (255 - regs[2]) * 16;
    const bool topDown = attributes & 2;
    const bool unmirrored = attributes & 8;
    for (int l = 0; l < 16; ++l) {
        const int row = topDown ? y + l : y + 15 - l;
        uint8_t* dst = tiaBoard.spriteLayer + (row + 1) * spriteLayerStride + x;
        const uint8_t* halfA = image + l;
        const uint8_t* halfB = halfA + spriteHalfB;
        if (unmirrored) {
            putSpriteRow(dst, decodeRow(halfA, spritePlaneStride, spread.bit7First));
            putSpriteRow(dst + 8, decodeRow(halfB, spritePlaneStride, spread.bit7First));
        } else {
            putSpriteRow(dst, decodeRow(halfB, spritePlaneStride, spread.bit0First));
            putSpriteRow(dst + 8, decodeRow(halfA, spritePlaneStride, spread.bit0First));
        }
    }
}

struct TileSource {
    const uint8_t* map; // 32 x 32 codes, row-major
    const uint8_t* graphics;
    uint32_t planeStride;
};

TileSource tileSource() {
    const uint8_t control = tiaBoard.videoControl;
    if (tiaBoard.boardModel == tiaMc2) {
        return {tiaBoard.boardMemory + 0xF000, tiaBoard.charRom + ((control >> 4) & 3) * 0x800,
                0x2000};
    }
    return {tiaBoard.tileRam + (control & 0x80 ? 0x400 : 0),
            reinterpret_cast<const uint8_t*>(tiaBoard.charRam), 0x800};
}

// Each board pixel is two host pixels: the palette is doubled into 64-bit
// pairs once per frame, so a board pixel is one store; the eight pixels of a
// tile row are looked up without a loop.
using PixelPair = uint64_t;

// One picture line: sprites in front of the opaque tiles.
void composeLine(uint32_t* out, const TileSource& tiles, const PixelPair* palette, uint32_t y) {
    const uint8_t* codes = tiles.map + (y >> 3) * 32;
    const uint8_t* graphics = tiles.graphics + (y & 7);
    const uint8_t* layer = tiaBoard.spriteLayer + (y + 1) * spriteLayerStride;
    for (uint32_t k = 0; k < 32; ++k, layer += 8, out += 16) {
        const uint64_t tile =
            decodeRow(graphics + codes[k] * 8, tiles.planeStride, spread.bit7First);
        const uint64_t sprites = load8(layer);
        const uint64_t mask = opaqueMask(sprites);
        const uint64_t indices = (sprites & mask) | (tile & ~mask);
        const PixelPair pairs[8] = {palette[indices & 0xF],       palette[indices >> 8 & 0xF],
                                    palette[indices >> 16 & 0xF], palette[indices >> 24 & 0xF],
                                    palette[indices >> 32 & 0xF], palette[indices >> 40 & 0xF],
                                    palette[indices >> 48 & 0xF], palette[indices >> 56 & 0xF]};
        std::memcpy(out, pairs, sizeof pairs);
    }
}

} // namespace

void setUpColourTable() {
    for (uint32_t i = 0; i < 256; ++i) {
        tiaBoard.colourTable[i] = uint32_t(redLevels[(i >> 3) & 7]) << 16 |
                                  uint32_t(greenLevels[i & 7]) << 8 | blueLevels[i >> 6];
    }
}

void renderFrame(uint32_t* dest, uint32_t stride) {
    std::memset(tiaBoard.spriteLayer, noSpritePixel, sizeof tiaBoard.spriteLayer);
    for (const uint8_t* regs : tiaBoard.spriteRegs)
        drawSprite(regs);
    PixelPair palette[16];
    for (int i = 0; i < 16; ++i)
        palette[i] = PixelPair(tiaBoard.paletteRegs[i]) * 0x100000001;
    const TileSource tiles = tileSource();
    for (uint32_t y = 0; y < 256; ++y, dest += stride)
        composeLine(dest, tiles, palette, y);
}
