// Jumps, calls, returns, restarts, port transfers and the prefix bytes.
#pragma once

#include "cpu/core.h"
#include "cpu/steps_load.h"

namespace z80 {

// A cycle that ends the instruction with nothing left to do: the untaken
// branch of JR cc, DJNZ, JP cc and CALL cc.
inline void skipStep(CpuCore& c) {
    c.cycleBudget -= c.cost3;
    finish(c);
}

// ---- relative jumps: the displacement cycle carries 5 internal T-states ----

inline void jrStep(CpuCore& c) {
    c.PC += int8_t(busData(c));
    c.cycleBudget -= c.cost8;
    finish(c);
}

inline void jr(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = jrStep;
}

template <int cc> inline void jrCond(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = condition<cc>(c) ? jrStep : skipStep;
}

// B is decremented before the displacement is fetched.
inline void djnz(CpuCore& c) {
    c.cycleBudget -= c.cost5;
    c.BC.w -= 0x100;
    c.stepFn = c.BC.hi ? jrStep : skipStep;
}

// ---- absolute jumps: both address bytes are always fetched ----

inline void jp(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = wordLowStep<loadPairStep<PC>>;
}

template <int cc> inline void jpCond(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = condition<cc>(c) ? wordLowStep<loadPairStep<PC>> : wordLowStep<skipStep>;
}

// JP (HL) and JP (IX): no memory access.
template <int p> inline void jpPair(CpuCore& c) {
    c.PC = pair<p>(c);
    c.cycleBudget -= c.cost4;
}

// ---- calls and restarts ----

// The high address byte's cycle carries one internal T-state; then the return
// address is pushed and PC already holds the target.
inline void callStep(CpuCore& c) {
    uint16_t target = latchWord(c);
    c.cycleBudget -= c.cost4;
    pushWord(c, c.PC);
    c.PC = target;
}

inline void call(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = wordLowStep<callStep>;
}

template <int cc> inline void callCond(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = condition<cc>(c) ? wordLowStep<callStep> : wordLowStep<skipStep>;
}

template <int address> inline void rst(CpuCore& c) {
    c.cycleBudget -= c.cost5;
    pushWord(c, c.PC);
    c.PC = address;
}

// ---- returns ----

inline void ret(CpuCore& c) { popPair<PC>(c); }

template <int cc> inline void retCond(CpuCore& c) {
    c.cycleBudget -= c.cost5;
    if (condition<cc>(c)) {
        readNext(c, c.SP, readWordLowStep<loadPairStep<PC>>);
        c.SP += 2;
    }
}

// ---- ports: the port cycle lasts 4 T-states ----

template <int r> void portReadStep(CpuCore& c) {
    setReg<r>(c, busData(c));
    c.cycleBudget -= c.cost4;
    finish(c);
}

inline void portCycleDone(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    finish(c);
}

inline void inAImmStep(CpuCore& c) {
    c.busAddress = uint16_t(c.A << 8 | busData(c));
    c.cycleBudget -= c.cost3;
    c.busFn = c.portInFn;
    c.stepFn = portReadStep<A>;
}

inline void inAImm(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = inAImmStep;
}

inline void outImmAStep(CpuCore& c) {
    c.busAddress = uint16_t(c.A << 8 | busData(c));
    busData(c) = c.A;
    c.cycleBudget -= c.cost3;
    c.busFn = c.portOutFn;
    c.stepFn = portCycleDone;
}

inline void outImmA(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = outImmAStep;
}

// ---- prefixes: the next byte is fetched as an opcode of another table ----

inline void prefixCb(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = decodeBitOp;
}

inline void prefixEd(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.stepFn = decodeExtended;
}

inline void prefixDd(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.indexReg = &c.IX;
    c.stepFn = decodeIndexed;
}

inline void prefixFd(CpuCore& c) {
    c.cycleBudget -= c.cost4;
    c.indexReg = &c.IY;
    c.stepFn = decodeIndexed;
}

} // namespace z80
