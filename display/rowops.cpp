// The row operations presentation builds its pictures from.
//
// The widenings work in place: each loop unit reads all its pixels before it
// writes any, and a destination row that starts at least width / 4 (4 to 5)
// or width / 2 (2 to 3) pixels before its source row then never overwrites a
// pixel not yet read. The other operations never write into their source.
//
// Four-pixel vectors carry the arithmetic; every shuffle below is one that
// SSE2 does in a single instruction (unpack, or two lanes from each side).
#include "display/pixels.h"
#include "display/present.h"

#define shuffle __builtin_shufflevector

void copyLines(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines, uint32_t srcSkip,
               int32_t dstSkip) {
    for (uint32_t line = 0; line < lines; ++line) {
        std::memcpy(dst, src, width * sizeof(uint32_t));
        src += width + srcSkip;
        dst += static_cast<intptr_t>(width) + dstSkip;
    }
}

namespace {
// 16 pixels, four groups p0 p1 p2 p3, become 20: p0, mix(p0, p1),
// average(p1, p2), mix(p3, p2), p3 per group. The groups are transposed so
// each vector holds one position of all four groups, blended, and
// transposed back.
void widen16to20(const uint32_t* src, uint32_t* dst) {
    const Pixels4 g0 = load4(src), g1 = load4(src + 4), g2 = load4(src + 8), g3 = load4(src + 12);
    const Pixels4 t0 = shuffle(g0, g1, 0, 4, 1, 5), t1 = shuffle(g2, g3, 0, 4, 1, 5);
    const Pixels4 t2 = shuffle(g0, g1, 2, 6, 3, 7), t3 = shuffle(g2, g3, 2, 6, 3, 7);
    const Pixels4 p0 = shuffle(t0, t1, 0, 1, 4, 5), p1 = shuffle(t0, t1, 2, 3, 6, 7);
    const Pixels4 p2 = shuffle(t2, t3, 0, 1, 4, 5), p3 = shuffle(t2, t3, 2, 3, 6, 7);
    const Pixels4 m1 = mix(p0, p1), a = average(p1, p2), m3 = mix(p3, p2);
    const Pixels4 q0 = shuffle(p0, m1, 0, 4, 1, 5), q1 = shuffle(a, m3, 0, 4, 1, 5);
    const Pixels4 q2 = shuffle(p0, m1, 2, 6, 3, 7), q3 = shuffle(a, m3, 2, 6, 3, 7);
    // r0..r3: the first four outputs of each group; p3 holds each fifth.
    const Pixels4 r0 = shuffle(q0, q1, 0, 1, 4, 5), r1 = shuffle(q0, q1, 2, 3, 6, 7);
    const Pixels4 r2 = shuffle(q2, q3, 0, 1, 4, 5), r3 = shuffle(q2, q3, 2, 3, 6, 7);
    store4(dst, r0);
    store4(dst + 4, shuffle(shuffle(p3, r1, 0, 0, 4, 4), r1, 0, 2, 5, 6));
    store4(dst + 8, shuffle(shuffle(r1, p3, 3, 3, 5, 5), r2, 0, 2, 4, 5));
    store4(dst + 12, shuffle(r2, shuffle(p3, r3, 2, 2, 4, 4), 2, 3, 4, 6));
    store4(dst + 16, shuffle(r3, shuffle(r3, p3, 3, 3, 7, 7), 1, 2, 4, 6));
}

void widen4to5Scalar(const uint32_t* src, uint32_t* dst) {
    const uint32_t p0 = src[0], p1 = src[1], p2 = src[2], p3 = src[3];
    dst[0] = p0;
    dst[1] = mix(p0, p1);
    dst[2] = average(p1, p2);
    dst[3] = mix(p3, p2);
    dst[4] = p3;
}
} // namespace

void widen4to5(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines, uint32_t srcSkip,
               int32_t dstSkip) {
    for (uint32_t line = 0; line < lines; ++line) {
        uint32_t x = 0;
        for (; x + 16 <= width; x += 16, src += 16, dst += 20)
            widen16to20(src, dst);
        for (; x < width; x += 4, src += 4, dst += 5)
            widen4to5Scalar(src, dst);
        src += srcSkip;
        dst += dstSkip;
    }
}

void widen2to3(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines, uint32_t srcSkip,
               int32_t dstSkip) {
    for (uint32_t line = 0; line < lines; ++line) {
        for (uint32_t x = 0; x < width; x += 8, src += 8, dst += 12) {
            // p0..p7 become p0 a01 p1 | p2 a23 p3 | p4 a45 p5 | p6 a67 p7.
            const Pixels4 v0 = load4(src), v1 = load4(src + 4);
            const Pixels4 a = average(shuffle(v0, v1, 0, 2, 4, 6), shuffle(v0, v1, 1, 3, 5, 7));
            store4(dst, shuffle(shuffle(v0, a, 0, 4, 1, 5), v0, 0, 1, 5, 6));
            store4(dst + 4,
                   shuffle(shuffle(a, v0, 1, 1, 7, 7), shuffle(v1, a, 0, 0, 6, 6), 0, 2, 4, 6));
            store4(dst + 8, shuffle(v1, shuffle(a, v1, 2, 6, 3, 7), 1, 2, 6, 7));
        }
        src += srcSkip;
        dst += dstSkip;
    }
}

void presentDoubleLines(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines,
                        uint32_t srcSkip, int32_t rowLength) {
    for (uint32_t line = 0; line < lines; ++line) {
        std::memcpy(dst, src, width * sizeof(uint32_t));
        std::memcpy(dst + rowLength, src, width * sizeof(uint32_t));
        src += width + srcSkip;
        dst += 2 * static_cast<intptr_t>(rowLength);
    }
}

namespace {
// The line, then the line blended with the one below it (black below the
// last line).
void smoothLine(const uint32_t* __restrict src, const uint32_t* __restrict below,
                uint32_t* __restrict dst, uint32_t* __restrict second, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x) {
        dst[x] = src[x];
        second[x] = quarterSum(src[x], below ? below[x] : 0u);
    }
}
} // namespace

void presentSmoothLines(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines,
                        uint32_t srcSkip, int32_t rowLength) {
    const uint32_t srcStride = width + srcSkip;
    for (uint32_t line = 0; line < lines; ++line) {
        const uint32_t* below = line + 1 < lines ? src + srcStride : nullptr;
        smoothLine(src, below, dst, dst + rowLength, width);
        src += srcStride;
        dst += 2 * static_cast<intptr_t>(rowLength);
    }
}

namespace {
void tripleLine(const uint32_t* __restrict src, uint32_t* __restrict first,
                uint32_t* __restrict second, uint32_t* __restrict third, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t p = src[x];
        first[x] = half(p);
        second[x] = p;
        third[x] = threeQuarter(p);
    }
}
} // namespace

void presentTripleLines(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines,
                        uint32_t srcSkip, int32_t rowLength) {
    for (uint32_t line = 0; line < lines; ++line) {
        tripleLine(src, dst, dst + rowLength, dst + 2 * static_cast<intptr_t>(rowLength), width);
        src += width + srcSkip;
        dst += 3 * static_cast<intptr_t>(rowLength);
    }
}
