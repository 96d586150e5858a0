#include "machines/tiamc/statechanges.h"

#include <cstring>

namespace {

constexpr size_t runGap = 8; // unchanged bytes that end a run

// The first byte from `at` where the two differ, or size.
size_t firstDifference(const uint8_t* a, const uint8_t* b, size_t at, size_t size) {
    for (; at + 8 <= size; at += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + at, 8);
        std::memcpy(&y, b + at, 8);
        if (x != y) break;
    }
    while (at < size && a[at] == b[at])
        ++at;
    return at;
}

} // namespace

void putCount(std::vector<uint8_t>& out, uint32_t value) {
    while (value >= 0x80) {
        out.push_back(uint8_t(value | 0x80));
        value >>= 7;
    }
    out.push_back(uint8_t(value));
}

Parsed takeCount(const uint8_t*& at, const uint8_t* end, uint32_t& value) {
    value = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        if (at == end) return Parsed::cut;
        const uint8_t byte = *at++;
        if (shift == 28 && byte > 0x0F) break; // more than 32 bits
        value |= uint32_t(byte & 0x7F) << shift;
        if (!(byte & 0x80)) return Parsed::whole;
    }
    return Parsed::damaged;
}

void putStateChanges(std::vector<uint8_t>& out, const uint8_t* from, const uint8_t* to,
                     size_t size) {
    size_t done = 0;
    for (size_t at = firstDifference(from, to, 0, size); at < size;
         at = firstDifference(from, to, done, size)) {
        size_t end = at + 1;
        for (size_t scan = end; scan < size && scan - end < runGap; ++scan) {
            if (from[scan] != to[scan]) end = scan + 1;
        }
        putCount(out, uint32_t(at - done));
        putCount(out, uint32_t(end - at));
        out.insert(out.end(), to + at, to + end);
        done = end;
    }
}

bool applyStateChanges(const uint8_t* runs, size_t size, uint8_t* state, size_t stateSize,
                       bool apply) {
    const uint8_t* at = runs;
    const uint8_t* const end = runs + size;
    size_t place = 0;
    while (at != end) {
        uint32_t skip = 0, length = 0;
        if (takeCount(at, end, skip) != Parsed::whole ||
            takeCount(at, end, length) != Parsed::whole || length == 0 ||
            length > size_t(end - at) || skip > stateSize - place ||
            length > stateSize - place - skip)
            return false;
        place += skip;
        if (apply) std::memcpy(state + place, at, length);
        at += length;
        place += length;
    }
    return true;
}
