// The Z80 core: one record, driven machine cycle by machine cycle.
//
// The machine calls `busFn`, then `stepFn`, and repeats the pair; each step
// consumes the bus result, does its share of the instruction, charges the
// machine cycle it closes from `cycleBudget` through the cost table, and picks
// the next bus operation and step. The core owns no memory and no ports: all
// traffic goes through the five bus slots the machine fills.
#pragma once

#include <cstdint>

struct CpuCore;

// A step of the core or a bus operation of the machine; both take the record.
using CpuStep = void (*)(CpuCore&);

// A 16-bit register pair, addressable as its two halves (little-endian host).
union RegPair {
    uint16_t w;
    struct {
        uint8_t lo;
        uint8_t hi;
    };
};

struct CpuCore {
    uint8_t A;
    uint8_t F; // S Z 5 H 3 P/V N C, bit 7 down to bit 0
    RegPair HL, DE, BC;
    uint16_t SP;
    uint16_t PC;
    RegPair IX, IY;
    uint8_t R;  // incremented (all eight bits) at every opcode fetch
    uint8_t R7; // bit 7 as last loaded by LD R,A
    uint8_t I;
    uint8_t iff; // bit 1 IFF1, bit 2 IFF2: EI stores 6, DI stores 0
    uint8_t im;  // 0 = IM 0, 1 = IM 0/1 (ED 4E/6E), 2 = IM 1, 3 = IM 2
    uint16_t busAddress;
    uint16_t swapHold;          // EX (SP),rr only
    RegPair dataLatch;          // hi = busData, the byte every bus operation moves
    RegPair AFx, HLx, DEx, BCx; // the alternate set; AFx.hi is A', AFx.lo is F'
    RegPair* indexReg;          // IX after DD, IY after FD
    int32_t cycleBudget;        // 1/256 T-state units
    int32_t cost3, cost4, cost5, cost6, cost7, cost8, cost10, cost11;
    uint8_t* memory; // the machine's 64 KB; steps never read it
    CpuStep stepFn;
    CpuStep busFn;
    CpuStep fetchFn;   // busData = memory[PC]; PC += 1
    CpuStep readFn;    // busData = memory[busAddress]
    CpuStep writeFn;   // memory[busAddress] = busData
    CpuStep portInFn;  // busData = port[busAddress]
    CpuStep portOutFn; // port[busAddress] = busData

    uint8_t& busData() { return dataLatch.hi; }
};

// The board's one processor.
extern CpuCore cpuCore;

// Instruction-start step: the core is between instructions exactly when
// stepFn == decodeOpcode and busFn == fetchFn.
void decodeOpcode(CpuCore& c);
// Decoders of the prefixed tables.
void decodeBitOp(CpuCore& c);
void decodeExtended(CpuCore& c);
void decodeIndexed(CpuCore& c);
void decodeIndexedBitOp(CpuCore& c);

// Starts a maskable interrupt acknowledge between two instructions; the
// following pass of the step loop runs it. Dropped (not remembered) when IFF1
// is clear.
void beginInterrupt(CpuCore& c);
void interruptRst38Step(CpuCore& c);
void interruptVectorStep(CpuCore& c);

// Fills the cost table with 256 units per T-state (the TIA-MC clock ratio).
void fillStandardCostTable(CpuCore& c);

// One machine cycle: the bus operation, then the step that consumes it. True
// when the core is back at an instruction start.
inline bool runMachineCycle(CpuCore& c) {
    c.busFn(c);
    c.stepFn(c);
    return c.stepFn == decodeOpcode;
}

// Runs one instruction (or one interrupt acknowledge): bus operation, step,
// repeated until the core is back at an instruction start. The first six
// machine cycles (all an instruction needs, unless it repeats prefixes) have
// call sites of their own, so the host predicts each site's targets from its
// own history (the first is almost always the opcode fetch and decodeOpcode).
// GCC folds the identical sites back into one loop unless the caller's file
// is compiled with -fno-crossjumping.
//
// Only a chain of DD/FD prefixes runs past six machine cycles. Such a chain is
// one pass, but a program made of nothing but prefixes would never finish it:
// once the budget is spent the pass stops right after a DD or FD prefix step
// (stepFn is decodeIndexed, waiting for the next opcode), and the next call
// goes on with the chain. It never stops inside the instruction the prefixes
// lead to: once that instruction's opcode is fetched it runs to its end, and
// may overdraw the budget like any last instruction of a stretch. The
// processor accepts no interrupt after such a stop (see
// isBetweenInstructions). The rest of such a pass runs out of line, away from
// the six cycles every other instruction needs.
void finishLongPass(CpuCore& c);

inline void runInstruction(CpuCore& c) {
    if (runMachineCycle(c) || runMachineCycle(c) || runMachineCycle(c) || runMachineCycle(c) ||
        runMachineCycle(c) || runMachineCycle(c))
        return;
    finishLongPass(c);
}

// True between two instructions, the only place where the machine may start
// an interrupt or change registers.
inline bool isBetweenInstructions(const CpuCore& c) {
    return c.stepFn == decodeOpcode && c.busFn == c.fetchFn;
}
