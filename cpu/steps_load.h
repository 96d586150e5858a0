// Loads, exchanges and stack transfers: the start of each instruction (run
// inside its decoder, charging the opcode fetch) and the steps that follow it,
// one per machine cycle.
#pragma once

#include "cpu/core.h"

namespace z80 {

// ---- steps shared by many instructions ----

// A write whose cycle ends the instruction.
inline void writeDone(CpuCore& c) {
    c.cycleBudget -= c.cost3;
    finish(c);
}

// The byte fetched or read goes to register r.
template <int r> void loadRegStep(CpuCore& c) {
    setReg<r>(c, busData(c));
    c.cycleBudget -= c.cost3;
    finish(c);
}

// The word completed by this byte (high) and the parked low byte goes to p.
template <int p> void loadPairStep(CpuCore& c) {
    pair<p>(c) = latchWord(c);
    c.cycleBudget -= c.cost3;
    finish(c);
}

// Low byte of an operand word fetched at PC: park it, fetch the high byte.
template <CpuStep next> void wordLowStep(CpuCore& c) {
    c.dataLatch.lo = busData(c);
    c.cycleBudget -= c.cost3;
    c.stepFn = next;
}

// Low byte of a word read from memory: park it, read the next address.
template <CpuStep next> void readWordLowStep(CpuCore& c) {
    c.dataLatch.lo = busData(c);
    c.busAddress += 1;
    c.cycleBudget -= c.cost3;
    c.stepFn = next;
}

// The operand word is an address to read from.
template <CpuStep next> void absoluteReadStep(CpuCore& c) {
    c.cycleBudget -= c.cost3;
    readNext(c, latchWord(c), next);
}

// Second byte of a two-byte store, at the next address.
inline void writeHighStep(CpuCore& c) {
    busData(c) = c.dataLatch.lo;
    c.busAddress += 1;
    c.cycleBudget -= c.cost3;
    c.stepFn = writeDone;
}

// ---- 8-bit loads ----

template <int d, int s> inline void ldRegReg(CpuCore& c) {
    setReg<d>(c, reg<s>(c));
    c.cycleBudget -= c.cost4;
}

template <int r> inline void ldRegImm(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = loadRegStep<r>;
}

// LD r,(HL), LD A,(BC), LD A,(DE)
template <int r, int p = HL> inline void ldRegInd(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    readNext(c, pair<p>(c), loadRegStep<r>);
}

// LD (HL),r, LD (BC),A, LD (DE),A
template <int r, int p = HL> inline void ldIndReg(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    writeNext(c, pair<p>(c), reg<r>(c), writeDone);
}

inline void ldMemImmStep(CpuCore& c) {
    c.cycleBudget -= c.cost3;
    c.busAddress = c.HL.w;
    c.busFn = c.writeFn;
    c.stepFn = writeDone;
}

inline void ldMemImm(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = ldMemImmStep;
}

inline void ldAAbs(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = wordLowStep<absoluteReadStep<loadRegStep<A>>>;
}

inline void storeAStep(CpuCore& c) {
    c.cycleBudget -= c.cost3;
    writeNext(c, latchWord(c), c.A, writeDone);
}

inline void ldAbsA(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = wordLowStep<storeAStep>;
}

// ---- 16-bit loads ----

template <int p> inline void ldPairImm(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = wordLowStep<loadPairStep<p>>;
}

// LD rr,(nn): the low byte from nn, the high byte from nn+1.
template <int p> inline void ldPairAbs(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = wordLowStep<absoluteReadStep<readWordLowStep<loadPairStep<p>>>>;
}

// LD (nn),rr: the low byte to nn, the high byte to nn+1.
template <int p> void storePairStep(CpuCore& c) {
    uint16_t v = pair<p>(c);
    c.cycleBudget -= c.cost3;
    writeNext(c, latchWord(c), uint8_t(v), writeHighStep);
    c.dataLatch.lo = uint8_t(v >> 8);
}

template <int p> inline void ldAbsPair(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = wordLowStep<storePairStep<p>>;
}

template <int p> inline void ldSpPair(CpuCore& c) {
    c.SP = pair<p>(c);
    c.cycleBudget -= c.cost6;
}

// ---- stack ----

inline void pushLowStep(CpuCore& c) {
    busData(c) = c.dataLatch.lo;
    c.busAddress = c.SP;
    c.cycleBudget -= c.cost3;
    c.stepFn = writeDone;
}

// Starts a push of v: high byte at SP-1, then low byte at SP-2.
inline void pushWord(CpuCore& c, uint16_t v) {
    c.dataLatch.w = v;
    c.SP -= 2;
    c.busAddress = uint16_t(c.SP + 1);
    c.busFn = c.writeFn;
    c.stepFn = pushLowStep;
}

template <int p> inline void pushPair(CpuCore& c) {
    c.cycleBudget -= c.cost5;
    pushWord(c, pair<p>(c));
}

inline void pushAf(CpuCore& c) {
    c.cycleBudget -= c.cost5;
    pushWord(c, joinBytes(c.A, c.F));
}

// Starts a pop into p: low byte from SP, high byte from SP+1.
template <int p> inline void popPair(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    readNext(c, c.SP, readWordLowStep<loadPairStep<p>>);
    c.SP += 2;
}

inline void popAfStep(CpuCore& c) {
    c.F = c.dataLatch.lo;
    c.A = busData(c);
    c.cycleBudget -= c.cost3;
    finish(c);
}

inline void popAf(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    readNext(c, c.SP, readWordLowStep<popAfStep>);
    c.SP += 2;
}

// ---- exchanges ----

inline void exAfAf(CpuCore& c) {
    uint8_t a = c.A, f = c.F;
    c.A = c.AFx.hi;
    c.F = c.AFx.lo;
    c.AFx.hi = a;
    c.AFx.lo = f;
    c.cycleBudget -= c.cost4;
}

inline void exx(CpuCore& c) {
    RegPair bc = c.BC, de = c.DE, hl = c.HL;
    c.BC = c.BCx;
    c.DE = c.DEx;
    c.HL = c.HLx;
    c.BCx = bc;
    c.DEx = de;
    c.HLx = hl;
    c.cycleBudget -= c.cost4;
}

inline void exDeHl(CpuCore& c) {
    uint16_t de = c.DE.w;
    c.DE.w = c.HL.w;
    c.HL.w = de;
    c.cycleBudget -= c.cost4;
}

// EX (SP),rr: read SP, SP+1; write the pair's high byte at SP+1, then its low
// byte at SP; the last write carries 2 internal T-states.
template <int p> void exSpDoneStep(CpuCore& c) {
    pair<p>(c) = c.swapHold;
    c.cycleBudget -= c.cost5;
    finish(c);
}

template <int p> void exSpWriteLowStep(CpuCore& c) {
    busData(c) = uint8_t(pair<p>(c));
    c.busAddress = c.SP;
    c.cycleBudget -= c.cost3;
    c.stepFn = exSpDoneStep<p>;
}

template <int p> void exSpReadHighStep(CpuCore& c) {
    c.swapHold = latchWord(c);
    busData(c) = uint8_t(pair<p>(c) >> 8);
    c.busFn = c.writeFn;
    c.cycleBudget -= c.cost4;
    c.stepFn = exSpWriteLowStep<p>;
}

template <int p> inline void exSpPair(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    readNext(c, c.SP, readWordLowStep<exSpReadHighStep<p>>);
}

} // namespace z80
