// The rewind ring: the machine's state at the start of each of the last
// frames, newest first, so that the game can be run backwards a frame at a
// time.
//
// The newest state is kept whole; each older one as an undo record, the runs
// of bytes the next state changed, with the bytes they held before. A frame
// changes a few hundred bytes of the demo's 27 KB state, so 30 seconds of
// frames take about a megabyte; a game that rewrote every byte of its state
// every frame would need one whole state per frame, some 49 MB for 1800
// frames. rewindMemoryLimit bounds it either way: the oldest records go first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The most frames the ring goes back (1800: 30 s at 60 frames a second); 0
// keeps no ring. A change takes effect at the next clearRewind.
extern uint32_t rewindFrameLimit;
// The most bytes the ring holds, its records and the newest state together
// (64 MiB).
extern size_t rewindMemoryLimit;

// Empties the ring (a new ROM set, a new start) and takes rewindFrameLimit.
void clearRewind();
// Takes the machine's state, between two frames, as the newest; the oldest
// goes when the ring is full. Nothing when the machine gives no state.
void pushRewindState();
// Forgets the newest state, so that the one before becomes the newest; the
// last one left is kept. False when there was nothing to step back to.
bool dropNewestRewindState();
// The newest state, whole; null when the ring is empty.
const std::vector<uint8_t>* newestRewindState();
// States held (0 when empty), and the bytes they take.
uint32_t rewindStateCount();
size_t rewindMemoryBytes();
