// The headless host: an in-memory back buffer, no window, no pacing. Each
// pacing step counts one presented frame and hands the count to a hook.
#pragma once

#include <cstdint>

// Called by the pacing step with the number of frames run so far.
using FrameHook = void (*)(uint32_t framesRun);

// Fills the host record: a back buffer of width x height pixels (raised to
// at least 1280 x 960), cleared; the keyboard is captured for good; console
// to the unbuffered standard output; PNGs through libpng; a fatal error
// prints "System Error! <message>" on the standard error and exits with
// code 1; shutdown exits with code 0; state slots in files
// (installFileStateStore).
void startHeadlessHost(uint32_t width, uint32_t height, FrameHook onFrame);

// Frames presented since start-up.
extern uint32_t headlessFrames;
