// The row operations presentation builds its pictures from. Each reads all
// pixels of its loop unit before writing any, which keeps the widenings safe
// in place: a destination row starts at or before its source row.
#include "display/pixels.h"
#include "display/present.h"

void copyLines(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines, uint32_t srcSkip,
               int32_t dstSkip) {
    for (uint32_t line = 0; line < lines; ++line) {
        for (uint32_t x = 0; x < width; x += 8) {
            for (uint32_t i = 0; i < 8; ++i)
                dst[x + i] = src[x + i];
        }
        src += width + srcSkip;
        dst += static_cast<intptr_t>(width) + dstSkip;
    }
}

void widen4to5(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines, uint32_t srcSkip,
               int32_t dstSkip) {
    for (uint32_t line = 0; line < lines; ++line) {
        for (uint32_t x = 0; x < width; x += 4) {
            const uint32_t p0 = src[0], p1 = src[1], p2 = src[2], p3 = src[3];
            dst[0] = p0;
            dst[1] = mix(p0, p1);
            dst[2] = average(p1, p2);
            dst[3] = mix(p3, p2);
            dst[4] = p3;
            src += 4;
            dst += 5;
        }
        src += srcSkip;
        dst += dstSkip;
    }
}

void widen2to3(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines, uint32_t srcSkip,
               int32_t dstSkip) {
    for (uint32_t line = 0; line < lines; ++line) {
        for (uint32_t x = 0; x < width; x += 8) {
            uint32_t p[8];
            for (uint32_t i = 0; i < 8; ++i)
                p[i] = src[i];
            for (uint32_t i = 0; i < 4; ++i) {
                dst[3 * i] = p[2 * i];
                dst[3 * i + 1] = average(p[2 * i], p[2 * i + 1]);
                dst[3 * i + 2] = p[2 * i + 1];
            }
            src += 8;
            dst += 12;
        }
        src += srcSkip;
        dst += dstSkip;
    }
}

void presentDoubleLines(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines,
                        uint32_t srcSkip, int32_t rowLength) {
    uint32_t* second = dst + rowLength;
    for (uint32_t line = 0; line < lines; ++line) {
        for (uint32_t x = 0; x < width; x += 4) {
            for (uint32_t i = 0; i < 4; ++i) {
                dst[x + i] = src[x + i];
                second[x + i] = src[x + i];
            }
        }
        src += width + srcSkip;
        dst += 2 * static_cast<intptr_t>(rowLength);
        second += 2 * static_cast<intptr_t>(rowLength);
    }
}

namespace {
// The line, then the line blended with the one below it.
void smoothLine(const uint32_t* src, const uint32_t* below, uint32_t* dst, uint32_t* second,
                uint32_t width) {
    for (uint32_t x = 0; x < width; x += 4) {
        for (uint32_t i = 0; i < 4; ++i) {
            dst[x + i] = src[x + i];
            second[x + i] = quarterSum(src[x + i], below[x + i]);
        }
    }
}

// The last line: what follows the picture is black.
void smoothLastLine(const uint32_t* src, uint32_t* dst, uint32_t* second, uint32_t width) {
    for (uint32_t x = 0; x < width; x += 4) {
        for (uint32_t i = 0; i < 4; ++i) {
            dst[x + i] = src[x + i];
            second[x + i] = quarterSum(src[x + i], 0);
        }
    }
}
} // namespace

void presentSmoothLines(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines,
                        uint32_t srcSkip, int32_t rowLength) {
    if (lines == 0) return;
    const uint32_t srcStride = width + srcSkip;
    const intptr_t dstStride = 2 * static_cast<intptr_t>(rowLength);
    for (uint32_t line = 0; line + 1 < lines; ++line) {
        smoothLine(src, src + srcStride, dst, dst + rowLength, width);
        src += srcStride;
        dst += dstStride;
    }
    smoothLastLine(src, dst, dst + rowLength, width);
}

void presentTripleLines(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines,
                        uint32_t srcSkip, int32_t rowLength) {
    uint32_t* second = dst + rowLength;
    uint32_t* third = second + rowLength;
    const intptr_t dstStride = 3 * static_cast<intptr_t>(rowLength);
    for (uint32_t line = 0; line < lines; ++line) {
        for (uint32_t x = 0; x < width; x += 4) {
            for (uint32_t i = 0; i < 4; ++i) {
                const uint32_t p = src[x + i];
                dst[x + i] = half(p);
                second[x + i] = p;
                third[x + i] = threeQuarter(p);
            }
        }
        src += width + srcSkip;
        dst += dstStride;
        second += dstStride;
        third += dstStride;
    }
}
