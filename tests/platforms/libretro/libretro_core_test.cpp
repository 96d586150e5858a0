// The libretro core driven as a frontend drives it: the built
// korvalo_libretro.so is opened with dlopen and called in RetroArch's order,
// and its pictures are compared with the headless program's screenshots of
// the same frames under the same keys.
#include "platforms/libretro/libretro_api.h"
#include "tests/support/png_read.h"
#include "tests/support/shell_run.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The core's exports, resolved by name as a frontend resolves them.
struct CoreFns {
    void* handle;
    decltype(&retro_set_environment) setEnvironment;
    decltype(&retro_set_video_refresh) setVideoRefresh;
    decltype(&retro_set_audio_sample) setAudioSample;
    decltype(&retro_set_audio_sample_batch) setAudioSampleBatch;
    decltype(&retro_set_input_poll) setInputPoll;
    decltype(&retro_set_input_state) setInputState;
    decltype(&retro_init) init;
    decltype(&retro_deinit) deinit;
    decltype(&retro_api_version) apiVersion;
    decltype(&retro_get_system_info) getSystemInfo;
    decltype(&retro_get_system_av_info) getSystemAvInfo;
    decltype(&retro_reset) reset;
    decltype(&retro_run) run;
    decltype(&retro_serialize_size) serializeSize;
    decltype(&retro_serialize) serialize;
    decltype(&retro_unserialize) unserialize;
    decltype(&retro_load_game) loadGame;
    decltype(&retro_unload_game) unloadGame;
    decltype(&retro_get_memory_data) getMemoryData;
    decltype(&retro_get_memory_size) getMemorySize;
};

CoreFns core;

template <typename Fn> void resolve(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(dlsym(core.handle, name));
    if (!fn) ADD_FAILURE() << "the core does not export " << name;
}

// The frontend's side: what the core told it and what it hands the core.
struct Frontend {
    std::string log;
    int pixelFormat = -1;
    std::map<std::string, std::string> options; // key: value
    std::vector<std::string> optionKeys;
    bool optionsChanged = false;
    bool bitmasks = true;
    retro_keyboard_event_t keyboard = nullptr;
    int descriptors = 0;
    std::vector<std::pair<unsigned, unsigned>> geometries; // SET_GEOMETRY sizes
    // The last picture, packed.
    unsigned width = 0, height = 0;
    std::vector<uint32_t> picture;
    int pictures = 0;
    size_t audioFrames = 0;
    bool audioSilent = true;
    int polls = 0;
    // Input: RetroPad buttons held (bits by id), keyboard ids held.
    int buttons = 0;
    std::set<unsigned> keys;
};

Frontend fe;

void logToFrontend(retro_log_level, const char* fmt, ...) {
    char line[1024];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    fe.log += line;
}

bool environment(unsigned cmd, void* data) {
    switch (cmd) {
    case retroEnvGetLogInterface:
        static_cast<retro_log_callback*>(data)->log = logToFrontend;
        return true;
    case retroEnvSetPixelFormat: fe.pixelFormat = *static_cast<const int*>(data); return true;
    case retroEnvSetVariables:
        fe.optionKeys.clear();
        for (auto* v = static_cast<const retro_variable*>(data); v->key; ++v) {
            fe.optionKeys.push_back(v->key);
            // The default is the first value after "Description; ".
            std::string values = std::strchr(v->value, ';') + 2;
            fe.options[v->key] = values.substr(0, values.find('|'));
        }
        return true;
    case retroEnvGetVariable: {
        auto* v = static_cast<retro_variable*>(data);
        auto found = fe.options.find(v->key);
        if (found == fe.options.end()) return false;
        v->value = found->second.c_str();
        return true;
    }
    case retroEnvGetVariableUpdate:
        *static_cast<bool*>(data) = fe.optionsChanged;
        fe.optionsChanged = false;
        return true;
    case retroEnvSetInputDescriptors:
        fe.descriptors = 0;
        for (auto* d = static_cast<const retro_input_descriptor*>(data); d->description; ++d)
            ++fe.descriptors;
        return true;
    case retroEnvSetKeyboardCallback:
        fe.keyboard = static_cast<const retro_keyboard_callback*>(data)->callback;
        return true;
    case retroEnvGetInputBitmasks: return fe.bitmasks;
    case retroEnvSetGeometry: {
        auto* g = static_cast<const retro_game_geometry*>(data);
        fe.geometries.emplace_back(g->base_width, g->base_height);
        return true;
    }
    case retroEnvSetSupportNoGame: return true;
    default: return false;
    }
}

void videoRefresh(const void* data, unsigned width, unsigned height, size_t pitch) {
    ++fe.pictures;
    fe.width = width;
    fe.height = height;
    fe.picture.resize(static_cast<size_t>(width) * height);
    for (unsigned y = 0; y < height; ++y)
        std::memcpy(&fe.picture[static_cast<size_t>(y) * width],
                    static_cast<const uint8_t*>(data) + y * pitch, width * 4);
}

size_t audioBatch(const int16_t* samples, size_t frames) {
    for (size_t i = 0; i < frames * 2; ++i)
        fe.audioSilent = fe.audioSilent && samples[i] == 0;
    fe.audioFrames += frames;
    return frames;
}

void audioSample(int16_t, int16_t) { ADD_FAILURE() << "single samples are not expected"; }

void inputPoll() { ++fe.polls; }

int16_t inputState(unsigned port, unsigned device, unsigned, unsigned id) {
    if (port != 0) return 0;
    if (device == retroDeviceJoypad) {
        if (id == retroJoypadMask) return fe.bitmasks ? static_cast<int16_t>(fe.buttons) : 0;
        return (fe.buttons >> id) & 1;
    }
    if (device == retroDeviceKeyboard) return fe.keys.count(id) ? 1 : 0;
    return 0;
}

const std::string romDir = KORVALO_ROM_DIR;

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class LibretroCore : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        core.handle = dlopen(KORVALO_LIBRETRO_CORE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(core.handle, nullptr) << dlerror();
        resolve(core.setEnvironment, "retro_set_environment");
        resolve(core.setVideoRefresh, "retro_set_video_refresh");
        resolve(core.setAudioSample, "retro_set_audio_sample");
        resolve(core.setAudioSampleBatch, "retro_set_audio_sample_batch");
        resolve(core.setInputPoll, "retro_set_input_poll");
        resolve(core.setInputState, "retro_set_input_state");
        resolve(core.init, "retro_init");
        resolve(core.deinit, "retro_deinit");
        resolve(core.apiVersion, "retro_api_version");
        resolve(core.getSystemInfo, "retro_get_system_info");
        resolve(core.getSystemAvInfo, "retro_get_system_av_info");
        resolve(core.reset, "retro_reset");
        resolve(core.run, "retro_run");
        resolve(core.serializeSize, "retro_serialize_size");
        resolve(core.serialize, "retro_serialize");
        resolve(core.unserialize, "retro_unserialize");
        resolve(core.loadGame, "retro_load_game");
        resolve(core.unloadGame, "retro_unload_game");
        resolve(core.getMemoryData, "retro_get_memory_data");
        resolve(core.getMemorySize, "retro_get_memory_size");
    }

    void TearDown() override {
        if (loaded) core.unloadGame();
        if (started) core.deinit();
    }

    // RetroArch's order: system info, environment, init, load, memory, the
    // setters, the version, the AV info.
    bool start(const std::vector<uint8_t>& content, bool bitmasks = true) {
        fe = Frontend{};
        fe.bitmasks = bitmasks;
        retro_system_info info{};
        core.getSystemInfo(&info);
        EXPECT_STREQ(info.valid_extensions, "tia");
        EXPECT_FALSE(info.need_fullpath);
        core.setEnvironment(environment);
        core.init();
        started = true;
        retro_game_info game{"game.tia", content.data(), content.size(), nullptr};
        loaded = core.loadGame(&game);
        if (!loaded) return false;
        core.setEnvironment(environment);
        core.setVideoRefresh(videoRefresh);
        core.setAudioSample(audioSample);
        core.setAudioSampleBatch(audioBatch);
        core.setInputPoll(inputPoll);
        core.setInputState(inputState);
        EXPECT_EQ(core.apiVersion(), 1u);
        core.getSystemAvInfo(&av);
        return true;
    }

    bool startSet(const std::string& name, bool bitmasks = true) {
        return start(readBytes(romDir + "/" + name), bitmasks);
    }

    bool loaded = false;
    bool started = false;
    retro_system_av_info av{};
};

// A key of the headless program's scripts, as a RetroPad button and as a
// frontend key.
struct Route {
    const char* name;
    int button; // -1: no button
    unsigned key;
};

const Route routes[] = {
    {"Up", retroJoypadUp, retroKeyUp},
    {"Down", retroJoypadDown, retroKeyDown},
    {"Left", retroJoypadLeft, retroKeyLeft},
    {"Right", retroJoypadRight, retroKeyRight},
    {"Space", retroJoypadB, retroKeySpace},
    {"LCtrl", retroJoypadA, retroKeyLeftCtrl},
    {"T", retroJoypadY, retroKeyT},
    {"Enter", retroJoypadStart, retroKeyReturn},
    {"PrintScreen", -1, retroKeyPrint},
    {"ScrollLock", -1, retroKeyScrollLock},
    {"Pause", -1, retroKeyPause},
};

struct KeyEvent {
    int frame;
    bool down;
    const Route* route;
};

std::vector<KeyEvent> parseKeys(const std::string& script) {
    std::vector<KeyEvent> events;
    std::stringstream in(script);
    std::string item;
    while (std::getline(in, item, ',')) {
        const size_t a = item.find(':'), b = item.find(':', a + 1);
        const std::string name = item.substr(b + 1);
        const Route* route = nullptr;
        for (const Route& r : routes) {
            if (name == r.name) route = &r;
        }
        if (!route) throw std::runtime_error("no route for " + name);
        events.push_back(
            {std::stoi(item.substr(0, a)), item.substr(a + 1, b - a - 1) == "down", route});
    }
    return events;
}

enum class Input { pad, padButtons, keyboard, keyboardCallback };

// Applies the events of frame `frame` (the moment after that many frames):
// the next retro_run sees them.
void applyEvents(const std::vector<KeyEvent>& events, int frame, Input input) {
    for (const KeyEvent& e : events) {
        if (e.frame != frame) continue;
        const bool usePad =
            (input == Input::pad || input == Input::padButtons) && e.route->button >= 0;
        if (usePad) {
            if (e.down) {
                fe.buttons |= 1 << e.route->button;
            } else {
                fe.buttons &= ~(1 << e.route->button);
            }
        } else if (input == Input::keyboardCallback) {
            fe.keyboard(e.down, e.route->key, 0, 0);
        } else if (e.down) {
            fe.keys.insert(e.route->key);
        } else {
            fe.keys.erase(e.route->key);
        }
    }
}

// The headless program's screenshots of the frames, under the key script.
std::vector<DecodedPng> headlessShots(const std::string& set, const std::string& keys,
                                      const std::vector<int>& frames, const std::string& name) {
    const fs::path dir = fs::path(LIBRETRO_WORK_DIR) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string shots;
    for (int f : frames)
        shots += (shots.empty() ? "" : ",") + std::to_string(f);
    const std::string command =
        "cd '" + dir.string() + "' && '" KORVALO_PROGRAM "' --headless --frames " +
        std::to_string(frames.back() + 1) + (keys.empty() ? "" : " --keys " + keys) +
        " --screenshot " + shots + " '" + romDir + "/" + set + "' >out.txt 2>err.txt";
    EXPECT_EQ(runShellCommand(command), 0) << readText(dir / "err.txt");
    std::vector<DecodedPng> pictures;
    for (size_t i = 0; i < frames.size(); ++i) {
        char file[40];
        std::snprintf(file, sizeof file, "ScreenShot_%03zu.png", i);
        pictures.push_back(decodePng((dir / file).string()));
    }
    fs::remove_all(dir);
    return pictures;
}

// Empty when the core's last picture equals the PNG pixel for pixel.
std::string differs(const DecodedPng& png, unsigned rowStep = 1) {
    if (png.width == 0) return "no headless screenshot";
    if (fe.width != png.width || fe.height * rowStep != png.height)
        return "size " + std::to_string(fe.width) + "x" + std::to_string(fe.height) + " against " +
               std::to_string(png.width) + "x" + std::to_string(png.height);
    for (unsigned y = 0; y < fe.height; ++y) {
        for (unsigned x = 0; x < fe.width; ++x) {
            const uint32_t got = fe.picture[static_cast<size_t>(y) * fe.width + x] & 0xFFFFFF;
            if (got != png.pixel(x, y * rowStep))
                return "first difference at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
        }
    }
    return "";
}

struct HeadlessCase {
    const char* name;
    const char* set;
    Input input;
    const char* keys; // the headless program's syntax
    std::vector<int> shots;
};

const HeadlessCase headlessCases[] = {
    {"SelfTest", "KorvaloSelfTest.tia", Input::keyboard, "", {1, 60}},
    {"SelfTest2", "KorvaloSelfTest2.tia", Input::pad, "", {50}},
    {"Demo1Keyboard",
     "KorvaloDemo1.tia",
     Input::keyboard,
     "60:down:Enter,62:up:Enter,100:down:Space,100:down:Left,140:up:Left,150:down:LCtrl,"
     "152:up:LCtrl,160:up:Space,170:down:T,172:up:T",
     {61, 120, 165, 200}},
    {"Demo1Pad",
     "KorvaloDemo1.tia",
     Input::pad,
     "60:down:Enter,62:up:Enter,100:down:Space,100:down:Right,140:up:Right,150:down:LCtrl,"
     "152:up:LCtrl,160:up:Space,190:down:Up,230:up:Up",
     {120, 165, 240}},
    // The restart keys, through the keyboard callback.
    {"Demo1Restart",
     "KorvaloDemo1.tia",
     Input::keyboardCallback,
     "60:down:Enter,62:up:Enter,100:down:Space,120:down:PrintScreen,120:down:ScrollLock,"
     "120:down:Pause,122:up:PrintScreen,122:up:ScrollLock,124:up:Space",
     {110, 123, 200}},
    {"Analog",
     "KorvaloAnalog.tia",
     Input::padButtons,
     "60:down:Enter,62:up:Enter,80:down:Left,120:up:Left,140:down:Right,200:up:Right",
     {120, 200}},
    {"Demo2",
     "KorvaloDemo2.tia",
     Input::padButtons,
     "60:down:Enter,62:up:Enter,100:down:Space,100:down:Left,140:up:Left,160:up:Space",
     {90, 170}},
};

void PrintTo(const HeadlessCase& c, std::ostream* os) { *os << c.name; }

class HeadlessMatch : public LibretroCore, public ::testing::WithParamInterface<HeadlessCase> {};

TEST_P(HeadlessMatch, FramesEqualTheHeadlessProgramsScreenshots) {
    const HeadlessCase& c = GetParam();
    const std::vector<DecodedPng> shots = headlessShots(c.set, c.keys, c.shots, c.name);
    ASSERT_TRUE(startSet(c.set, c.input != Input::padButtons)) << fe.log;
    const std::vector<KeyEvent> events = parseKeys(c.keys);
    EXPECT_EQ(fe.pixelFormat, retroPixelFormatXrgb8888);
    EXPECT_EQ(av.geometry.base_width, 960u);
    EXPECT_EQ(av.geometry.base_height, 768u);
    EXPECT_EQ(av.timing.fps, 60.0);
    EXPECT_EQ(av.timing.sample_rate, 48000.0);
    EXPECT_NE(fe.log.find("Model: TIA-MC-"), std::string::npos) << fe.log;
    size_t shot = 0;
    for (int frame = 0; frame < c.shots.back(); ++frame) {
        applyEvents(events, frame, c.input);
        core.run();
        if (frame + 1 == c.shots[shot]) {
            EXPECT_EQ(differs(shots[shot]), "") << c.name << " frame " << frame + 1;
            ++shot;
        }
    }
    EXPECT_EQ(fe.pictures, c.shots.back());
    EXPECT_EQ(fe.polls, c.shots.back());
    EXPECT_EQ(fe.audioFrames, 800u * c.shots.back());
    EXPECT_TRUE(fe.audioSilent);
}

INSTANTIATE_TEST_SUITE_P(RomSets, HeadlessMatch, ::testing::ValuesIn(headlessCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Every set the build installs is played by one of the cases above.
TEST(LibretroSets, EveryInstalledSetIsCovered) {
    std::set<std::string> covered;
    for (const HeadlessCase& c : headlessCases)
        covered.insert(c.set);
    int sets = 0;
    for (const auto& entry : fs::directory_iterator(romDir)) {
        if (entry.path().extension() != ".tia" || entry.path().filename() == "Derev.tia") continue;
        ++sets;
        EXPECT_TRUE(covered.count(entry.path().filename().string())) << entry.path();
    }
    EXPECT_GE(sets, 5);
}

// The picture options against the headless program with Delete and Left
// Ctrl + Delete pressed to the same preset and look; the unscaled board
// picture against the 512 x 512 preset's even rows.
struct OptionCase {
    const char* picture;
    const char* look;
    const char* keys; // reaching that preset and look in the headless program
    unsigned width, height;
    unsigned rowStep;
};

const OptionCase optionCases[] = {
    {"960x768", "black", "", 960, 768, 1},
    {"512x512", "black", "2:down:Delete,3:up:Delete", 512, 512, 1},
    {"640x512", "black", "2:down:Delete,3:up:Delete,4:down:Delete,5:up:Delete", 640, 512, 1},
    {"640x512", "smooth",
     "2:down:Delete,3:up:Delete,4:down:Delete,5:up:Delete,6:down:LCtrl,7:down:Delete,8:up:Delete,"
     "9:up:LCtrl",
     640, 512, 1},
    {"640x512", "double lines",
     "2:down:Delete,3:up:Delete,4:down:Delete,5:up:Delete,6:down:LCtrl,7:down:Delete,8:up:Delete,"
     "9:down:Delete,10:up:Delete,11:up:LCtrl",
     640, 512, 1},
    {"512x256 unscaled", "black", "2:down:Delete,3:up:Delete", 512, 256, 2},
};

TEST_F(LibretroCore, PictureOptionsMatchThePresetsAndSizeTheFrame) {
    int index = 0;
    for (const OptionCase& c : optionCases) {
        const std::vector<DecodedPng> shots =
            headlessShots("KorvaloSelfTest.tia", c.keys, {40}, "Option" + std::to_string(index++));
        ASSERT_TRUE(startSet("KorvaloSelfTest.tia")) << fe.log;
        ASSERT_EQ(fe.optionKeys.size(), 2u);
        for (int frame = 0; frame < 40; ++frame) {
            if (frame == 20) {
                fe.options["korvalo_picture"] = c.picture;
                fe.options["korvalo_scanlines"] = c.look;
                fe.optionsChanged = true;
            }
            core.run();
        }
        EXPECT_EQ(fe.width, c.width) << c.picture;
        EXPECT_EQ(fe.height, c.height) << c.picture;
        const bool resized = c.width != 960 || c.height != 768;
        ASSERT_EQ(fe.geometries.size(), resized ? 1u : 0u) << c.picture;
        if (resized) {
            EXPECT_EQ(fe.geometries[0].first, c.width);
            EXPECT_EQ(fe.geometries[0].second, c.height);
        }
        EXPECT_EQ(differs(shots[0], c.rowStep), "") << c.picture << ", " << c.look;
        core.unloadGame();
        core.deinit();
        loaded = started = false;
    }
}

// A state taken at frame K and loaded after running on: the frames after it
// come again, identical, under the same input.
TEST_F(LibretroCore, UnserialisedStateReplaysTheSameFrames) {
    for (const char* set : {"KorvaloDemo1.tia", "KorvaloDemo2.tia"}) {
        ASSERT_TRUE(startSet(set)) << fe.log;
        const size_t size = core.serializeSize();
        ASSERT_GT(size, 16384u);
        const std::vector<KeyEvent> events =
            parseKeys("60:down:Enter,62:up:Enter,110:down:Space,110:down:Left,150:up:Left,"
                      "150:down:Right,180:up:Right,190:up:Space");
        for (int frame = 0; frame < 100; ++frame) {
            applyEvents(events, frame, Input::pad);
            core.run();
        }
        std::vector<uint8_t> state(size);
        ASSERT_TRUE(core.serialize(state.data(), state.size()));
        const int held = fe.buttons;
        std::vector<std::vector<uint32_t>> first;
        for (int frame = 100; frame < 200; ++frame) {
            applyEvents(events, frame, Input::pad);
            core.run();
            first.push_back(fe.picture);
        }
        EXPECT_EQ(core.serializeSize(), size);
        EXPECT_NE(first.front(), first.back()) << "the game stood still";
        ASSERT_TRUE(core.unserialize(state.data(), state.size())) << fe.log;
        fe.buttons = held;
        for (int frame = 100; frame < 200; ++frame) {
            applyEvents(events, frame, Input::pad);
            core.run();
            ASSERT_EQ(fe.picture, first[frame - 100]) << set << " frame " << frame + 1;
        }
        // A damaged state is refused and the game goes on.
        state[state.size() / 2] ^= 0x55;
        EXPECT_FALSE(core.unserialize(state.data(), state.size()));
        EXPECT_NE(fe.log.find("Can't load state"), std::string::npos);
        core.unloadGame();
        core.deinit();
        loaded = started = false;
    }
}

// retro_reset restarts the program as the restart keys do: the same frames
// as the headless program's.
TEST_F(LibretroCore, ResetRestartsAsTheRestartKeysDo) {
    const std::vector<DecodedPng> shots =
        headlessShots("KorvaloDemo1.tia",
                      "60:down:Enter,62:up:Enter,120:down:PrintScreen,120:down:ScrollLock,"
                      "120:down:Pause,121:up:PrintScreen,121:up:ScrollLock",
                      {121, 180}, "Reset");
    ASSERT_TRUE(startSet("KorvaloDemo1.tia")) << fe.log;
    const std::vector<KeyEvent> events = parseKeys("60:down:Enter,62:up:Enter");
    for (int frame = 0; frame < 180; ++frame) {
        applyEvents(events, frame, Input::keyboard);
        // The restart keys' first frame runs from address 0.
        if (frame == 120) core.reset();
        core.run();
        if (frame + 1 == 121) {
            EXPECT_EQ(differs(shots[0]), "") << "frame 121";
        }
    }
    EXPECT_EQ(differs(shots[1]), "") << "frame 180";
}

TEST_F(LibretroCore, ContentIsRequiredAndAnyBytesRunHarmlessly) {
    fe = Frontend{};
    core.setEnvironment(environment);
    core.init();
    started = true;
    EXPECT_FALSE(core.loadGame(nullptr));
    EXPECT_NE(fe.log.find("needs a ROM set"), std::string::npos) << fe.log;
    core.deinit();
    started = false;

    std::mt19937 random(1234);
    for (size_t size : {size_t(1), size_t(4096), size_t(90112), size_t(300000)}) {
        std::vector<uint8_t> bytes(size);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random());
        ASSERT_TRUE(start(bytes)) << size << ": " << fe.log;
        ASSERT_NE(core.getMemoryData(retroMemorySystemRam), nullptr);
        EXPECT_EQ(core.getMemorySize(retroMemorySystemRam), 16384u);
        for (int frame = 0; frame < 120; ++frame) {
            fe.buttons = frame & 0x1FF;
            core.run();
        }
        EXPECT_EQ(fe.pictures, 120);
        EXPECT_EQ(fe.width, 960u);
        EXPECT_EQ(fe.height, 768u);
        std::vector<uint8_t> state(core.serializeSize());
        EXPECT_TRUE(core.serialize(state.data(), state.size()));
        EXPECT_TRUE(core.unserialize(state.data(), state.size()));
        core.unloadGame();
        core.deinit();
        loaded = started = false;
    }
}

} // namespace
