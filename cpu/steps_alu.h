// Arithmetic, logic and control instructions of the base table.
#pragma once

#include "cpu/core.h"
#include "cpu/steps_load.h"

namespace z80 {

// ---- 8-bit arithmetic and logic ----

template <int op, int r> inline void aluReg(CpuCore& c) {
    alu<op>(c, reg<r>(c));
    c.cycleBudget -= c.cost4;
}

template <int op> void aluStep(CpuCore& c) {
    alu<op>(c, busData(c));
    c.cycleBudget -= c.cost3;
    finish(c);
}

template <int op> inline void aluImm(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = aluStep<op>;
}

template <int op> inline void aluMem(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    readNext(c, c.HL.w, aluStep<op>);
}

template <int r> inline void incReg(CpuCore& c) {
    setReg<r>(c, incFlagged(c, reg<r>(c)));
    c.cycleBudget -= c.cost4;
}

template <int r> inline void decReg(CpuCore& c) {
    setReg<r>(c, decFlagged(c, reg<r>(c)));
    c.cycleBudget -= c.cost4;
}

// INC (HL) / DEC (HL): the read cycle carries one internal T-state.
inline void incMemStep(CpuCore& c) {
    busData(c) = incFlagged(c, busData(c));
    c.cycleBudget -= c.cost4;
    c.busFn = c.writeFn;
    c.stepFn = writeDone;
}

inline void decMemStep(CpuCore& c) {
    busData(c) = decFlagged(c, busData(c));
    c.cycleBudget -= c.cost4;
    c.busFn = c.writeFn;
    c.stepFn = writeDone;
}

inline void incMem(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    readNext(c, c.HL.w, incMemStep);
}

inline void decMem(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    readNext(c, c.HL.w, decMemStep);
}

// ---- 16-bit arithmetic ----

template <int p> inline void incPair(CpuCore& c) {
    ++pair<p>(c);
    c.cycleBudget -= c.cost6;
}

template <int p> inline void decPair(CpuCore& c) {
    --pair<p>(c);
    c.cycleBudget -= c.cost6;
}

template <int d, int s> inline void addPair(CpuCore& c) {
    pair<d>(c) = add16(c, pair<d>(c), pair<s>(c));
    c.cycleBudget -= c.cost11;
}

// ---- accumulator rotates and flag operations ----

inline void rlca(CpuCore& c) {
    c.A = uint8_t(c.A << 1 | c.A >> 7);
    rotateAFlags(c, c.A & FC);
    c.cycleBudget -= c.cost4;
}

inline void rrca(CpuCore& c) {
    uint8_t out = c.A & 1;
    c.A = uint8_t(c.A >> 1 | c.A << 7);
    rotateAFlags(c, out);
    c.cycleBudget -= c.cost4;
}

inline void rla(CpuCore& c) {
    uint8_t out = c.A >> 7;
    c.A = uint8_t(c.A << 1 | (c.F & FC));
    rotateAFlags(c, out);
    c.cycleBudget -= c.cost4;
}

inline void rra(CpuCore& c) {
    uint8_t out = c.A & 1;
    c.A = uint8_t(c.A >> 1 | (c.F & FC) << 7);
    rotateAFlags(c, out);
    c.cycleBudget -= c.cost4;
}

inline void daa(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    decimalAdjust(c);
}

inline void cpl(CpuCore& c) {
    c.A = uint8_t(~c.A);
    c.F = (c.F & (FS | FZ | FP | FC)) | (c.A & (F5 | F3)) | FH | FN;
    c.cycleBudget -= c.cost4;
}

inline void scf(CpuCore& c) {
    c.F = (c.F & (FS | FZ | FP)) | (c.A & (F5 | F3)) | FC;
    c.cycleBudget -= c.cost4;
}

inline void ccf(CpuCore& c) {
    c.F = ((c.F & (FS | FZ | FP | FC)) | (c.A & (F5 | F3)) | ((c.F & FC) << 4)) ^ FC;
    c.cycleBudget -= c.cost4;
}

// ---- control ----

inline void nop(CpuCore& c) { c.cycleBudget -= c.cost4; }

inline void di(CpuCore& c) {
    c.iff = 0;
    c.cycleBudget -= c.cost4;
}

// Takes effect at once: an interrupt may be accepted right after EI.
inline void ei(CpuCore& c) {
    c.iff = 6;
    c.cycleBudget -= c.cost4;
}

// HALT re-executes itself until an interrupt steps PC past it.
inline void halt(CpuCore& c) {
    c.PC -= 1;
    c.cycleBudget -= c.cost4;
}

} // namespace z80
