// The rewind ring (see rewind.h). An undo record is the runs of bytes that
// turn the newer state back into the older (statechanges.h), so a record
// never needs more than a few bytes beyond the state's own size.
#include "machines/tiamc/rewind.h"

#include "machines/tiamc/state.h"
#include "machines/tiamc/statechanges.h"

#include <vector>

uint32_t rewindFrameLimit = 1800;
size_t rewindMemoryLimit = size_t(64) << 20;

namespace {

struct Ring {
    std::vector<uint8_t> newest;            // the newest state, whole
    std::vector<std::vector<uint8_t>> undo; // rewindFrameLimit records, used in a circle
    size_t oldest;                          // index of the oldest record
    size_t records;                         // records held
    size_t heldBytes;                       // capacities of newest and every record
};

Ring ring;

std::vector<uint8_t>& record(size_t i) { return ring.undo[(ring.oldest + i) % ring.undo.size()]; }

void dropOldest(bool release) {
    std::vector<uint8_t>& r = record(0);
    if (release) {
        ring.heldBytes -= r.capacity();
        std::vector<uint8_t>().swap(r);
    }
    ring.oldest = (ring.oldest + 1) % ring.undo.size();
    --ring.records;
}

} // namespace

void clearRewind() {
    ring.undo.clear();
    ring.undo.shrink_to_fit();
    ring.undo.resize(rewindFrameLimit);
    std::vector<uint8_t>().swap(ring.newest);
    ring.oldest = 0;
    ring.records = 0;
    ring.heldBytes = ring.undo.capacity() * sizeof ring.undo[0];
}

void pushRewindState() {
    if (ring.undo.empty()) return;
    std::vector<uint8_t> state = saveMachineState();
    if (state.empty()) return;
    ring.heldBytes -= ring.newest.capacity();
    if (state.size() == ring.newest.size()) {
        // The record reused is the one the oldest state left; its memory stays.
        if (ring.records == ring.undo.size()) dropOldest(false);
        std::vector<uint8_t>& r = record(ring.records);
        ring.heldBytes -= r.capacity();
        r.clear();
        putStateChanges(r, state.data(), ring.newest.data(), state.size());
        ring.heldBytes += r.capacity();
        ++ring.records;
    } else {
        for (size_t i = ring.records; i > 0; --i)
            dropOldest(true);
    }
    ring.newest.swap(state);
    ring.heldBytes += ring.newest.capacity();
    while (ring.heldBytes > rewindMemoryLimit && ring.records > 0)
        dropOldest(true);
}

bool dropNewestRewindState() {
    if (ring.records == 0) return false;
    std::vector<uint8_t>& r = record(ring.records - 1);
    applyStateChanges(r.data(), r.size(), ring.newest.data(), ring.newest.size(), true);
    --ring.records;
    return true;
}

const std::vector<uint8_t>* newestRewindState() {
    return ring.newest.empty() ? nullptr : &ring.newest;
}

uint32_t rewindStateCount() { return ring.newest.empty() ? 0 : uint32_t(ring.records + 1); }

size_t rewindMemoryBytes() { return ring.heldBytes; }
