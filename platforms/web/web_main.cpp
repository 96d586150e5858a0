// The page's entry: the browser host is filled at once; the page's script
// fetches the first ROM set and starts the machine on it, then each
// animation frame runs the board frames the pacing asks for. The functions
// below are what the page's script calls.
#include "display/present.h"
#include "host/host.h"
#include "host/statestore.h"
#include "machines/tiamc/recording.h"
#include "machines/tiamc/state.h"
#include "machines/tiamc/tiamc.h"
#include "platforms/common/version.h"
#include "platforms/web/frame_clock.h"
#include "platforms/web/web_host.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

namespace {

bool started;
bool running; // the animation-frame loop is on
bool looping; // an animation-frame request is outstanding
FrameClock frameClock;
uint32_t framesRun;
std::string setHashText;
std::vector<uint8_t> stateBytes; // a state on its way to or from the page
bool recording;
uint32_t recordingStart;   // framesRun when the recording started
std::string recordingName; // the file it is offered as

// The recording's records go straight to the page, which gathers them outside
// the module's fixed memory; so do the picture hashes, while asked for.
EM_JS(void, pageRecordingWrite, (const uint8_t* bytes, size_t count),
      { Module.korvaloPage.recordingWrite(HEAPU8.subarray(bytes, bytes + count)); });
EM_JS(void, pagePictureHash, (const char* hash),
      { Module.korvaloPage.pictureHash(UTF8ToString(hash)); });

void writeRecording(const uint8_t* bytes, size_t count) { pageRecordingWrite(bytes, count); }

void hashToPage(uint64_t hash) {
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, hash);
    pagePictureHash(text);
}

EM_BOOL onAnimationFrame(double nowMs, void*) {
    if (!running) {
        looping = false;
        return EM_FALSE;
    }
    pollGamePads();
    for (int due = boardFramesDue(frameClock, nowMs); due > 0; --due) {
        if (!runWebFrame()) break; // held by the monitor: painted once
        ++framesRun;
    }
    return EM_TRUE;
}

void startLoop() {
    running = true;
    if (looping) return;
    looping = true;
    startFrameClock(frameClock);
    emscripten_request_animation_frame_loop(onAnimationFrame, nullptr);
}
} // namespace

int main() {
    startWebHost();
    consolePrintf("Korvalo %s (TIA-MC-Mode)\n", programVersion);
    return 0;
}

extern "C" {

// Starts the machine on the ROM set at path (a file the page has put in the
// module's file system); later calls load the set as a pick of the user's.
// run: start the animation-frame loop (0 leaves stepping to the caller).
EMSCRIPTEN_KEEPALIVE void korvaloStart(const char* path, int run) {
    if (!started) {
        started = true;
        startTiaMachine(path);
    }
    if (run) startLoop();
}

// A file dropped on the page, chosen with the file button or picked with a
// set button, handed to the driver as a dropped file: loaded between two
// frames. False while another waits (the page hands its files over one at a
// time) or when the path is too long.
EMSCRIPTEN_KEEPALIVE int korvaloDrop(const char* path) { return acceptDrop(path) ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE int korvaloDropPending() { return dropPending ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE int korvaloStarted() { return started ? 1 : 0; }

// The buttons: what Delete, Left Ctrl + Delete and Left Shift + Print Screen
// do, between two frames.
EMSCRIPTEN_KEEPALIVE void korvaloNextPreset() {
    clearBackBuffer();
    advanceScalePreset();
}

EMSCRIPTEN_KEEPALIVE void korvaloNextLook() {
    clearBackBuffer();
    advanceScanlineMode();
}

EMSCRIPTEN_KEEPALIVE void korvaloScreenshot() { takeScreenshot(); }

// The full-screen button asks; the browser reports what it did (the user may
// leave full screen with Esc).
EMSCRIPTEN_KEEPALIVE void korvaloToggleFullScreen() {
    fullScreen = !fullScreen;
    resizeClient(0, 0);
}

EMSCRIPTEN_KEEPALIVE void korvaloFullScreenChanged(int on) { fullScreen = on != 0; }

// Runs frames at once, without pacing (the tests and the benchmark); a
// frame the monitor holds ends the run (one pass of it, one repaint).
EMSCRIPTEN_KEEPALIVE void korvaloStep(int frames) {
    pollGamePads();
    for (int i = 0; i < frames && started; ++i) {
        if (!runWebFrame()) break;
        ++framesRun;
    }
}

// Enter at the command line: the line for the monitor.
EMSCRIPTEN_KEEPALIVE void korvaloMonitorLine(const char* line) { queueMonitorLine(line); }

EMSCRIPTEN_KEEPALIVE void korvaloRun(int run) {
    if (run) {
        startLoop();
    } else {
        running = false;
    }
}

// The frames run to their end (a frame the monitor holds is not counted).
EMSCRIPTEN_KEEPALIVE uint32_t korvaloFrames() { return framesRun; }

EMSCRIPTEN_KEEPALIVE double korvaloRefreshHz() { return frameClock.refreshHz; }

EMSCRIPTEN_KEEPALIVE int korvaloLockedToRefresh() {
    return frameClock.rateKnown ? (frameClock.lockedToRefresh ? 1 : 0) : -1;
}

EMSCRIPTEN_KEEPALIVE WebFrameTimes* korvaloFrameTimes() { return &webFrameTimes; }

// The running set's hash as the slots are keyed by it (16 hex digits).
EMSCRIPTEN_KEEPALIVE const char* korvaloRomSetHash() {
    setHashText = romSetHashText(tiaBoard.romSetHash);
    return setHashText.c_str();
}

EMSCRIPTEN_KEEPALIVE int korvaloStateSlot() { return stateSlot; }

// The download button: the current slot's state, else the running
// machine's state saved now (the page calls between two frames). 1 from the
// slot, 0 saved now, -1 none (no game running); the bytes are at
// korvaloStateBytes.
EMSCRIPTEN_KEEPALIVE int korvaloStateForDownload() {
    std::string error;
    if (stateStore.read(tiaBoard.romSetHash, stateSlot, stateBytes, error)) return 1;
    stateBytes = saveMachineState();
    return stateBytes.empty() ? -1 : 0;
}

// The load button: the page sizes the buffer, puts the file's bytes in it
// and asks for the load, done between two frames as F4's.
EMSCRIPTEN_KEEPALIVE uint8_t* korvaloStateBuffer(int size) {
    stateBytes.resize(size);
    return stateBytes.data();
}

EMSCRIPTEN_KEEPALIVE uint8_t* korvaloStateBytes() { return stateBytes.data(); }
EMSCRIPTEN_KEEPALIVE int korvaloStateSize() { return int(stateBytes.size()); }

EMSCRIPTEN_KEEPALIVE void korvaloLoadState() {
    requestStateLoad(stateBytes.data(), stateBytes.size());
}

// The record button, between two frames. A recording made here starts from
// the running machine as it is: its state, saved now, is the recording's
// first record, as a state loaded before the first frame is (a replay starts
// the machine on the set and loads it). 0 when none starts (one is running,
// or no game is).
EMSCRIPTEN_KEEPALIVE int korvaloStartRecording() {
    if (recording || !started) return 0;
    const std::vector<uint8_t> state = saveMachineState();
    if (state.empty()) return 0;
    recording = true;
    recordingStart = framesRun;
    recordingName = romSetHashText(tiaBoard.romSetHash) + ".kvr";
    startRecording(RecordingSink{writeRecording});
    noteStateLoad(state.data(), state.size());
    consolePrintf("Recording started\n");
    return 1;
}

// Pressed again: the end record written, the name to offer the recording as
// ("" when none was running).
EMSCRIPTEN_KEEPALIVE const char* korvaloEndRecording() {
    if (!recording) return "";
    endRecording();
    recording = false;
    consolePrintf("Recording ended at frame %u\nSaving %s\n", framesRun - recordingStart,
                  recordingName.c_str());
    return recordingName.c_str();
}

EMSCRIPTEN_KEEPALIVE int korvaloRecording() { return recording ? 1 : 0; }

// Each frame's picture hash to the page from now on (the tests compare them
// with a replay's), or no longer.
EMSCRIPTEN_KEEPALIVE void korvaloHashPictures(int on) { pictureHashed = on ? hashToPage : nullptr; }

EMSCRIPTEN_KEEPALIVE uint8_t korvaloScalePreset() { return scalePreset; }
EMSCRIPTEN_KEEPALIVE uint8_t korvaloScanlineMode() { return scanlineMode; }
}
