// Presentation on arbitrary pictures, presets and scanline looks, into back
// buffers of several sizes (odd sizes, pitches wider than the rows). Each back
// buffer is its own heap block, so ASan sees any access outside it; inside,
// every byte outside the centred picture rectangle is a guard that must keep
// its pattern.
//
// Input: surface choice, preset choice, scanline byte, then pixel bytes that
// fill the work area and the rendered picture (tiled).
#include "display/present.h"
#include "host/host.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Surface {
    uint32_t width;
    uint32_t height;
    int32_t pitch; // bytes
};

constexpr Surface surfaces[] = {
    {1280, 960, 1280 * 4}, {1281, 961, 1283 * 4},  {1920, 1080, 1936 * 4},
    {1285, 999, 1299 * 4}, {2561, 1441, 2569 * 4}, {1280, 960, 1281 * 4},
};
constexpr size_t surfaceCount = sizeof surfaces / sizeof surfaces[0];
constexpr uint8_t guard = 0xA5;

const Surface* surface;
uint8_t* backBuffer;
// One heap block per surface, exactly pitch x height bytes, all guard bytes
// between two inputs.
uint8_t* surfaceBlocks[surfaceCount];
bool locked;
// The input's pixel bytes repeated: the work area's contents, then the
// rendered picture.
constexpr size_t picturePixels = 512 * 256;
std::vector<uint32_t> tiled(frameBufferPixels + picturePixels);

void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool lock(BackBufferLock* out) {
    require(!locked);
    locked = true;
    out->pixels = reinterpret_cast<uint32_t*>(backBuffer);
    out->pitch = surface->pitch;
    return true;
}
void unlock() {
    require(locked);
    locked = false;
}

// Copies the input once, then doubles what is already there, so a one-byte
// input costs as little to spread as a long one.
void tile(const uint8_t* data, size_t size) {
    uint8_t* out = reinterpret_cast<uint8_t*>(tiled.data());
    const size_t total = tiled.size() * 4;
    size_t filled = size < total ? size : total;
    std::memcpy(out, data, filled);
    while (filled < total) {
        const size_t n = filled < total - filled ? filled : total - filled;
        std::memcpy(out + filled, out, n);
        filled += n;
    }
}

// The board picture, 512 x 256, from the input's pixels.
void renderInput(uint32_t* dest, uint32_t stride) {
    require(dest >= FrameBuffer);
    require(dest + 255 * stride + 512 <= FrameBuffer + frameBufferPixels);
    const uint32_t* picture = tiled.data() + frameBufferPixels;
    for (uint32_t y = 0; y < 256; ++y)
        std::memcpy(dest + y * stride, picture + y * 512, 512 * 4);
}

struct Rect {
    uint32_t left, top, width, height;
};

Rect pictureRect() {
    uint32_t w = 0, h = 0;
    switch (scalePreset) {
    case 3: w = 960, h = 768; break;
    case 1: w = 512, h = 512; break;
    case 12: w = 640, h = 512; break;
    }
    return {surface->width / 2 - w / 2, surface->height / 2 - h / 2, w, h};
}

// Plain word compares: the guard areas are inside the surface block, and
// ASan's range checks of memcmp would cost more than the comparison.
__attribute__((no_sanitize("address", "undefined", "coverage"))) bool allGuard(const uint8_t* p,
                                                                               size_t n) {
    uint64_t word;
    std::memset(&word, guard, sizeof word);
    // One reduction over the whole range (no early exit), so it vectorises.
    uint64_t differs = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t here;
        __builtin_memcpy(&here, p + i, sizeof here);
        differs |= here ^ word;
    }
    for (; i < n; ++i)
        differs |= p[i] ^ guard;
    return differs == 0;
}

// Puts the guard back where the picture was drawn.
void restoreGuards() {
    const Rect r = pictureRect();
    for (uint32_t y = r.top; y < r.top + r.height; ++y)
        std::memset(backBuffer + y * static_cast<size_t>(surface->pitch) + r.left * 4, guard,
                    r.width * 4);
}

// Every byte of every row outside the picture rectangle, the padding past
// the row's pixels included, still holds the guard pattern.
void checkGuards() {
    const Rect r = pictureRect();
    const size_t pitch = static_cast<size_t>(surface->pitch);
    for (uint32_t y = 0; y < surface->height; ++y) {
        const uint8_t* row = backBuffer + y * pitch;
        if (y < r.top || y >= r.top + r.height) {
            require(allGuard(row, pitch));
            continue;
        }
        const size_t left = r.left * 4, right = (r.left + r.width) * 4;
        require(allGuard(row, left));
        require(allGuard(row + right, pitch - right));
    }
}

uint8_t presetFrom(uint8_t b) {
    const uint8_t presets[] = {3, 1, 12};
    return (b & 3) < 3 ? presets[b & 3] : b;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    allocateFrameBuffer();
    for (size_t i = 0; i < surfaceCount; ++i) {
        const size_t bytes = static_cast<size_t>(surfaces[i].pitch) * surfaces[i].height;
        surfaceBlocks[i] = new uint8_t[bytes];
        std::memset(surfaceBlocks[i], guard, bytes);
    }
    host.lockBackBuffer = lock;
    host.unlockBackBuffer = unlock;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    surface = &surfaces[data[0] % surfaceCount];
    backBuffer = surfaceBlocks[data[0] % surfaceCount];
    scalePreset = presetFrom(data[1]);
    scanlineMode = data[2];
    tile(data + 3, size - 3);
    std::memcpy(FrameBuffer, tiled.data(), frameBufferPixels * 4);
    screenWidth = surface->width;
    screenHeight = surface->height;
    composeFrame(renderInput);
    require(!locked);
    checkGuards();
    restoreGuards();
    return 0;
}
