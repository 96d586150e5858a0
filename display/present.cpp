// Composition of the board picture into the back buffer, and the client
// size the window is kept at.
#include "display/present.h"

#include <cstdlib>
#include <cstring>

uint32_t* FrameBuffer;
uint8_t scalePreset = 3;
uint8_t scanlineMode;

// A second call (a restarted driver) zeroes the same area again.
void allocateFrameBuffer() {
    if (FrameBuffer) {
        std::memset(FrameBuffer, 0, frameBufferPixels * sizeof(uint32_t));
        return;
    }
    FrameBuffer = static_cast<uint32_t*>(std::calloc(frameBufferPixels, sizeof(uint32_t)));
    if (!FrameBuffer) host.fatalError("Can't allocate the frame buffer!");
}

namespace {
constexpr uint32_t lines = 256;

// 512 x 512: each line once, the row below left black.
void composeNormal(RenderFn render, uint32_t* origin, int32_t pitchPixels) {
    render(FrameBuffer, 512);
    copyLines(FrameBuffer, origin, 512, lines, 0, 2 * pitchPixels - 512);
}

// 640 x 512: each line widened by 5/4, the row below left black.
void composeBlackScanlines(RenderFn render, uint32_t* origin, int32_t pitchPixels) {
    render(FrameBuffer, 512);
    widen4to5(FrameBuffer, origin, 512, lines, 0, 2 * pitchPixels - 640);
}

// Renders at stride 640 and widens in place to 640 x 256.
void renderWide(RenderFn render) {
    render(FrameBuffer + 128, 640);
    widen4to5(FrameBuffer + 128, FrameBuffer, 512, lines, 128, 0);
}

void composeSmoothScanlines(RenderFn render, uint32_t* origin, int32_t pitchPixels) {
    renderWide(render);
    presentSmoothLines(FrameBuffer, origin, 640, lines, 0, pitchPixels);
}

void composeDoubleLines(RenderFn render, uint32_t* origin, int32_t pitchPixels) {
    renderWide(render);
    presentDoubleLines(FrameBuffer, origin, 640, lines, 0, pitchPixels);
}

// 960 x 768: widened by 3/2, then by 5/4, in place at stride 960; each line
// becomes three rows of falling brightness.
void composeLarge(RenderFn render, uint32_t* origin, int32_t pitchPixels) {
    render(FrameBuffer + 448, 960);
    widen2to3(FrameBuffer + 448, FrameBuffer + 192, 512, lines, 448, 192);
    widen4to5(FrameBuffer + 192, FrameBuffer, 768, lines, 192, 0);
    presentTripleLines(FrameBuffer, origin, 960, lines, 0, pitchPixels);
}

using ComposeFn = void (*)(RenderFn render, uint32_t* origin, int32_t pitchPixels);

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
        layout.compose(render, centredOrigin(lock, layout.width, layout.height), lock.pitch / 4);
    }
    host.unlockBackBuffer();
}

void clearBackBuffer() { host.clearBackBuffer(); }

void resizeClient(uint32_t width, uint32_t height) {
    if (width != 0) clientWidth = width;
    if (height != 0) clientHeight = height;
    host.sizeClient(clientWidth, clientHeight);
}
