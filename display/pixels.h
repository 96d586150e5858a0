// Packed-pixel arithmetic on 0x00RRGGBB values, for one pixel (uint32_t) or
// four at once (Pixels4). Every mask keeps each channel's result inside its
// own byte, so no operation carries into the next channel.
#pragma once

#include <cstdint>
#include <cstring>

// Four pixels in one vector register (GCC and Clang vector extension; each
// target lowers the operations to what it has).
using Pixels4 = uint32_t __attribute__((vector_size(16)));

inline Pixels4 load4(const uint32_t* p) {
    Pixels4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store4(uint32_t* p, Pixels4 v) { std::memcpy(p, &v, sizeof v); }

// c / 2 per channel.
template <class Pixels> inline Pixels half(Pixels x) { return (x >> 1) & 0x7F7F7F; }

// c / 4 + c / 2 per channel.
template <class Pixels> inline Pixels threeQuarter(Pixels x) {
    return ((x >> 2) & 0x3F3F3F) + ((x >> 1) & 0x7F7F7F);
}

// a / 2 + b / 2 per channel.
template <class Pixels> inline Pixels average(Pixels a, Pixels b) {
    return ((a & 0xFEFEFE) + (b & 0xFEFEFE)) >> 1;
}

// a / 4 + b / 4 per channel.
template <class Pixels> inline Pixels quarterSum(Pixels a, Pixels b) {
    return ((a & 0xFCFCFC) + (b & 0xFCFCFC)) >> 2;
}

// a / 4 + b - b / 4 per channel: a quarter of a blended into b.
template <class Pixels> inline Pixels mix(Pixels a, Pixels b) {
    return ((a >> 2) & 0x3F3F3F) + b - ((b >> 2) & 0x3F3F3F);
}
