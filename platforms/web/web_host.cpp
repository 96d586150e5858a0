// The browser host. The back buffer lives in the module's memory; each
// frame's paint converts the centred client rectangle to the canvas's byte
// order and the page puts it on the canvas. Keys, focus and game pads come
// through emscripten's HTML5 API; the page's own script (korvalo_page.js)
// supplies the canvas, the console panel, the monitor's command line,
// downloads and full screen.
#include "platforms/web/web_host.h"

#include "host/gamepad.h"
#include "host/host.h"
#include "host/statestore.h"
#include "machines/tiamc/monitor.h"
#include "machines/tiamc/rewind.h"
#include "machines/tiamc/tiamc.h"
#include "platforms/web/canvas_pixels.h"
#include "platforms/web/web_input.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <deque>
#include <set>
#include <string>
#include <utility>
#include <vector>

WebFrameTimes webFrameTimes;

std::string romSetHashText(uint64_t romSetHash) {
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, romSetHash);
    return text;
}

namespace {
std::vector<uint32_t> canvasPixels;
std::vector<uint32_t> shotPixels;
std::set<std::string> savedShots;
double handOverMs;
double conversionMs;
// Lines typed at the command line, waiting for the monitor.
std::deque<std::string> monitorLines;
// The command line has the focus: its keys are typed, not played.
bool typing;

// The page's side, in korvalo_page.js.
EM_JS(void, pagePaint, (const uint32_t* pixels, uint32_t width, uint32_t height),
      { Module.korvaloPage.paint(pixels, width, height); });
EM_JS(void, pageSize, (uint32_t width, uint32_t height),
      { Module.korvaloPage.size(width, height); });
EM_JS(void, pagePrint, (const char* text), { Module.korvaloPage.print(UTF8ToString(text)); });
EM_JS(void, pageSavePng,
      (const char* name, const uint32_t* pixels, uint32_t width, uint32_t height),
      { Module.korvaloPage.savePng(UTF8ToString(name), pixels, width, height); });
EM_JS(void, pageFullScreen, (int on), { Module.korvaloPage.fullScreen(on); });
EM_JS(int, pageTyping, (), { return Module.korvaloPage.typing() ? 1 : 0; });
EM_JS(void, pageHalt, (const char* message), {
    Module.korvaloPage.halt(UTF8ToString(message));
    throw "Korvalo halted";
});

// The state slots: the page keeps the current set's slots in memory, read
// from the browser's IndexedDB, and writes each one through to it.
EM_JS(void, pageSlotWrite, (const char* set, int slot, const uint8_t* data, size_t size),
      { Module.korvaloPage.slotWrite(UTF8ToString(set), slot, HEAPU8.slice(data, data + size)); });
EM_JS(int, pageSlotSize, (const char* set, int slot),
      { return Module.korvaloPage.slotSize(UTF8ToString(set), slot); });
EM_JS(void, pageSlotCopy, (const char* set, int slot, uint8_t* data),
      { Module.korvaloPage.slotCopy(UTF8ToString(set), slot, data); });

bool writeSlot(uint64_t romSetHash, uint8_t slot, const uint8_t* data, size_t size, std::string&) {
    pageSlotWrite(romSetHashText(romSetHash).c_str(), slot, data, size);
    return true;
}

bool readSlot(uint64_t romSetHash, uint8_t slot, std::vector<uint8_t>& data, std::string& error) {
    const std::string set = romSetHashText(romSetHash);
    const int size = pageSlotSize(set.c_str(), slot);
    if (size == -2) error = "the browser's storage is still being read";
    if (size < 0) return false;
    data.resize(size);
    pageSlotCopy(set.c_str(), slot, data.data());
    return true;
}

// The canvas is the client area; the full-screen flag is carried to the
// browser.
void sizeClient(uint32_t width, uint32_t height) {
    pageSize(width, clientAreaHeight(height));
    pageFullScreen(fullScreen);
}

void showWindow() {}

void muteAudio() {}

// The paint: the client rectangle, centred the way the picture is.
void pacingStep() {
    const double start = emscripten_get_now();
    const uint32_t width = clientWidth;
    const uint32_t height = clientAreaHeight(clientHeight);
    if (width == 0 || width > screenWidth || height > screenHeight) return;
    canvasPixels.resize(static_cast<size_t>(width) * height);
    BackBufferLock lock;
    lockMemoryBackBuffer(&lock);
    toCanvasPixels(centredOrigin(lock, width, height), lock.pitch, width, height,
                   canvasPixels.data());
    conversionMs = emscripten_get_now() - start;
    pagePaint(canvasPixels.data(), width, height);
    handOverMs = emscripten_get_now() - start;
}

bool encodePng(const char* path, const uint32_t* pixels, uint32_t width, uint32_t height,
               int32_t pitch) {
    shotPixels.resize(static_cast<size_t>(width) * height);
    toCanvasPixels(pixels, pitch, width, height, shotPixels.data());
    pageSavePng(path, shotPixels.data(), width, height);
    savedShots.insert(path);
    return true;
}

// Screenshots go to the browser's downloads, which the page cannot see: a
// name counts as taken once this session has offered it.
bool fileExists(const char* path) { return savedShots.count(path) != 0; }

void consoleOut(const char* text) { pagePrint(text); }

// The page stops; the message stays on the console panel.
[[noreturn]] void fatalError(const char* message) {
    consolePrintf("System Error! %s\n", message);
    pageHalt(message);
    __builtin_unreachable();
}

[[noreturn]] void shutdownAndExit() {
    pageHalt("");
    __builtin_unreachable();
}

EM_BOOL onKey(int eventType, const EmscriptenKeyboardEvent* event, void*) {
    if (typing) return EM_FALSE;
    const bool down = eventType == EMSCRIPTEN_EVENT_KEYDOWN;
    const uint8_t keyCode = keyCodeForDomCode(event->code);
    if (!(down && event->repeat)) webKeyEvent(keyCode, down);
    return keyWithheldFromPage(keyCode) ? EM_TRUE : EM_FALSE;
}

// The command line taking the focus is the game losing it. The page is
// asked which element has the focus: the window's own focus comes back
// before or after its element's, as the browser pleases.
EM_BOOL onFocus(int eventType, const EmscriptenFocusEvent*, void*) {
    const bool focused = eventType == EMSCRIPTEN_EVENT_FOCUS;
    typing = focused && pageTyping() != 0;
    webFocus(focused && !typing);
    return EM_FALSE;
}

// The monitor reads the lines typed so far, one at a time, echoed as the
// terminal echoes the lines it reads from a pipe; none waits for one.
MonitorLine nextMonitorLine(std::string& line) {
    if (monitorLines.empty()) return MonitorLine::none;
    line = std::move(monitorLines.front());
    monitorLines.pop_front();
    consolePrintf("> %s\n", line.c_str());
    return MonitorLine::line;
}

// While the monitor holds the machine: the held picture painted again, once
// per animation frame (the frame loop runs no more passes in an animation
// frame once one is held).
void monitorIdle() { pacingStep(); }

bool padConnected[padSlots];
} // namespace

void pollGamePads() {
    if (emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS) return;
    const int count = std::min(emscripten_get_num_gamepads(), padSlots);
    for (int pad = 0; pad < padSlots; ++pad) {
        EmscriptenGamepadEvent state;
        const bool connected =
            pad < count &&
            emscripten_get_gamepad_status(pad, &state) == EMSCRIPTEN_RESULT_SUCCESS &&
            state.connected;
        if (connected) {
            bool pressed[64];
            const int buttons = std::min(state.numButtons, 64);
            for (int b = 0; b < buttons; ++b)
                pressed[b] = state.digitalButton[b];
            webPadState(pad, pressed, buttons, state.axis, state.numAxes);
        } else if (padConnected[pad]) {
            webPadGone(pad);
        }
        padConnected[pad] = connected;
    }
}

void queueMonitorLine(const char* line) { monitorLines.emplace_back(line); }

// A pass the monitor holds is not timed: its time is the monitor's and the
// repaint's. The pass that ends the frame is, from the instruction it goes
// on from.
bool runWebFrame() {
    webBeforeFrame();
    const double start = emscripten_get_now();
    if (!frameHeld) beginTiaFrame();
    if (!runFrameInstructions()) return false;
    const double emulated = emscripten_get_now();
    handOverMs = 0;
    conversionMs = 0;
    endFrame(); // composition, then the paint
    const double end = emscripten_get_now();
    webFrameTimes.emulation += emulated - start;
    webFrameTimes.composition += end - emulated - handOverMs;
    webFrameTimes.handOver += handOverMs;
    webFrameTimes.conversion += conversionMs;
    ++webFrameTimes.frames;
    return true;
}

// The page's memory is a fixed 32 MB, the back buffer and the canvas's copy
// taking a third of it: the rewind ring keeps to 12 MB here, dropping its
// oldest states first where a game changes much of its state every frame.
constexpr size_t pageRewindMemory = size_t(12) << 20;

void startWebHost() {
    rewindMemoryLimit = pageRewindMemory;
    screenWidth = minimumScreenWidth;
    screenHeight = minimumScreenHeight;
    sizeMemoryBackBuffer();
    host = HostOps{lockMemoryBackBuffer,
                   unlockMemoryBackBuffer,
                   clearMemoryBackBuffer,
                   sizeClient,
                   showWindow,
                   pacingStep,
                   muteAudio,
                   encodePng,
                   fileExists,
                   fatalError,
                   shutdownAndExit,
                   consoleOut};
    stateStore = StateStoreOps{writeSlot, readSlot};
    monitorConsole = MonitorConsole{nextMonitorLine, monitorIdle};
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKey);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKey);
    emscripten_set_focus_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onFocus);
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onFocus);
    webFocus(EM_ASM_INT({ return document.hasFocus() ? 1 : 0; }) != 0);
}
