// The SDL window host: the program's own window on a Linux desktop, the
// keyboard and game pads, drag and drop, a silent audio stream, presents
// paced by the display.
#pragma once

#include <cstdint>
#include <string>

// How a finished frame reaches the window; each copies the picture 1:1.
enum class PresentWay : uint8_t {
    automatic,   // the accelerated renderer, else the software one
    surface,     // the window's own surface (no vertical-blank wait)
    software,    // SDL's software renderer and a streaming texture
    accelerated, // an accelerated renderer and a streaming texture
};

struct SdlHostConfig {
    uint32_t minimumWidth; // back buffer at least this size
    uint32_t minimumHeight;
    PresentWay way;
    // Called by the pacing step after each present with the number of
    // frames run so far.
    void (*onFrame)(uint32_t framesRun);
};

// Opens the display, the window (hidden until the driver shows it), the
// back buffer, the audio stream; measures the display; prints the start-up
// report. Fatal errors end the process.
void startSdlHost(const SdlHostConfig& config);

// While the monitor holds the machine: the last picture shown again, the
// window's events serviced, about a frame's wait.
void sdlMonitorIdle();

// Watchers for the benchmark; null when nobody watches.
struct SdlHostWatch {
    // After every present: when it returned (steady clock, microseconds) and
    // the CPU time the present took on this thread (nanoseconds).
    void (*presented)(uint64_t micros, uint64_t cpuNanos);
    // At the present of the first frame that saw a key press.
    void (*keySeen)(uint64_t micros);
};
extern SdlHostWatch sdlHostWatch;

// How the window is paced: "display" (one board frame per refresh, the
// present waiting for it), "display, 60 frames/s" (a display above 75 Hz) or
// "steady clock".
const char* sdlPacing();

// A virtual game controller through SDL's own joystick API, for tests: it
// produces the same events a plugged-in pad does.
bool attachVirtualPad();
void detachVirtualPad();
// button: an SDL_GameControllerButton value.
void setVirtualPadButton(int button, bool down);
// axis: an SDL_GameControllerAxis value.
void setVirtualPadAxis(int axis, int value);

// A scripted virtual pad, comma-separated events run after the frame named:
// "FRAME:attach", "FRAME:detach", "FRAME:down:BUTTON", "FRAME:up:BUTTON"
// (Up, Down, Left, Right, A, B, X, Start), "FRAME:stick:X:Y" (the left
// stick, -32768 to 32767). False with a message in error when malformed.
bool setVirtualPadScript(const char* script, std::string& error);

// The steady clock the host paces on, in microseconds.
uint64_t steadyMicros();
