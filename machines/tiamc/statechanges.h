// The bytes where two save states of the same size differ, written as runs:
// for each, the count of unchanged bytes before it and its length (both
// LEB128), then the bytes the target state holds there. Runs less than eight
// unchanged bytes apart are one. The rewind ring keeps older states so (the
// target the older state), recordings keep each loaded state so (the target
// the state loaded).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Appends the runs that turn from into to (both size bytes) to out.
void putStateChanges(std::vector<uint8_t>& out, const uint8_t* from, const uint8_t* to,
                     size_t size);

// Applies runs to state, or with apply false only checks that they stay
// within it; false for runs that do not (nothing is applied past the first
// bad run).
bool applyStateChanges(const uint8_t* runs, size_t size, uint8_t* state, size_t stateSize,
                       bool apply);

// LEB128 counts of at most 32 bits.
void putCount(std::vector<uint8_t>& out, uint32_t value);
enum class Parsed { whole, cut, damaged };
Parsed takeCount(const uint8_t*& at, const uint8_t* end, uint32_t& value);
