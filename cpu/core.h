// Internals shared by the step files: register addressing by opcode code,
// condition codes, and the few ways a step hands over to the next machine
// cycle.
#pragma once

#include "cpu/flags.h"
#include "cpu/z80.h"

#include <cstdint>

namespace z80 {

// 8-bit register codes: the opcode's 3-bit code (6 is the memory operand and
// has no register), plus the halves of the index register under DD/FD.
enum Reg8 { B, C, D, E, H, L, A = 7, XH, XL };

// Register pairs: the opcode's 2-bit pair code, then the index register under
// DD/FD and the program counter.
enum Reg16 { BC, DE, HL, SP, XY, PC };

template <int r> inline uint8_t reg(const CpuCore& c) {
    static_assert(r != 6, "code 6 is the memory operand");
    if constexpr (r == B)
        return c.BC.hi;
    else if constexpr (r == C)
        return c.BC.lo;
    else if constexpr (r == D)
        return c.DE.hi;
    else if constexpr (r == E)
        return c.DE.lo;
    else if constexpr (r == H)
        return c.HL.hi;
    else if constexpr (r == L)
        return c.HL.lo;
    else if constexpr (r == A)
        return c.A;
    else if constexpr (r == XH)
        return c.indexReg->hi;
    else
        return c.indexReg->lo;
}

// A register half is written as its whole pair: a later 16-bit read of the
// pair can then take its value straight from the host's store buffer, which
// a read spanning two separate byte stores cannot.
inline void setHigh(RegPair& p, uint8_t v) { p.w = uint16_t((p.w & 0x00FF) | v << 8); }
inline void setLow(RegPair& p, uint8_t v) { p.w = uint16_t((p.w & 0xFF00) | v); }

template <int r> inline void setReg(CpuCore& c, uint8_t v) {
    static_assert(r != 6, "code 6 is the memory operand");
    if constexpr (r == B)
        setHigh(c.BC, v);
    else if constexpr (r == C)
        setLow(c.BC, v);
    else if constexpr (r == D)
        setHigh(c.DE, v);
    else if constexpr (r == E)
        setLow(c.DE, v);
    else if constexpr (r == H)
        setHigh(c.HL, v);
    else if constexpr (r == L)
        setLow(c.HL, v);
    else if constexpr (r == A)
        c.A = v;
    else if constexpr (r == XH)
        setHigh(*c.indexReg, v);
    else
        setLow(*c.indexReg, v);
}

template <int p> inline uint16_t& pair(CpuCore& c) {
    if constexpr (p == BC)
        return c.BC.w;
    else if constexpr (p == DE)
        return c.DE.w;
    else if constexpr (p == HL)
        return c.HL.w;
    else if constexpr (p == SP)
        return c.SP;
    else if constexpr (p == XY)
        return c.indexReg->w;
    else
        return c.PC;
}

// Condition codes in opcode order.
enum Cond { ifNZ, ifZ, ifNC, ifC, ifPO, ifPE, ifP, ifM };

template <int cc> inline bool condition(const CpuCore& c) {
    constexpr uint8_t masks[4] = {FZ, FC, FP, FS};
    bool set = c.F & masks[cc >> 1];
    return (cc & 1) ? set : !set;
}

inline uint8_t& busData(CpuCore& c) { return c.dataLatch.hi; }

// Joins two bytes stored apart (busData and the parked low byte of dataLatch,
// or A and F). The volatile read keeps the compiler from fusing the two byte
// loads into one 16-bit load, which would stall on the two byte stores.
inline uint16_t joinBytes(uint8_t high, const uint8_t& low) {
    return uint16_t(high << 8 | *static_cast<const volatile uint8_t*>(&low));
}

inline uint16_t latchWord(CpuCore& c) { return joinBytes(c.dataLatch.hi, c.dataLatch.lo); }

// The last step of an instruction: the next machine cycle is an opcode fetch.
inline void finish(CpuCore& c) {
    c.busFn = c.fetchFn;
    c.stepFn = decodeOpcode;
}

inline void readNext(CpuCore& c, uint16_t address, CpuStep step) {
    c.busAddress = address;
    c.busFn = c.readFn;
    c.stepFn = step;
}

inline void writeNext(CpuCore& c, uint16_t address, uint8_t value, CpuStep step) {
    c.busAddress = address;
    busData(c) = value;
    c.busFn = c.writeFn;
    c.stepFn = step;
}

inline void fetchNext(CpuCore& c, CpuStep step) {
    c.busFn = c.fetchFn;
    c.stepFn = step;
}

// Address of an indexed operand: the index register plus the signed
// displacement just fetched.
inline uint16_t indexedAddress(CpuCore& c) { return uint16_t(c.indexReg->w + int8_t(busData(c))); }

} // namespace z80
