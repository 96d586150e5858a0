// Packed-pixel arithmetic on 0x00RRGGBB values. Every mask keeps each
// channel's result inside its own byte, so no operation carries into the
// next channel.
#pragma once

#include <cstdint>

// c / 2 per channel.
inline uint32_t half(uint32_t x) { return (x >> 1) & 0x7F7F7F; }

// c / 4 + c / 2 per channel.
inline uint32_t threeQuarter(uint32_t x) { return ((x >> 2) & 0x3F3F3F) + ((x >> 1) & 0x7F7F7F); }

// a / 2 + b / 2 per channel.
inline uint32_t average(uint32_t a, uint32_t b) { return ((a & 0xFEFEFE) + (b & 0xFEFEFE)) >> 1; }

// a / 4 + b / 4 per channel.
inline uint32_t quarterSum(uint32_t a, uint32_t b) {
    return ((a & 0xFCFCFC) + (b & 0xFCFCFC)) >> 2;
}

// a / 4 + b - b / 4 per channel: a quarter of a blended into b.
inline uint32_t mix(uint32_t a, uint32_t b) {
    return ((a >> 2) & 0x3F3F3F) + b - ((b >> 2) & 0x3F3F3F);
}
