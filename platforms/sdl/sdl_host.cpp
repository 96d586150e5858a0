// SDL window host: the host record filled by SDL2 for a Linux desktop.
#include "platforms/sdl/sdl_host.h"

#include "platforms/common/pacer.h"
#include "platforms/common/refresh.h"

#include "host/gamepad.h"
#include "host/host.h"
#include "host/keycodes.h"
#include "platforms/common/files.h"
#include "platforms/common/keyqueue.h"
#include "platforms/common/keytable.h"
#include "platforms/common/png_writer.h"
#include "platforms/common/statefiles.h"
#include "platforms/common/version.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

SdlHostWatch sdlHostWatch;

namespace {

constexpr const char* windowTitle = windowTitleText;

struct SdlHost {
    SdlHostConfig config;
    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    bool videoUp;
    bool vsync;
    uint32_t framesRun;
    bool inFullScreen;
    int windowedX, windowedY; // the window's place before full screen
    // A key press handled since the last present: the next frame sees it.
    bool keyPending;
    bool keyInFrame;
    // One board frame per refresh, the present waiting for it.
    bool lockedToDisplay;
    uint64_t refreshMicros; // one refresh of the display
    // The display the window is on; its size and rate decide the back
    // buffer's size and the pacing.
    int display;
    // Presents are still to be timed against the display's refresh.
    bool checkPresents;
    uint64_t firstFrameMicros; // when the first frame was presented
};

SdlHost sdl;

struct ScreenSize {
    uint32_t width, height;
};

struct AudioStream {
    SDL_AudioDeviceID device;
    std::atomic<uint64_t> framesPlayed;
    std::atomic<bool> muted;
};

AudioStream audio;

struct PadSlot {
    SDL_GameController* controller;
    SDL_JoystickID id;
    int stickX, stickY;
};

PadSlot pads[padSlots];
int virtualPadIndex = -1;
SDL_Joystick* virtualPad;

struct PadScriptEvent {
    uint32_t frame;
    char action; // 'a'ttach, 'd'etach, 'b'utton, 's'tick
    int button;
    bool down;
    int x, y;
};
std::vector<PadScriptEvent> padScript;
size_t padScriptNext;
void runPadScript(uint32_t framesRun);
void checkPresentsWait();
void followDisplay();

uint64_t threadCpuNanos() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

// Host record ------------------------------------------------------------

// A window grown by a larger preset is moved back inside the usable area of
// the display it is on where it fits there.
void keepOnScreen(int w, int h) {
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(sdl.display, &usable) != 0) return;
    int x = 0, y = 0, top = 0, left = 0;
    SDL_GetWindowPosition(sdl.window, &x, &y);
    SDL_GetWindowBordersSize(sdl.window, &top, &left, nullptr, nullptr);
    const int newX = std::max(usable.x + left, std::min(x, usable.x + usable.w - w));
    const int newY = std::max(usable.y + top, std::min(y, usable.y + usable.h - h));
    if (newX != x || newY != y) SDL_SetWindowPosition(sdl.window, newX, newY);
}

// The client area is one row taller than the picture. Leaving full screen
// gives the window back the place it had, at the size of the picture now
// shown: the place is asked for outright, since the window manager's own
// restore can come after SDL's resize and leave the window in the corner.
void sizeClient(uint32_t width, uint32_t height) {
    if (fullScreen) {
        if (sdl.inFullScreen) return;
        SDL_GetWindowPosition(sdl.window, &sdl.windowedX, &sdl.windowedY);
        SDL_SetWindowFullscreen(sdl.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        sdl.inFullScreen = true;
        return;
    }
    const int w = static_cast<int>(width), h = static_cast<int>(clientAreaHeight(height));
    if (sdl.inFullScreen) {
        SDL_SetWindowFullscreen(sdl.window, 0);
        SDL_SetWindowSize(sdl.window, w, h);
        SDL_SetWindowPosition(sdl.window, sdl.windowedX, sdl.windowedY);
        sdl.inFullScreen = false;
        return;
    }
    SDL_SetWindowSize(sdl.window, w, h);
    keepOnScreen(w, h);
}

// Presents are timed once the window is shown: a hidden window's presents
// need not wait for anything.
void showWindow() {
    SDL_ShowWindow(sdl.window);
    SDL_RaiseWindow(sdl.window);
    checkPresentsWait();
}

void muteAudio() { audio.muted = true; }

void releaseSdl() {
    if (audio.device) SDL_CloseAudioDevice(audio.device);
    if (sdl.texture) SDL_DestroyTexture(sdl.texture);
    if (sdl.renderer) SDL_DestroyRenderer(sdl.renderer);
    if (sdl.window) SDL_DestroyWindow(sdl.window);
    SDL_Quit();
}

[[noreturn]] void shutdownAndExit() {
    const double seconds = static_cast<double>(steadyMicros() - sdl.firstFrameMicros) / 1e6;
    if (sdl.framesRun > 1 && seconds > 0) {
        consolePrintf("%u frames shown in %.2f s, %.2f per second\n",
                      static_cast<unsigned>(sdl.framesRun), seconds,
                      static_cast<double>(sdl.framesRun - 1) / seconds);
    }
    std::fflush(stdout);
    releaseSdl();
    std::exit(0);
}

// The message box needs a display; without one the standard error carries
// the message alone.
[[noreturn]] void fatalError(const char* message) {
    std::fprintf(stderr, "System Error! %s\n", message);
    std::fflush(stdout);
    if (sdl.videoUp) {
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "System Error!", message, nullptr);
    }
    releaseSdl();
    std::exit(1);
}

void consoleOut(const char* text) { std::fputs(text, stdout); }

// Presentation ------------------------------------------------------------

// The centred client-size rectangle of the back buffer, cut to the back
// buffer when the window is larger.
struct ShownRect {
    const uint32_t* origin;
    int width, height;
    int pitch;
};

ShownRect shownRect(int clientW, int clientH) {
    ShownRect rect;
    rect.width = std::min(clientW, static_cast<int>(screenWidth));
    rect.height = std::min(clientH, static_cast<int>(screenHeight));
    BackBufferLock lock;
    lockMemoryBackBuffer(&lock);
    rect.origin =
        centredOrigin(lock, static_cast<uint32_t>(rect.width), static_cast<uint32_t>(rect.height));
    rect.pitch = lock.pitch;
    return rect;
}

void presentOnSurface() {
    SDL_Surface* surface = SDL_GetWindowSurface(sdl.window);
    if (!surface) return;
    const ShownRect rect = shownRect(surface->w, surface->h);
    if (rect.width < surface->w || rect.height < surface->h) {
        SDL_FillRect(surface, nullptr, 0);
    }
    // An output larger than the back buffer (a larger display than the one
    // it was made for) shows it in its middle.
    const int left = (surface->w - rect.width) / 2, top = (surface->h - rect.height) / 2;
    SDL_LockSurface(surface);
    uint8_t* const target = static_cast<uint8_t*>(surface->pixels) + top * surface->pitch +
                            left * surface->format->BytesPerPixel;
    SDL_ConvertPixels(rect.width, rect.height, SDL_PIXELFORMAT_RGB888, rect.origin, rect.pitch,
                      surface->format->format, target, surface->pitch);
    SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(sdl.window);
}

void presentWithRenderer() {
    int outW = 0, outH = 0;
    SDL_GetRendererOutputSize(sdl.renderer, &outW, &outH);
    const ShownRect rect = shownRect(outW, outH);
    const SDL_Rect area{0, 0, rect.width, rect.height};
    const SDL_Rect shown{(outW - rect.width) / 2, (outH - rect.height) / 2, rect.width,
                         rect.height};
    SDL_UpdateTexture(sdl.texture, &area, rect.origin, rect.pitch);
    if (rect.width < outW || rect.height < outH) {
        SDL_SetRenderDrawColor(sdl.renderer, 0, 0, 0, 255);
        SDL_RenderClear(sdl.renderer);
    }
    SDL_RenderCopy(sdl.renderer, sdl.texture, &area, &shown);
    SDL_RenderPresent(sdl.renderer);
}

void present() {
    const uint64_t cpuBefore = threadCpuNanos();
    if (sdl.renderer) {
        presentWithRenderer();
    } else {
        presentOnSurface();
    }
    const uint64_t now = steadyMicros();
    if (sdlHostWatch.presented) sdlHostWatch.presented(now, threadCpuNanos() - cpuBefore);
    if (sdl.keyInFrame && sdlHostWatch.keySeen) sdlHostWatch.keySeen(now);
    sdl.keyInFrame = false;
}

// Events ------------------------------------------------------------------

void recordKey(const SDL_KeyboardEvent& key) {
    if (!keyboardCaptured) return;
    const bool down = key.type == SDL_KEYDOWN;
    queueKeyEvent(keyCodeForScancode(static_cast<uint32_t>(key.keysym.scancode)), down);
}

int padSlotOf(SDL_JoystickID id) {
    for (int i = 0; i < padSlots; ++i) {
        if (pads[i].controller && pads[i].id == id) return i;
    }
    return -1;
}

void openPad(int deviceIndex) {
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (!controller) return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    if (padSlotOf(id) >= 0) {
        SDL_GameControllerClose(controller);
        return;
    }
    for (PadSlot& slot : pads) {
        if (slot.controller) continue;
        slot = PadSlot{controller, id, 0, 0};
        consolePrintf("Game pad: %s\n", SDL_GameControllerName(controller));
        return;
    }
    SDL_GameControllerClose(controller);
}

void closePad(SDL_JoystickID id) {
    const int slot = padSlotOf(id);
    if (slot < 0) return;
    releasePad(slot);
    SDL_GameControllerClose(pads[slot].controller);
    pads[slot] = PadSlot{};
}

struct PadButton {
    uint8_t button;
    PadControl control;
};

constexpr PadButton padButtons[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_UP, padUp},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, padDown},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, padLeft},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, padRight},
    {SDL_CONTROLLER_BUTTON_A, padA},
    {SDL_CONTROLLER_BUTTON_B, padB},
    {SDL_CONTROLLER_BUTTON_X, padX},
    {SDL_CONTROLLER_BUTTON_START, padStart},
};

void padButton(const SDL_ControllerButtonEvent& event) {
    const int slot = padSlotOf(event.which);
    if (slot < 0) return;
    for (const PadButton& entry : padButtons) {
        if (entry.button != event.button) continue;
        setPadControl(slot, entry.control, event.state == SDL_PRESSED);
        if (event.state == SDL_PRESSED) sdl.keyPending = true;
    }
}

void padAxis(const SDL_ControllerAxisEvent& event) {
    const int slot = padSlotOf(event.which);
    if (slot < 0) return;
    PadSlot& pad = pads[slot];
    if (event.axis == SDL_CONTROLLER_AXIS_LEFTX) {
        pad.stickX = event.value;
    } else if (event.axis == SDL_CONTROLLER_AXIS_LEFTY) {
        pad.stickY = event.value;
    } else {
        return;
    }
    setPadStick(slot, pad.stickX, pad.stickY);
}

// A window moved or resized (full screen included) may have reached
// another display, or its display another mode.
void windowEvent(const SDL_WindowEvent& event) {
    switch (event.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED: setKeyboardFocus(true); break;
    case SDL_WINDOWEVENT_FOCUS_LOST: setKeyboardFocus(false); break;
    case SDL_WINDOWEVENT_CLOSE: shutdownAndExit();
    case SDL_WINDOWEVENT_MOVED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_DISPLAY_CHANGED: followDisplay(); break;
    default: break;
    }
}

// A file dropped onto the window; the driver loads it between two frames.
// Dropped text is not wanted, but its copy is ours to free; the drop's
// begin and end carry none.
void dropEvent(SDL_DropEvent& event) {
    if (event.file && event.type == SDL_DROPFILE) acceptDrop(event.file);
    SDL_free(event.file);
}

void handleEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
        case SDL_QUIT: shutdownAndExit();
        case SDL_KEYDOWN:
        case SDL_KEYUP: recordKey(event.key); break;
        case SDL_WINDOWEVENT: windowEvent(event.window); break;
        case SDL_DROPBEGIN:
        case SDL_DROPFILE:
        case SDL_DROPTEXT:
        case SDL_DROPCOMPLETE: dropEvent(event.drop); break;
        case SDL_CONTROLLERDEVICEADDED: openPad(event.cdevice.which); break;
        case SDL_CONTROLLERDEVICEREMOVED: closePad(event.cdevice.which); break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP: padButton(event.cbutton); break;
        case SDL_CONTROLLERAXISMOTION: padAxis(event.caxis); break;
        default: break;
        }
    }
    if (applyKeyEvents()) sdl.keyPending = true;
    if (sdl.keyPending) {
        sdl.keyPending = false;
        sdl.keyInFrame = true;
    }
}

// Pacing ------------------------------------------------------------------

void sleepUntil(uint64_t deadline) {
    for (;;) {
        const uint64_t now = steadyMicros();
        if (now >= deadline) return;
        const uint64_t left = deadline - now;
        if (left > 2000) {
            SDL_Delay(static_cast<Uint32>((left - 1000) / 1000));
        } else {
            timespec pause{0, static_cast<long>(left * 1000)};
            nanosleep(&pause, nullptr);
        }
    }
}

// How frames are paced on the window's display: up to 75 Hz one board
// frame per refresh where presents wait for it, above 75 Hz each frame shown
// until its deadline at 60 frames a second, and where presents do not wait
// the steady clock at the display's rate (60 frames a second where it names
// none).
void decidePacing() {
    sdl.lockedToDisplay = sdl.vsync && lockedToRefresh(refreshRate);
    sdl.refreshMicros = 256000000u / (refreshRate ? refreshRate : 60 * 256);
    startPacer(refreshRate, steadyMicros());
    if (!sdl.vsync) {
        consolePrintf("Frames paced at %.3fHz on the steady clock\n",
                      static_cast<double>(framePacer.rateHz256) / 256.0);
    }
}

// Presents timed one after another, the window shown: a driver may accept
// the swap interval and ignore it, or the display may run at another rate
// than the one it names. Either way the steady clock paces instead, and the
// renderer stops waiting for the display (a present that still waited would
// come a refresh after the deadline).
constexpr int presentsTimed = 8;

// They wait when they take about a refresh each, the middle one between 3/4
// and 3/2 of a refresh: the first presents of a swap chain may return at
// once while its buffers are free, and a busy machine delays a few.
bool presentsTakeARefresh(uint64_t (&micros)[presentsTimed], uint64_t refreshMicros) {
    std::nth_element(micros, micros + presentsTimed / 2, micros + presentsTimed);
    const uint64_t middle = micros[presentsTimed / 2];
    return middle * 4 >= refreshMicros * 3 && middle * 2 <= refreshMicros * 3;
}

void checkPresentsWait() {
    sdl.checkPresents = false;
    if (!sdl.vsync) return;
    uint64_t took[presentsTimed];
    uint64_t total = 0;
    for (uint64_t& micros : took) {
        const uint64_t before = steadyMicros();
        presentWithRenderer();
        micros = steadyMicros() - before;
        total += micros;
    }
    if (presentsTakeARefresh(took, sdl.refreshMicros)) return;
    consolePrintf("Presents do not wait for the display (%.2f ms each, a refresh %.2f ms)\n",
                  static_cast<double>(total) / presentsTimed / 1000.0,
                  static_cast<double>(sdl.refreshMicros) / 1000.0);
    SDL_RenderSetVSync(sdl.renderer, 0);
    sdl.vsync = false;
    decidePacing();
}

// Up to 75 Hz one board frame per refresh, the present waiting for the
// display. A faster display shows each board frame for as many refreshes as
// fit before its deadline on the steady clock, 60 board frames a second:
// one frame per refresh would run the game too fast. Where presents do not
// wait (a virtual display, the window surface), each frame waits for its
// deadline on the steady clock; a late frame moves the deadlines on instead
// of bursting to catch up.
void pacingStep() {
    if (sdl.lockedToDisplay) {
        present();
    } else if (sdl.vsync) {
        const uint64_t now = steadyMicros();
        const uint64_t deadline = now + pacerWaitMicros(now);
        present();
        while (steadyMicros() + sdl.refreshMicros / 2 < deadline)
            present();
    } else {
        const uint64_t now = steadyMicros();
        sleepUntil(now + pacerWaitMicros(now));
        present();
    }
    if (++sdl.framesRun == 1) sdl.firstFrameMicros = steadyMicros();
    // The window moved to a display whose presents are still to be timed.
    if (sdl.checkPresents) checkPresentsWait();
    runPadScript(sdl.framesRun);
    if (sdl.config.onFrame) sdl.config.onFrame(sdl.framesRun);
    // On the steady clock the keys are read a quarter of a frame before the
    // next deadline rather than straight after this present: a key pressed
    // meanwhile still reaches the next frame, whose work takes far less.
    if (!sdl.lockedToDisplay && !sdl.vsync) {
        sleepUntil(framePacer.nextDeadline -
                   std::min(framePacer.nextDeadline, framePacer.periodMicros / 4));
    }
    handleEvents();
}

// The refresh measurement's reads: the audio ring's play position, counted
// from the sample frames the device has taken, and a present that waits for
// the display's next refresh.
bool audioRingPosition(uint32_t* bytes) {
    *bytes = static_cast<uint32_t>((audio.framesPlayed.load() * audioFrameBytes) % audioRingBytes);
    return true;
}

bool presentAndWait() {
    if (!sdl.vsync) return false;
    const uint64_t before = steadyMicros();
    present();
    // A present that returns within a millisecond did not wait for anything.
    return steadyMicros() - before > 1000;
}

uint64_t probeMicros() { return steadyMicros(); }

bool desktopHeight(uint32_t* lines) {
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(sdl.display, &mode) != 0) return false;
    *lines = static_cast<uint32_t>(mode.h);
    return true;
}

// Audio -------------------------------------------------------------------

// Nothing is ever played: the stream runs for its clock, the count of sample
// frames the device has taken.
void fillSilence(void*, Uint8* stream, int length) {
    std::memset(stream, 0, static_cast<size_t>(length));
    audio.framesPlayed += static_cast<uint64_t>(length) / audioFrameBytes;
}

SDL_AudioDeviceID openSilentStream(SDL_AudioSpec& granted) {
    SDL_AudioSpec wanted{};
    wanted.freq = static_cast<int>(audioSampleRate);
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = 256;
    wanted.callback = fillSilence;
    return SDL_OpenAudioDevice(nullptr, 0, &wanted, &granted, 0);
}

// With no sound device the program runs on SDL's dummy driver, whose clock
// only approximates a device's.
void openAudio() {
    SDL_AudioSpec granted{};
    SDL_AudioDeviceID device = 0;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) device = openSilentStream(granted);
    if (!device) {
        consolePrintf("No sound device (%s): the silent stream runs on SDL's dummy driver\n",
                      SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        if (SDL_AudioInit("dummy") == 0) device = openSilentStream(granted);
        if (!device) host.fatalError("Can't open the audio stream!");
    }
    audio.device = device;
    consolePrintf("Sound: %dHz, %dbit, %d channels\n", granted.freq,
                  static_cast<int>(SDL_AUDIO_BITSIZE(granted.format)),
                  static_cast<int>(granted.channels));
    consolePrintf("Audiobuffer size: 0x%X\n", audioRingBytes);
    const char* driver = SDL_GetCurrentAudioDriver();
    if (driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "disk") == 0)) {
        consolePrintf("Auido driver not found, sound is EMULATED!\n");
    }
    SDL_PauseAudioDevice(device, 0);
}

// Video -------------------------------------------------------------------

bool rendererWaits() {
    SDL_RendererInfo info{};
    return SDL_GetRendererInfo(sdl.renderer, &info) == 0 &&
           (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
}

// Where the display has a vertical blank to wait for, an accelerated
// renderer waits for it (the software one where there is no accelerated
// one). Where it has none (a virtual display), the window's own surface is
// the cheapest 1:1 copy. The surface and the software renderer are told not
// to go through a hidden accelerated renderer of SDL's own.
void createPresenter(PresentWay way, bool wantVsync) {
    if (way == PresentWay::automatic) {
        way = wantVsync ? PresentWay::accelerated : PresentWay::surface;
    }
    if (way != PresentWay::accelerated) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (way == PresentWay::surface) return;
    const Uint32 vsyncFlag = wantVsync ? SDL_RENDERER_PRESENTVSYNC : 0;
    // Said outright: SDL's software renderer otherwise imitates a
    // vertical-blank wait with a coarse sleep of its own.
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, wantVsync ? "1" : "0");
    if (way == PresentWay::accelerated) {
        sdl.renderer = SDL_CreateRenderer(sdl.window, -1, SDL_RENDERER_ACCELERATED | vsyncFlag);
    }
    if (!sdl.renderer) {
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        sdl.renderer = SDL_CreateRenderer(sdl.window, -1, SDL_RENDERER_SOFTWARE | vsyncFlag);
    }
    if (!sdl.renderer) host.fatalError("Can't create Primary Surface!");
    sdl.vsync = wantVsync && rendererWaits();
}

// The back buffer covers the display (at least the size asked for, at most
// the largest the hosts make); the streaming texture is the back buffer's
// size.
ScreenSize backBufferFor(const SDL_DisplayMode& mode) {
    const auto cover = [](int shown, uint32_t least, uint32_t most) {
        return std::min(std::max(static_cast<uint32_t>(std::max(shown, 0)), least), most);
    };
    return ScreenSize{cover(mode.w, sdl.config.minimumWidth, maximumScreenWidth),
                      cover(mode.h, sdl.config.minimumHeight, maximumScreenHeight)};
}

void makeBackBuffer(ScreenSize size) {
    screenWidth = size.width;
    screenHeight = size.height;
    sizeMemoryBackBuffer();
    if (!sdl.renderer) return;
    if (sdl.texture) SDL_DestroyTexture(sdl.texture);
    sdl.texture =
        SDL_CreateTexture(sdl.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                          static_cast<int>(screenWidth), static_cast<int>(screenHeight));
    if (!sdl.texture) host.fatalError("Can't create Back-Buffer Surface!");
}

// The rate the display names, 0 where it names none (a virtual display).
uint32_t namedRate(const SDL_DisplayMode& mode) {
    return mode.refresh_rate > 0 ? static_cast<uint32_t>(mode.refresh_rate) : 0;
}

// The window's display names another rate: the renderer waits for its
// vertical blank where it names one, timed again before it is trusted.
void followRate(uint32_t hz) {
    monitorHz = hz;
    refreshRate = fallbackRefreshRate();
    if (sdl.renderer) {
        sdl.vsync = hz > 0 && SDL_RenderSetVSync(sdl.renderer, 1) == 0 && rendererWaits();
        if (!sdl.vsync) SDL_RenderSetVSync(sdl.renderer, 0);
        sdl.checkPresents = sdl.vsync;
    }
    decidePacing();
}

// The window reached another display, or its display another mode: the
// back buffer follows its size, the pacing its rate.
void followDisplay() {
    const int index = std::max(SDL_GetWindowDisplayIndex(sdl.window), 0);
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(index, &mode) != 0) return;
    const ScreenSize size = backBufferFor(mode);
    const bool resized = size.width != screenWidth || size.height != screenHeight;
    const uint32_t hz = namedRate(mode);
    if (index == sdl.display && !resized && hz == monitorHz) return;
    sdl.display = index;
    consolePrintf("Display %d: %dx%d, %dHz\n", index, mode.w, mode.h, static_cast<int>(hz));
    if (resized) makeBackBuffer(size);
    if (hz != monitorHz) followRate(hz);
}

} // namespace

void sdlMonitorIdle() {
    const uint64_t deadline = steadyMicros() + framePacer.periodMicros;
    present();
    handleEvents();
    sleepUntil(deadline);
}

const char* sdlPacing() {
    if (sdl.lockedToDisplay) return "display";
    return sdl.vsync ? "display, 60 frames/s" : "steady clock";
}

uint64_t steadyMicros() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void startSdlHost(const SdlHostConfig& config) {
    sdl.config = config;
    host = HostOps{lockMemoryBackBuffer,
                   unlockMemoryBackBuffer,
                   clearMemoryBackBuffer,
                   sizeClient,
                   showWindow,
                   pacingStep,
                   muteAudio,
                   writePngFile,
                   pathExists,
                   fatalError,
                   shutdownAndExit,
                   consoleOut};
    installFileStateStore();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_GAMECONTROLLER) != 0) {
        std::fprintf(stderr, "korvalo: %s\n", SDL_GetError());
        host.fatalError("Can't open the display!");
    }
    sdl.videoUp = true;
    sdl.window = SDL_CreateWindow(windowTitle, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                  960, 769, SDL_WINDOW_HIDDEN);
    if (!sdl.window) host.fatalError("Can't create the window!");
    sdl.display = std::max(SDL_GetWindowDisplayIndex(sdl.window), 0);
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(sdl.display, &mode) != 0) {
        host.fatalError("Can't get Display Parameters!");
    }
    consolePrintf("Screen size: %dx%d\n", mode.w, mode.h);
    // A display that names no rate (a virtual one) gets no vertical-blank
    // wait: SDL would only imitate one with a coarse sleep.
    monitorHz = namedRate(mode);
    createPresenter(config.way, monitorHz > 0);
    makeBackBuffer(backBufferFor(mode));
    consolePrintf("\n");
    openAudio();
    // The emulation thread runs at a raised priority where the system allows
    // it (as root, or through the desktop's real-time service); the result
    // is not examined.
    SDL_SetThreadPriority(SDL_THREAD_PRIORITY_HIGH);
    const bool measured = measureRefreshByFrames(
        FrameClockProbe{presentAndWait, audioRingPosition, probeMicros, desktopHeight});
    reportRefresh(measured);
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
    consolePrintf("Timer Period Min - %dms\n", 1);
    consolePrintf("QPFrequency = %uHz\n", static_cast<uint32_t>(SDL_GetPerformanceFrequency()));
    consolePrintf("CPU Mode: Pure\n");
    muteAudio();
    decidePacing();
}

// Virtual pad ---------------------------------------------------------------

bool attachVirtualPad() {
    if (virtualPadIndex >= 0) return true;
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
    desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
    desc.name = "Korvalo virtual pad";
    virtualPadIndex = SDL_JoystickAttachVirtualEx(&desc);
    if (virtualPadIndex < 0) return false;
    virtualPad = SDL_JoystickOpen(virtualPadIndex);
    return virtualPad != nullptr;
}

void detachVirtualPad() {
    if (virtualPadIndex < 0) return;
    if (virtualPad) SDL_JoystickClose(virtualPad);
    virtualPad = nullptr;
    SDL_JoystickDetachVirtual(virtualPadIndex);
    virtualPadIndex = -1;
}

void setVirtualPadButton(int button, bool down) {
    if (virtualPad) SDL_JoystickSetVirtualButton(virtualPad, button, down ? 1 : 0);
}

void setVirtualPadAxis(int axis, int value) {
    if (virtualPad) SDL_JoystickSetVirtualAxis(virtualPad, axis, static_cast<Sint16>(value));
}

namespace {

struct PadButtonName {
    const char* name;
    int button;
};

constexpr PadButtonName padButtonNames[] = {
    {"Up", SDL_CONTROLLER_BUTTON_DPAD_UP},
    {"Down", SDL_CONTROLLER_BUTTON_DPAD_DOWN},
    {"Left", SDL_CONTROLLER_BUTTON_DPAD_LEFT},
    {"Right", SDL_CONTROLLER_BUTTON_DPAD_RIGHT},
    {"A", SDL_CONTROLLER_BUTTON_A},
    {"B", SDL_CONTROLLER_BUTTON_B},
    {"X", SDL_CONTROLLER_BUTTON_X},
    {"Start", SDL_CONTROLLER_BUTTON_START},
};

bool parseInt(const std::string& text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && value >= low && value <= high;
}

bool parsePadEvent(const std::string& text, PadScriptEvent& event) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    long number = 0;
    if (parts.size() < 2 || !parseInt(parts[0], 0, 0x7FFFFFFF, number)) return false;
    event = PadScriptEvent{static_cast<uint32_t>(number), 0, 0, false, 0, 0};
    if (parts.size() == 2 && (parts[1] == "attach" || parts[1] == "detach")) {
        event.action = parts[1][0];
        return true;
    }
    if (parts.size() == 3 && (parts[1] == "down" || parts[1] == "up")) {
        for (const PadButtonName& name : padButtonNames) {
            if (parts[2] != name.name) continue;
            event.action = 'b';
            event.button = name.button;
            event.down = parts[1] == "down";
            return true;
        }
        return false;
    }
    long x = 0, y = 0;
    if (parts.size() == 4 && parts[1] == "stick" && parseInt(parts[2], -32768, 32767, x) &&
        parseInt(parts[3], -32768, 32767, y)) {
        event.action = 's';
        event.x = static_cast<int>(x);
        event.y = static_cast<int>(y);
        return true;
    }
    return false;
}

void runPadScript(uint32_t framesRun) {
    while (padScriptNext < padScript.size() && padScript[padScriptNext].frame <= framesRun) {
        const PadScriptEvent& event = padScript[padScriptNext++];
        switch (event.action) {
        case 'a':
            if (!attachVirtualPad()) consolePrintf("Virtual pad: %s\n", SDL_GetError());
            break;
        case 'd': detachVirtualPad(); break;
        case 'b': setVirtualPadButton(event.button, event.down); break;
        default:
            setVirtualPadAxis(SDL_CONTROLLER_AXIS_LEFTX, event.x);
            setVirtualPadAxis(SDL_CONTROLLER_AXIS_LEFTY, event.y);
            break;
        }
    }
}

} // namespace

bool setVirtualPadScript(const char* script, std::string& error) {
    padScript.clear();
    padScriptNext = 0;
    const std::string text(script);
    size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma - start);
        PadScriptEvent event;
        if (!parsePadEvent(item, event)) {
            error = "--virtual-pad: can't read \"" + item + "\"";
            return false;
        }
        padScript.push_back(event);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::stable_sort(
        padScript.begin(), padScript.end(),
        [](const PadScriptEvent& a, const PadScriptEvent& b) { return a.frame < b.frame; });
    return true;
}
