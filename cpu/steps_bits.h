// The CB table (rotates, shifts, BIT, RES, SET) and its DDCB / FDCB form.
// An operation byte splits into group (bits 7-6), n or shift kind (bits 5-3)
// and operand (bits 2-0).
#pragma once

#include "cpu/core.h"
#include "cpu/steps_load.h"

namespace z80 {

// Rotate/shift, RES or SET applied to a byte (group 1, BIT, changes nothing).
template <int op> inline uint8_t bitOpResult(CpuCore& c, uint8_t v) {
    constexpr int group = op >> 6, n = (op >> 3) & 7;
    if constexpr (group == 0)
        return shift<n>(c, v);
    else if constexpr (group == 2)
        return uint8_t(v & ~(1 << n));
    else
        return uint8_t(v | (1 << n));
}

// (HL) or (IX+d) rotate, shift, RES or SET: the read cycle carries one
// internal T-state, then the result is written back to the same address.
template <int op> void bitOpMemoryStep(CpuCore& c) {
    busData(c) = bitOpResult<op>(c, busData(c));
    c.cycleBudget -= c.cost4;
    c.busFn = c.writeFn;
    c.stepFn = writeDone;
}

// BIT n,(HL): bits 5 and 3 come from the high byte of PC.
template <int n> void bitTestMemoryStep(CpuCore& c) {
    bitFlags<n>(c, busData(c), uint8_t(c.PC >> 8));
    c.cycleBudget -= c.cost4;
    finish(c);
}

// BIT n,(IX+d): bits 5 and 3 come from the high byte of the address.
template <int n> void bitTestIndexedStep(CpuCore& c) {
    bitFlags<n>(c, busData(c), uint8_t(c.busAddress >> 8));
    c.cycleBudget -= c.cost4;
    finish(c);
}

template <int op> inline void bitOp(CpuCore& c) {
    constexpr int group = op >> 6, n = (op >> 3) & 7, r = op & 7;
    c.cycleBudget -= c.cost4;
    if constexpr (r == 6) {
        if constexpr (group == 1)
            readNext(c, c.HL.w, bitTestMemoryStep<n>);
        else
            readNext(c, c.HL.w, bitOpMemoryStep<op>);
    } else if constexpr (group == 1) {
        bitFlags<n>(c, reg<r>(c), reg<r>(c));
    } else {
        setReg<r>(c, bitOpResult<op>(c, reg<r>(c)));
    }
}

} // namespace z80
