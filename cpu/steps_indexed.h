// The (IX+d) and (IY+d) forms: the displacement is fetched after the opcode
// and its cycle carries 5 internal T-states for the address addition.
#pragma once

#include "cpu/core.h"
#include "cpu/steps_alu.h"
#include "cpu/steps_load.h"

namespace z80 {

template <CpuStep next> void indexedReadStep(CpuCore& c) {
    c.cycleBudget -= c.cost8;
    readNext(c, indexedAddress(c), next);
}

template <int r> void indexedWriteStep(CpuCore& c) {
    c.cycleBudget -= c.cost8;
    writeNext(c, indexedAddress(c), reg<r>(c), writeDone);
}

// LD r,(IX+d): H and L keep their meaning here.
template <int r> inline void ldRegIdx(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = indexedReadStep<loadRegStep<r>>;
}

template <int r> inline void ldIdxReg(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = indexedWriteStep<r>;
}

template <int op> inline void aluIdx(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = indexedReadStep<aluStep<op>>;
}

inline void incIdx(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = indexedReadStep<incMemStep>;
}

inline void decIdx(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = indexedReadStep<decMemStep>;
}

// LD (IX+d),n: the immediate follows the displacement, and its cycle carries
// the 5 internal T-states.
inline void indexedImmediateStep(CpuCore& c) {
    c.cycleBudget -= c.cost5;
    c.busFn = c.writeFn;
    c.stepFn = writeDone;
}

inline void indexedImmediateAddressStep(CpuCore& c) {
    c.busAddress = indexedAddress(c);
    c.cycleBudget -= c.cost3;
    c.stepFn = indexedImmediateStep;
}

inline void ldIdxImm(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = indexedImmediateAddressStep;
}

// DD CB d op: the displacement comes before the operation byte.
inline void indexedBitAddressStep(CpuCore& c) {
    c.busAddress = indexedAddress(c);
    c.cycleBudget -= c.cost3;
    c.stepFn = decodeIndexedBitOp;
}

inline void prefixIndexedCb(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = indexedBitAddressStep;
}

} // namespace z80
