// The rewind ring (see rewind.h). An undo record is a list of runs, each the
// count of unchanged bytes before it and its length (both LEB128) and then the
// bytes the older state held there. Runs less than eight unchanged bytes apart
// are joined, so a record never needs more than a few bytes beyond the state's
// own size.
#include "machines/tiamc/rewind.h"

#include "machines/tiamc/state.h"

#include <cstring>
#include <vector>

uint32_t rewindFrameLimit = 1800;
size_t rewindMemoryLimit = size_t(64) << 20;

namespace {

constexpr size_t runGap = 8; // unchanged bytes that end a run

struct Ring {
    std::vector<uint8_t> newest;            // the newest state, whole
    std::vector<std::vector<uint8_t>> undo; // rewindFrameLimit records, used in a circle
    size_t oldest;                          // index of the oldest record
    size_t records;                         // records held
    size_t heldBytes;                       // capacities of newest and every record
};

Ring ring;

void putLength(std::vector<uint8_t>& out, size_t value) {
    while (value >= 0x80) {
        out.push_back(uint8_t(value | 0x80));
        value >>= 7;
    }
    out.push_back(uint8_t(value));
}

size_t takeLength(const uint8_t*& at, const uint8_t* end) {
    size_t value = 0;
    for (int shift = 0; at != end && shift < 64; shift += 7) {
        const uint8_t byte = *at++;
        value |= size_t(byte & 0x7F) << shift;
        if (!(byte & 0x80)) break;
    }
    return value;
}

// The first byte from `at` where the two differ, or size.
size_t firstDifference(const uint8_t* older, const uint8_t* newer, size_t at, size_t size) {
    for (; at + 8 <= size; at += 8) {
        uint64_t a, b;
        std::memcpy(&a, older + at, 8);
        std::memcpy(&b, newer + at, 8);
        if (a != b) break;
    }
    while (at < size && older[at] == newer[at])
        ++at;
    return at;
}

// The record that turns newer back into older (both size bytes).
void encodeUndo(const uint8_t* older, const uint8_t* newer, size_t size,
                std::vector<uint8_t>& out) {
    out.clear();
    size_t done = 0;
    for (size_t at = firstDifference(older, newer, 0, size); at < size;
         at = firstDifference(older, newer, done, size)) {
        size_t end = at + 1;
        for (size_t scan = end; scan < size && scan - end < runGap; ++scan) {
            if (older[scan] != newer[scan]) end = scan + 1;
        }
        putLength(out, at - done);
        putLength(out, end - at);
        out.insert(out.end(), older + at, older + end);
        done = end;
    }
}

void applyUndo(const std::vector<uint8_t>& record, std::vector<uint8_t>& state) {
    const uint8_t* at = record.data();
    const uint8_t* const end = at + record.size();
    size_t place = 0;
    while (at != end) {
        place += takeLength(at, end);
        const size_t length = takeLength(at, end);
        if (length > size_t(end - at) || place > state.size() || length > state.size() - place)
            return; // never written so: the record is not ours
        std::memcpy(state.data() + place, at, length);
        at += length;
        place += length;
    }
}

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
        encodeUndo(ring.newest.data(), state.data(), state.size(), r);
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
    applyUndo(r, ring.newest);
    --ring.records;
    return true;
}

const std::vector<uint8_t>* newestRewindState() {
    return ring.newest.empty() ? nullptr : &ring.newest;
}

uint32_t rewindStateCount() { return ring.newest.empty() ? 0 : uint32_t(ring.records + 1); }

size_t rewindMemoryBytes() { return ring.heldBytes; }
