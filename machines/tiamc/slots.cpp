// Save states between two frames: what the slot keys and Backspace asked for
// in a frame's controls is done at the start of the next frame, before
// anything else of it, so a saved state is exactly the moment between two
// frames and a loaded one replaces the machine before a frame runs. A
// recording keeps every state loaded here; while a replay plays, the state it
// holds for the moment is loaded instead, the slots and the ring unread.
#include "machines/tiamc/tiamc.h"

#include "host/host.h"
#include "host/statestore.h"
#include "machines/tiamc/recording.h"
#include "machines/tiamc/rewind.h"
#include "machines/tiamc/state.h"

#include <cstring>
#include <string>
#include <vector>

uint8_t stateSlot;
StateRequest stateRequest;
bool rewindHeld;
bool frameRewound;

namespace {

// The last frame was a rewind frame: the moment shown is the ring's newest
// state, but the frame's key snapshot has changed the keys in the machine
// since.
bool rewinding;

// The bytes of a state handed over by the host, loaded at the next frame
// start.
std::vector<uint8_t> givenState;

bool haveStore() {
    if (stateStore.write && stateStore.read) return true;
    consolePrintf("State slots are not available here\n");
    return false;
}

void saveToSlot() {
    if (!haveStore()) return;
    const std::vector<uint8_t> state = saveMachineState();
    std::string error = state.empty() ? "no game is running" : "";
    if (error.empty() &&
        stateStore.write(tiaBoard.romSetHash, stateSlot, state.data(), state.size(), error)) {
        consolePrintf("State saved to slot %d\n", stateSlot);
    } else {
        consolePrintf("Can't save state to slot %d: %s\n", stateSlot, error.c_str());
    }
}

// The state into the machine, with its console line; false when refused.
bool loadStateBytes(const std::vector<uint8_t>& state, const char* from) {
    std::string error;
    if (!loadMachineState(state.data(), state.size(), error)) {
        consolePrintf("Can't load state: %s\n", error.c_str());
        return false;
    }
    noteStateLoad(state.data(), state.size());
    consolePrintf("State loaded from %s\n", from);
    return true;
}

bool loadFromSlot() {
    const std::string from = "slot " + std::to_string(stateSlot);
    if (replayPlaying()) {
        if (!loadRecordedState()) return false;
        consolePrintf("State loaded from %s\n", from.c_str());
        return true;
    }
    if (!haveStore()) return false;
    std::vector<uint8_t> state;
    std::string error;
    if (!stateStore.read(tiaBoard.romSetHash, stateSlot, state, error)) {
        if (error.empty()) {
            consolePrintf("No state in slot %d\n", stateSlot);
        } else {
            consolePrintf("Can't load state: %s\n", error.c_str());
        }
        return false;
    }
    return loadStateBytes(state, from.c_str());
}

// The state the host handed over; while a replay plays, its own state.
bool loadGivenState() {
    std::vector<uint8_t> state;
    state.swap(givenState);
    if (replayPlaying()) return loadRecordedState();
    return loadStateBytes(state, "file");
}

// The ring's newest state into the machine; false when the ring is empty.
bool loadRewound() {
    if (replayPlaying()) return loadRecordedState();
    const std::vector<uint8_t>* state = newestRewindState();
    std::string error;
    if (!state || !loadMachineState(state->data(), state->size(), error)) return false;
    noteStateLoad(state->data(), state->size());
    return true;
}

} // namespace

void stepStateSlot(int step) {
    stateSlot = uint8_t((stateSlot + stateSlotCount + step) % stateSlotCount);
    consolePrintf("Slot %d\n", stateSlot);
}

void requestStateLoad(const uint8_t* data, size_t size) {
    givenState.assign(data, data + size);
    stateRequest = StateRequest::given;
}

void resetStateTurn() {
    stateSlot = 0;
    stateRequest = StateRequest::none;
    rewindHeld = false;
    frameRewound = false;
    rewinding = false;
    givenState.clear();
    clearRewind();
}

void forgetRewind() {
    rewinding = false;
    clearRewind();
}

// A load by F4 or a given file keeps the keys as they are now, not as the
// state holds them: a key held across the load (F4 itself) is not seen as
// pressed again by the next frame. A replay's loads do the same, so it sees
// exactly what the recorded run saw.
template <typename Load> bool loadKeepingKeys(Load load) {
    uint8_t held[sizeof keysNow];
    std::memcpy(held, keysNow, sizeof held);
    if (!load()) return false;
    std::memcpy(keysNow, held, sizeof held);
    return true;
}

bool takeStateTurn() {
    const bool wasRewinding = rewinding;
    rewinding = false;
    bool inRing = wasRewinding; // the moment shown is the ring's newest state
    if (wasRewinding && (stateRequest != StateRequest::none || !rewindHeld)) loadRewound();
    if (stateRequest == StateRequest::save) saveToSlot();
    if (stateRequest == StateRequest::load && loadKeepingKeys(loadFromSlot)) inRing = false;
    if (stateRequest == StateRequest::given && loadKeepingKeys(loadGivenState)) inRing = false;
    stateRequest = StateRequest::none;
    if (!inRing) pushRewindState();
    if (!rewindHeld) return false;
    // Each rewind frame shows the state before the one shown last; the
    // oldest stays once reached, and with an empty ring the picture stays.
    dropNewestRewindState();
    loadRewound();
    rewinding = true;
    return true;
}
