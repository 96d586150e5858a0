// Composition of the board picture into the back buffer, and the client
// size the window is kept at.
#include "display/present.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

uint32_t* FrameBuffer;
uint8_t scalePreset = 3;
uint8_t scanlineMode;

namespace {
constexpr uint32_t lines = 256;

// The picture last composed, line by line, and what it was composed into: a
// kept back buffer still holds those lines while nothing below changes.
struct LastPicture {
    uint32_t* pixels; // 512 x 256
    bool valid;
    uint32_t* origin;
    int32_t pitch;
    uint8_t preset, look;
    uint32_t resets;
};
LastPicture last;
// Lines of the current picture that differ from the last one composed.
bool changed[lines];
} // namespace

// A second call (a restarted driver) zeroes the same area again.
void allocateFrameBuffer() {
    last.valid = false;
    if (!last.pixels) {
        last.pixels = static_cast<uint32_t*>(std::calloc(512 * lines, sizeof(uint32_t)));
        if (!last.pixels) host.fatalError("Can't allocate the frame buffer!");
    }
    if (FrameBuffer) {
        std::memset(FrameBuffer, 0, frameBufferPixels * sizeof(uint32_t));
        return;
    }
    FrameBuffer = static_cast<uint32_t*>(std::calloc(frameBufferPixels, sizeof(uint32_t)));
    if (!FrameBuffer) host.fatalError("Can't allocate the frame buffer!");
}

namespace {
// Marks the rendered lines (512 pixels at a row stride) that differ from the
// last picture and keeps them as the last picture. With nothing kept every
// line counts as changed.
void noteChanges(const uint32_t* picture, uint32_t stride, bool kept) {
    for (uint32_t y = 0; y < lines; ++y) {
        const uint32_t* line = picture + static_cast<size_t>(y) * stride;
        uint32_t* previous = last.pixels + static_cast<size_t>(y) * 512;
        changed[y] = !kept || std::memcmp(line, previous, 512 * sizeof(uint32_t)) != 0;
        if (changed[y]) std::memcpy(previous, line, 512 * sizeof(uint32_t));
    }
}

// 512 x 512: each line once, the row below left black.
void composeNormal(RenderFn render, uint32_t* origin, int32_t pitchPixels, bool kept) {
    render(FrameBuffer, 512);
    noteChanges(FrameBuffer, 512, kept);
    for (uint32_t y = 0; y < lines; ++y) {
        if (changed[y])
            copyLines(FrameBuffer + y * 512, origin + 2 * y * pitchPixels, 512, 1, 0, 0);
    }
}

// 640 x 512: each line widened by 5/4, the row below left black.
void composeBlackScanlines(RenderFn render, uint32_t* origin, int32_t pitchPixels, bool kept) {
    render(FrameBuffer, 512);
    noteChanges(FrameBuffer, 512, kept);
    for (uint32_t y = 0; y < lines; ++y) {
        if (changed[y])
            widen4to5(FrameBuffer + y * 512, origin + 2 * y * pitchPixels, 512, 1, 0, 0);
    }
}

// Renders at stride 640 and widens the changed lines in place to 640 pixels.
void renderWide(RenderFn render, bool kept) {
    render(FrameBuffer + 128, 640);
    noteChanges(FrameBuffer + 128, 640, kept);
    for (uint32_t y = 0; y < lines; ++y) {
        if (changed[y]) widen4to5(FrameBuffer + 128 + y * 640, FrameBuffer + y * 640, 512, 1, 0, 0);
    }
}

// Each row blends a line with the one below, and the work area holds only
// the changed lines widened: any change composes the whole picture again.
void composeSmoothScanlines(RenderFn render, uint32_t* origin, int32_t pitchPixels, bool kept) {
    render(FrameBuffer + 128, 640);
    noteChanges(FrameBuffer + 128, 640, kept);
    if (std::find(changed, changed + lines, true) == changed + lines) return;
    widen4to5(FrameBuffer + 128, FrameBuffer, 512, lines, 128, 0);
    presentSmoothLines(FrameBuffer, origin, 640, lines, 0, pitchPixels);
}

void composeDoubleLines(RenderFn render, uint32_t* origin, int32_t pitchPixels, bool kept) {
    renderWide(render, kept);
    for (uint32_t y = 0; y < lines; ++y) {
        if (changed[y])
            presentDoubleLines(FrameBuffer + y * 640, origin + 2 * y * pitchPixels, 640, 1, 0,
                               pitchPixels);
    }
}

// 960 x 768: widened by 3/2, then by 5/4, in place at stride 960; each line
// becomes three rows of falling brightness.
void composeLarge(RenderFn render, uint32_t* origin, int32_t pitchPixels, bool kept) {
    render(FrameBuffer + 448, 960);
    noteChanges(FrameBuffer + 448, 960, kept);
    for (uint32_t y = 0; y < lines; ++y) {
        if (!changed[y]) continue;
        uint32_t* row = FrameBuffer + y * 960;
        widen2to3(row + 448, row + 192, 512, 1, 0, 0);
        widen4to5(row + 192, row, 768, 1, 0, 0);
        presentTripleLines(row, origin + 3 * y * pitchPixels, 960, 1, 0, pitchPixels);
    }
}

using ComposeFn = void (*)(RenderFn render, uint32_t* origin, int32_t pitchPixels, bool kept);

struct PictureLayout {
    ComposeFn compose;
    uint32_t width;
    uint32_t height;
};

// The layout for the current preset and scanline look; null compose for a
// preset that draws nothing.
PictureLayout currentLayout() {
    switch (scalePreset) {
    case 1: return {composeNormal, 512, 512};
    case 3: return {composeLarge, 960, 768};
    case 12:
        if (scanlineMode == 0) return {composeBlackScanlines, 640, 512};
        if (scanlineMode == 1) return {composeSmoothScanlines, 640, 512};
        return {composeDoubleLines, 640, 512};
    default: return {nullptr, 0, 0};
    }
}
} // namespace

void composeFrame(RenderFn render) {
    BackBufferLock lock;
    if (!host.lockBackBuffer(&lock)) return;
    const PictureLayout layout = currentLayout();
    if (layout.compose) {
        uint32_t* origin = centredOrigin(lock, layout.width, layout.height);
        const bool kept = backBufferKeepsPicture && last.valid && last.origin == origin &&
                          last.pitch == lock.pitch && last.preset == scalePreset &&
                          last.look == scanlineMode && last.resets == backBufferResets;
        layout.compose(render, origin, lock.pitch / 4, kept);
        last = LastPicture{last.pixels, true,         origin,          lock.pitch,
                           scalePreset, scanlineMode, backBufferResets};
    }
    host.unlockBackBuffer();
}

void clearBackBuffer() { host.clearBackBuffer(); }

void resizeClient(uint32_t width, uint32_t height) {
    if (width != 0) clientWidth = width;
    if (height != 0) clientHeight = height;
    host.sizeClient(clientWidth, clientHeight);
}
