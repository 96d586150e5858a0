// Back buffer pixels to canvas bytes.
#include "platforms/web/canvas_pixels.h"

void toCanvasPixels(const uint32_t* source, int32_t pitch, uint32_t width, uint32_t height,
                    uint32_t* dest) {
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(
            reinterpret_cast<const uint8_t*>(source) + static_cast<intptr_t>(y) * pitch);
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t p = row[x];
            // Little-endian memory order R, G, B, A.
            dest[x] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
        }
        dest += width;
    }
}
