// The state files of --load-state and --save-state.
#include "app/state_files.h"

#include "host/host.h"
#include "host/keycodes.h"
#include "machines/tiamc/recording.h"
#include "machines/tiamc/state.h"
#include "platforms/common/statefiles.h"

#include <string>
#include <vector>

namespace {
std::vector<StateSave> stateSaves; // by frame
size_t nextSave;

[[noreturn]] void fail(const std::string& message) {
    host.fatalError(message.c_str());
    __builtin_unreachable();
}
} // namespace

void loadStartState(const Options& options, bool takeHeldKeys) {
    stateSaves = options.stateSaves;
    nextSave = 0;
    if (options.loadStatePath.empty()) return;
    // A replay has loaded the state its run started from.
    if (replayPlaying()) {
        loadRecordedState();
        return;
    }
    std::vector<uint8_t> state;
    bool missing = false;
    std::string error;
    if (!readFileBytes(options.loadStatePath, largestStateFile, state, missing, error) ||
        !loadMachineState(state.data(), state.size(), error))
        fail("Can't load state: " + error);
    noteStateLoad(state.data(), state.size());
    if (!takeHeldKeys) return;
    // Pause's hold came back with the state.
    for (int key = 0; key < 256; ++key) {
        if (key != pauseKey) liveKeys[key] = keysNow[key] & 0x80;
    }
}

void saveStatesAtFrame(uint32_t frame) {
    for (; nextSave < stateSaves.size() && stateSaves[nextSave].frame <= frame; ++nextSave) {
        const std::string& path = stateSaves[nextSave].path;
        const std::vector<uint8_t> state = saveMachineState();
        std::string error = state.empty() ? "no game is running" : "";
        if (!error.empty() || !replaceFile(path, state.data(), state.size(), error))
            fail("Can't save state to " + path + ": " + error);
    }
}
