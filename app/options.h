// The korvalo command line.
#pragma once

#include "platforms/common/script.h"

#include <cstdint>
#include <string>
#include <vector>

// --save-state: the state after frame `frame` written to path.
struct StateSave {
    uint32_t frame;
    std::string path;
};

struct Options {
    bool help;
    bool headless;
    bool monitor; // --monitor: held in the monitor before the first instruction
    std::string present;    // window host: "auto", "surface", "software", "accelerated"
    std::string virtualPad; // window host: a scripted virtual game pad, for tests
    std::string romPath;    // "Derev.tia" beside the program unless given
    uint32_t frameLimit;    // 0: run until stopped
    uint32_t screenWidth;   // back buffer size
    uint32_t screenHeight;
    std::vector<ScriptEvent> events; // keys, drops and screenshots, by frame
    std::string recordPath;          // --record: the recording written
    std::string replayPath;          // --replay: the recording played
    std::string pictureHashPath;     // --picture-hashes: each frame's picture hash
    // --save-state, by frame (within one frame in the order given).
    std::vector<StateSave> stateSaves;
    // --load-state: loaded before frame 1.
    std::string loadStatePath;
};

// Reads the command line into options. False with a message in error when an
// option is unknown or malformed, or an event cannot happen in the run.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

// The --help text.
const char* usageText();
