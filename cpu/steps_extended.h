// The ED table: port transfers on (C), 16-bit carry arithmetic, interrupt
// mode and register transfers, nibble rotates and the block instructions.
#pragma once

#include "cpu/core.h"
#include "cpu/steps_flow.h"
#include "cpu/steps_load.h"

namespace z80 {

// Undefined ED opcodes, RETN and the block port transfers: 8 T-states, no
// effect.
inline void edNop(CpuCore& c) { c.cycleBudget -= c.cost4; }

// IN r,(C) leaves F alone.
template <int r> inline void inRegC(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.busAddress = c.BC.w;
    c.busFn = c.portInFn;
    c.stepFn = portReadStep<r>;
}

// IN (C): the byte read is dropped.
inline void inDiscardC(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.busAddress = c.BC.w;
    c.busFn = c.portInFn;
    c.stepFn = portCycleDone;
}

inline void outC(CpuCore& c, uint8_t value) {
    c.cycleBudget -= c.cost4;
    busData(c) = value;
    c.busAddress = c.BC.w;
    c.busFn = c.portOutFn;
    c.stepFn = portCycleDone;
}

template <int r> inline void outCReg(CpuCore& c) { outC(c, reg<r>(c)); }

inline void outCZero(CpuCore& c) { outC(c, 0); }

template <int p> inline void sbcPair(CpuCore& c) {
    c.HL.w = sbc16(c, c.HL.w, pair<p>(c));
    c.cycleBudget -= c.cost11;
}

template <int p> inline void adcPair(CpuCore& c) {
    c.HL.w = adc16(c, c.HL.w, pair<p>(c));
    c.cycleBudget -= c.cost11;
}

inline void neg(CpuCore& c) {
    unsigned r = 0u - c.A;
    c.F = subFlags(0, c.A, r);
    c.A = uint8_t(r);
    c.cycleBudget -= c.cost4;
}

// RETI pops PC and leaves iff alone.
inline void reti(CpuCore& c) { popPair<PC>(c); }

template <int mode> inline void interruptMode(CpuCore& c) {
    c.im = mode;
    c.cycleBudget -= c.cost4;
}

inline void ldIA(CpuCore& c) {
    c.I = c.A;
    c.cycleBudget -= c.cost5;
}

// LD R,A takes 8 T-states; bit 7 is kept apart from the counting bits.
inline void ldRA(CpuCore& c) {
    c.R = c.A;
    c.R7 = c.A & 0x80;
    c.cycleBudget -= c.cost4;
}

// LD A,I and LD A,R copy IFF2 (bit 2 of iff, the P/V position) into P/V.
inline void loadAFromSpecial(CpuCore& c, uint8_t v) {
    c.A = v;
    c.F = (c.F & FC) | flagTables.sz53[v] | (c.iff & FP);
    c.cycleBudget -= c.cost5;
}

inline void ldAI(CpuCore& c) { loadAFromSpecial(c, c.I); }

inline void ldAR(CpuCore& c) { loadAFromSpecial(c, uint8_t((c.R & 0x7F) | (c.R7 & 0x80))); }

// RRD / RLD: the nibble shuffle happens during the 4 internal T-states after
// the read.
template <bool left> void nibbleRotateStep(CpuCore& c) {
    uint8_t v = busData(c);
    if constexpr (left) {
        busData(c) = uint8_t(v << 4 | (c.A & 0x0F));
        c.A = (c.A & 0xF0) | (v >> 4);
    } else {
        busData(c) = uint8_t(c.A << 4 | v >> 4);
        c.A = (c.A & 0xF0) | (v & 0x0F);
    }
    c.F = (c.F & FC) | flagTables.sz53p[c.A];
    c.cycleBudget -= c.cost7;
    c.busFn = c.writeFn;
    c.stepFn = writeDone;
}

template <bool left> inline void nibbleRotate(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    readNext(c, c.HL.w, nibbleRotateStep<left>);
}

// ---- block transfers and compares; a repeat moves PC back onto the prefix ----

template <int step, bool repeat> void blockLoadWriteStep(CpuCore& c) {
    c.HL.w += step;
    c.DE.w += step;
    c.BC.w -= 1;
    c.F = (c.F & (FS | FZ | FC)) | (c.BC.w ? FP : 0) | (c.A & F3) | ((c.A << 4) & F5);
    if (repeat && c.BC.w) {
        c.PC -= 2;
        c.cycleBudget -= c.cost10;
    } else {
        c.cycleBudget -= c.cost5;
    }
    finish(c);
}

template <int step, bool repeat> void blockLoadReadStep(CpuCore& c) {
    c.cycleBudget -= c.cost3;
    c.busAddress = c.DE.w;
    c.busFn = c.writeFn;
    c.stepFn = blockLoadWriteStep<step, repeat>;
}

template <int step, bool repeat> inline void blockLoad(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    readNext(c, c.HL.w, blockLoadReadStep<step, repeat>);
}

// The compare cycle carries 5 internal T-states, a repeat 5 more: the cost
// table has no 13 T-state entry, so a repeat is charged as 8 + 5.
template <int step, bool repeat> void blockCompareStep(CpuCore& c) {
    unsigned v = busData(c), r = c.A - v;
    c.HL.w += step;
    c.BC.w -= 1;
    c.F = (c.F & FC) | FN | flagTables.sz53[r & 0xFF] | ((c.A ^ v ^ r) & FH) | (c.BC.w ? FP : 0);
    c.cycleBudget -= c.cost8;
    if (repeat && c.BC.w && (r & 0xFF)) {
        c.PC -= 2;
        c.cycleBudget -= c.cost5;
    }
    finish(c);
}

template <int step, bool repeat> inline void blockCompare(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    readNext(c, c.HL.w, blockCompareStep<step, repeat>);
}

} // namespace z80
