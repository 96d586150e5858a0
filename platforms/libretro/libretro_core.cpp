// Korvalo as a libretro core: the frontend calls retro_run once per board
// frame, and this host hands it the composed picture, a frame of silence and
// the console lines, and takes the RetroPad and the keyboard as the cabinet's
// controls.
//
// The host record: the back buffer is plain memory (as the headless host's),
// nothing is paced, console lines go to the frontend's log. Screenshots and
// full screen belong to the frontend; only the cabinet keys and the restart
// keys reach the board, so the program's own hot keys never fire here.
#include "platforms/libretro/libretro_api.h"

#include "cpu/z80.h"
#include "display/present.h"
#include "host/gamepad.h"
#include "host/host.h"
#include "host/keycodes.h"
#include "machines/tiamc/rewind.h"
#include "machines/tiamc/state.h"
#include "machines/tiamc/tiamc.h"
#include "platforms/common/version.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

retro_environment_t environment;
retro_video_refresh_t videoRefresh;
retro_audio_sample_batch_t audioBatch;
retro_input_poll_t inputPoll;
retro_input_state_t inputState;
retro_log_printf_t frontendLog;

constexpr double framesPerSecond = 60.0;
constexpr double sampleRate = 48000.0;
constexpr size_t samplesPerFrame = 800; // 48000 / 60, stereo frames
constexpr unsigned largestWidth = 960;
constexpr unsigned largestHeight = 768;

bool gameLoaded;
size_t stateSize;
bool bitmasks;

// The picture the frontend is shown: one of the program's scale presets
// (with its scanline look), or the board's own 512 x 256 host pixels.
struct PictureChoice {
    const char* value; // of the option
    uint8_t preset;    // the preset composed into the back buffer
    unsigned width, height;
    float aspect;
    bool unscaled;
};

// The scaled pictures keep the program's square host pixels; the unscaled
// board picture is shown at 5:4, the shape of the 960 x 768 preset, so that
// switching to it does not change the picture's shape on the screen.
constexpr PictureChoice pictureChoices[] = {
    {"960x768", 3, 960, 768, 960.0f / 768.0f, false},
    {"512x512", 1, 512, 512, 1.0f, false},
    {"640x512", 12, 640, 512, 640.0f / 512.0f, false},
    {"512x256 unscaled", 1, 512, 256, 5.0f / 4.0f, true},
};

constexpr const char* lookValues[] = {"black", "smooth", "double lines"};

const PictureChoice* picture = &pictureChoices[0];
unsigned shownWidth, shownHeight;

constexpr retro_variable variables[] = {
    {"korvalo_picture", "Picture size; 960x768|512x512|640x512|512x256 unscaled"},
    {"korvalo_scanlines", "Scanlines (640x512); black|smooth|double lines"},
    {nullptr, nullptr},
};

void logLine(retro_log_level level, const char* text) {
    if (frontendLog) {
        frontendLog(level, "%s", text);
    } else {
        std::fputs(text, stderr);
    }
}

// Host record -------------------------------------------------------------

void sizeClient(uint32_t, uint32_t) {}
void showWindow() {}
void pacingStep() {}
void muteAudio() {}
bool refusePng(const char*, const uint32_t*, uint32_t, uint32_t, int32_t) { return false; }
bool noFile(const char*) { return false; }

// The frontend cannot be left running on a machine that could not start:
// the message goes to its log, then the process ends.
[[noreturn]] void fatalError(const char* message) {
    logLine(RETRO_LOG_ERROR, (std::string("System Error! ") + message + "\n").c_str());
    std::abort();
}

[[noreturn]] void shutdownAndExit() {
    logLine(RETRO_LOG_ERROR, "Korvalo: the board asked to end the program\n");
    std::abort();
}

void consoleOut(const char* text) { logLine(RETRO_LOG_INFO, text); }

void fillHostRecord() {
    screenWidth = minimumScreenWidth;
    screenHeight = minimumScreenHeight;
    sizeMemoryBackBuffer();
    keyboardCaptured = true;
    host = HostOps{lockMemoryBackBuffer,
                   unlockMemoryBackBuffer,
                   clearMemoryBackBuffer,
                   sizeClient,
                   showWindow,
                   pacingStep,
                   muteAudio,
                   refusePng,
                   noFile,
                   fatalError,
                   shutdownAndExit,
                   consoleOut};
}

// Options -----------------------------------------------------------------

const char* variableValue(const char* key) {
    retro_variable variable{key, nullptr};
    if (!environment || !environment(retroEnvGetVariable, &variable)) return nullptr;
    return variable.value;
}

void announceGeometry() {
    retro_game_geometry geometry{picture->width, picture->height, largestWidth, largestHeight,
                                 picture->aspect};
    environment(retroEnvSetGeometry, &geometry);
}

// Takes the options' values; a changed picture is composed afresh into a
// black back buffer, and a changed size is told to the frontend.
void applyOptions(bool announce) {
    const PictureChoice* chosen = &pictureChoices[0];
    if (const char* value = variableValue("korvalo_picture")) {
        for (const PictureChoice& choice : pictureChoices) {
            if (std::strcmp(value, choice.value) == 0) chosen = &choice;
        }
    }
    uint8_t look = 0;
    if (const char* value = variableValue("korvalo_scanlines")) {
        for (uint8_t i = 0; i < 3; ++i) {
            if (std::strcmp(value, lookValues[i]) == 0) look = i;
        }
    }
    if (chosen->preset != scalePreset || look != scanlineMode) clearBackBuffer();
    picture = chosen;
    scalePreset = chosen->preset;
    scanlineMode = look;
    resizeClient(chosen->width, chosen->height);
    if (announce && (chosen->width != shownWidth || chosen->height != shownHeight))
        announceGeometry();
    shownWidth = chosen->width;
    shownHeight = chosen->height;
}

// Input -------------------------------------------------------------------

struct KeyRoute {
    unsigned retroKey;
    uint8_t code;
};

// The cabinet's keys and the three restart keys.
constexpr KeyRoute keyRoutes[] = {
    {retroKeyUp, upArrowKey},
    {retroKeyDown, downArrowKey},
    {retroKeyLeft, leftArrowKey},
    {retroKeyRight, rightArrowKey},
    {retroKeySpace, spaceKey},
    {retroKeyLeftCtrl, leftCtrlKey},
    {retroKeyT, tKey},
    {retroKeyReturn, enterKey},
    {retroKeyPrint, printScreenKey},
    {retroKeyScrollLock, scrollLockKey},
    {retroKeyPause, pauseKey},
};
constexpr size_t keyRouteCount = sizeof keyRoutes / sizeof keyRoutes[0];

// Held by the keyboard callback, and what the last frame saw of each key.
bool callbackHeld[keyRouteCount];
bool heldBefore[keyRouteCount];

struct PadRoute {
    unsigned button;
    PadControl control;
};

constexpr PadRoute padRoutes[] = {
    {retroJoypadUp, padUp},       {retroJoypadDown, padDown},   {retroJoypadLeft, padLeft},
    {retroJoypadRight, padRight}, {retroJoypadB, padA},         {retroJoypadA, padB},
    {retroJoypadY, padX},         {retroJoypadStart, padStart},
};

constexpr retro_input_descriptor inputDescriptors[] = {
    {0, retroDeviceJoypad, 0, retroJoypadUp, "Up"},
    {0, retroDeviceJoypad, 0, retroJoypadDown, "Down"},
    {0, retroDeviceJoypad, 0, retroJoypadLeft, "Left"},
    {0, retroDeviceJoypad, 0, retroJoypadRight, "Right"},
    {0, retroDeviceJoypad, 0, retroJoypadB, "Fire (Space)"},
    {0, retroDeviceJoypad, 0, retroJoypadA, "Bomb (Left Ctrl)"},
    {0, retroDeviceJoypad, 0, retroJoypadY, "Pause (T)"},
    {0, retroDeviceJoypad, 0, retroJoypadStart, "Start (Enter)"},
    {0, retroDeviceAnalog, retroAnalogLeftStick, retroAnalogX, "Move left/right"},
    {0, retroDeviceAnalog, retroAnalogLeftStick, retroAnalogY, "Move up/down"},
    {0, 0, 0, 0, nullptr},
};

void keyboardEvent(bool down, unsigned keycode, uint32_t, uint16_t) {
    for (size_t i = 0; i < keyRouteCount; ++i) {
        if (keyRoutes[i].retroKey == keycode) callbackHeld[i] = down;
    }
}

// The frame's keys into the live key array, as a keyboard host writes them:
// a Pause press through pressPause, which holds it for a few frames.
void readKeyboard() {
    for (size_t i = 0; i < keyRouteCount; ++i) {
        const KeyRoute& route = keyRoutes[i];
        const bool held =
            callbackHeld[i] || inputState(0, retroDeviceKeyboard, 0, route.retroKey) != 0;
        if (route.code == pauseKey) {
            if (held && !heldBefore[i]) pressPause();
        } else {
            liveKeys[route.code].store(held ? 0x80 : 0, std::memory_order_relaxed);
        }
        heldBefore[i] = held;
    }
}

void readPad() {
    int buttons = 0;
    if (bitmasks) {
        buttons = inputState(0, retroDeviceJoypad, 0, retroJoypadMask);
    } else {
        for (const PadRoute& route : padRoutes) {
            if (inputState(0, retroDeviceJoypad, 0, route.button)) buttons |= 1 << route.button;
        }
    }
    for (const PadRoute& route : padRoutes)
        setPadControl(0, route.control, (buttons >> route.button) & 1);
    setPadStick(0, inputState(0, retroDeviceAnalog, retroAnalogLeftStick, retroAnalogX),
                inputState(0, retroDeviceAnalog, retroAnalogLeftStick, retroAnalogY));
}

// Frame out ---------------------------------------------------------------

// The picture as composed into the back buffer. The unscaled board picture
// is the 512 x 512 preset's even rows: renderFrame's lines copied as drawn.
void presentPicture() {
    BackBufferLock lock;
    if (!host.lockBackBuffer(&lock)) return;
    if (picture->unscaled) {
        const uint32_t* origin = centredOrigin(lock, 512, 512);
        videoRefresh(origin, 512, 256, static_cast<size_t>(lock.pitch) * 2);
    } else {
        const uint32_t* origin = centredOrigin(lock, picture->width, picture->height);
        videoRefresh(origin, picture->width, picture->height, static_cast<size_t>(lock.pitch));
    }
    host.unlockBackBuffer();
}

void playSilence() {
    static const int16_t silence[samplesPerFrame * 2] = {};
    size_t left = samplesPerFrame;
    while (left > 0) {
        const size_t taken = audioBatch(silence, left);
        if (taken == 0) break;
        left -= taken < left ? taken : left;
    }
}

// The board as a fresh process finds it: a second game loaded into the same
// process starts exactly as the first did.
void resetMachineGlobals() {
    static const TiaBoard freshBoard{};
    tiaBoard = freshBoard;
    cpuCore = CpuCore{};
    std::memset(keysNow, 0, sizeof keysNow);
    std::memset(keysPrev, 0, sizeof keysPrev);
    releaseAllKeys();
    releasePad(0);
    std::memset(callbackHeld, 0, sizeof callbackHeld);
    std::memset(heldBefore, 0, sizeof heldBefore);
    dropPending = false;
    frameInputs = hostFrameInputs;
    // The frontend keeps its own rewind; the machine's ring would only cost
    // a state per frame.
    rewindFrameLimit = 0;
}

} // namespace

extern "C" {

void retro_set_environment(retro_environment_t callback) {
    environment = callback;
    // Called again after loading with requests ignored: the log interface
    // obtained the first time stays.
    retro_log_callback logging{nullptr};
    if (callback(retroEnvGetLogInterface, &logging) && logging.log) frontendLog = logging.log;
    bool noGame = false;
    callback(retroEnvSetSupportNoGame, &noGame);
    callback(retroEnvSetVariables, const_cast<retro_variable*>(variables));
}

void retro_set_video_refresh(retro_video_refresh_t callback) { videoRefresh = callback; }
void retro_set_audio_sample(retro_audio_sample_t) {}
void retro_set_audio_sample_batch(retro_audio_sample_batch_t callback) { audioBatch = callback; }
void retro_set_input_poll(retro_input_poll_t callback) { inputPoll = callback; }
void retro_set_input_state(retro_input_state_t callback) { inputState = callback; }

void retro_init(void) {}
void retro_deinit(void) { frontendLog = nullptr; }

unsigned retro_api_version(void) { return retroApiVersion; }

void retro_get_system_info(retro_system_info* info) {
    *info = retro_system_info{"Korvalo", programVersion, "tia", false, false};
}

void retro_get_system_av_info(retro_system_av_info* info) {
    info->geometry = retro_game_geometry{picture->width, picture->height, largestWidth,
                                         largestHeight, picture->aspect};
    info->timing = retro_system_timing{framesPerSecond, sampleRate};
}

void retro_set_controller_port_device(unsigned, unsigned) {}

// As the restart keys do: the program starts again at address 0 with
// interrupts off; memory and the picture registers keep their contents.
void retro_reset(void) {
    if (!gameLoaded) return;
    restartAtZero();
    cpuCore.iff = 0;
}

void retro_run(void) {
    bool updated = false;
    if (environment(retroEnvGetVariableUpdate, &updated) && updated) applyOptions(true);
    inputPoll();
    readKeyboard();
    readPad();
    runTiaFrame();
    presentPicture();
    playSilence();
}

size_t retro_serialize_size(void) { return stateSize; }

bool retro_serialize(void* data, size_t size) {
    if (!gameLoaded) return false;
    const std::vector<uint8_t> state = saveMachineState();
    if (state.empty() || state.size() > size) return false;
    std::memcpy(data, state.data(), state.size());
    std::memset(static_cast<uint8_t*>(data) + state.size(), 0, size - state.size());
    return true;
}

bool retro_unserialize(const void* data, size_t size) {
    if (!gameLoaded) return false;
    std::string error;
    if (!loadMachineState(static_cast<const uint8_t*>(data), size < stateSize ? size : stateSize,
                          error)) {
        logLine(RETRO_LOG_WARN, ("Can't load state: " + error + "\n").c_str());
        return false;
    }
    return true;
}

void retro_cheat_reset(void) {}
void retro_cheat_set(unsigned, bool, const char*) {}

bool retro_load_game(const retro_game_info* game) {
    if (!game || !game->data) {
        logLine(RETRO_LOG_ERROR, "Korvalo needs a ROM set (.tia) to run\n");
        return false;
    }
    int format = retroPixelFormatXrgb8888;
    if (!environment(retroEnvSetPixelFormat, &format)) {
        logLine(RETRO_LOG_ERROR, "Korvalo: the frontend cannot show XRGB8888 pictures\n");
        return false;
    }
    environment(retroEnvSetInputDescriptors, const_cast<retro_input_descriptor*>(inputDescriptors));
    retro_keyboard_callback keyboard{keyboardEvent};
    environment(retroEnvSetKeyboardCallback, &keyboard);
    bitmasks = environment(retroEnvGetInputBitmasks, nullptr);

    resetMachineGlobals();
    fillHostRecord();
    loadRomSetBytes(static_cast<const uint8_t*>(game->data), game->size);
    startLoadedTiaMachine();
    applyOptions(false);
    stateSize = saveMachineState().size();
    gameLoaded = true;
    return true;
}

bool retro_load_game_special(unsigned, const retro_game_info*, size_t) { return false; }

void retro_unload_game(void) {
    gameLoaded = false;
    stateSize = 0;
}

unsigned retro_get_region(void) { return 0; }

void* retro_get_memory_data(unsigned id) {
    if (id != retroMemorySystemRam || !gameLoaded) return nullptr;
    return tiaBoard.boardMemory + 0xC000;
}

size_t retro_get_memory_size(unsigned id) {
    if (id != retroMemorySystemRam || !gameLoaded) return 0;
    return sizeof tiaBoard.boardMemory - 0xC000;
}

} // extern "C"
