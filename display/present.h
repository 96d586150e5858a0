// Presentation: the 512 x 256 board picture enlarged, centred, into the
// locked back buffer for the current scale preset and scanline look.
#pragma once

#include "host/host.h"

#include <cstdint>

// Work area of 960 x 256 pixels, 0x00RRGGBB, viewed with a row stride of 512,
// 640 or 960 pixels depending on the preset. Allocated and zeroed once.
constexpr uint32_t frameBufferPixels = 960 * 256;
extern uint32_t* FrameBuffer;
void allocateFrameBuffer();

// 3, 1 or 12 (initially 3); 0 black scanlines, 1 smooth, 2 double lines.
extern uint8_t scalePreset;
extern uint8_t scanlineMode;

// Draws the board picture, 512 x 256 pixels, at dest with a row stride in
// pixels.
using RenderFn = void (*)(uint32_t* dest, uint32_t stride);

// Locks the back buffer, renders and enlarges the picture, unlocks. A failed
// lock skips the frame silently.
void composeFrame(RenderFn render);
void clearBackBuffer();

// Wanted client size; 0 stands for the last requested value of that
// dimension. The last requested size (clientWidth x clientHeight, host.h) is
// also the screenshot size.
void resizeClient(uint32_t width, uint32_t height);

// Row operations: (source, destination, width in source pixels, source lines,
// source skip, destination skip or destination row length). Widths are
// multiples of 8. presentSmoothLines blends the last source line with black,
// as if a black line followed the picture: it never reads past its lines.
void copyLines(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines, uint32_t srcSkip,
               int32_t dstSkip);
void widen4to5(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines, uint32_t srcSkip,
               int32_t dstSkip);
void widen2to3(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines, uint32_t srcSkip,
               int32_t dstSkip);
void presentSmoothLines(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines,
                        uint32_t srcSkip, int32_t rowLength);
void presentDoubleLines(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines,
                        uint32_t srcSkip, int32_t rowLength);
void presentTripleLines(const uint32_t* src, uint32_t* dst, uint32_t width, uint32_t lines,
                        uint32_t srcSkip, int32_t rowLength);
