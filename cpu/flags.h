// Flag tables and ALU helpers of the Z80 core. Steps call these; nothing here
// touches the bus or the budget.
#pragma once

#include "cpu/z80.h"

#include <cstdint>

namespace z80 {

enum : uint8_t {
    FC = 0x01,
    FN = 0x02,
    FP = 0x04, // parity / overflow
    F3 = 0x08,
    FH = 0x10,
    F5 = 0x20,
    FZ = 0x40,
    FS = 0x80,
};

struct FlagTables {
    uint8_t sz53[256];  // S, 5, 3 copied, Z when zero
    uint8_t sz53p[256]; // plus P/V on even parity
    uint8_t inc[256];   // flags of INC applied to x (C left to the caller)
    uint8_t dec[256];   // flags of DEC applied to x (C left to the caller)
};

constexpr FlagTables makeFlagTables() {
    FlagTables t{};
    for (int x = 0; x < 256; ++x) {
        uint8_t sz53 = (x & (FS | F5 | F3)) | (x == 0 ? FZ : 0);
        int ones = 0;
        for (int b = 0; b < 8; ++b)
            ones += (x >> b) & 1;
        t.sz53[x] = sz53;
        t.sz53p[x] = sz53 | ((ones & 1) ? 0 : FP);
    }
    for (int x = 0; x < 256; ++x) {
        uint8_t up = (x + 1) & 0xFF, down = (x - 1) & 0xFF;
        t.inc[x] = t.sz53[up] | ((x & 0x0F) == 0x0F ? FH : 0) | (x == 0x7F ? FP : 0);
        t.dec[x] = t.sz53[down] | ((x & 0x0F) == 0 ? FH : 0) | (x == 0x80 ? FP : 0) | FN;
    }
    return t;
}

inline constexpr FlagTables flagTables = makeFlagTables();

// The eight accumulator operations in their opcode order (bits 5-3).
enum AluOp { ADD, ADC, SUB, SBC, AND, XOR, OR, CP };

// H is the carry (borrow) across bit 3, P/V the signed overflow, C the carry
// (borrow) out of bit 7; all three fall out of the 9-bit sum.
inline uint8_t addFlags(unsigned a, unsigned v, unsigned r) {
    return flagTables.sz53[r & 0xFF] | ((a ^ v ^ r) & FH) | (((a ^ r) & (v ^ r) & 0x80) >> 5) |
           ((r >> 8) & FC);
}

inline uint8_t subFlags(unsigned a, unsigned v, unsigned r) {
    return flagTables.sz53[r & 0xFF] | ((a ^ v ^ r) & FH) | (((a ^ v) & (a ^ r) & 0x80) >> 5) |
           ((r >> 8) & FC) | FN;
}

template <int op> inline void alu(CpuCore& c, uint8_t v) {
    unsigned a = c.A;
    if constexpr (op == ADD || op == ADC) {
        unsigned r = a + v + (op == ADC ? (c.F & FC) : 0);
        c.A = uint8_t(r);
        c.F = addFlags(a, v, r);
    } else if constexpr (op == SUB || op == SBC) {
        unsigned r = a - v - (op == SBC ? (c.F & FC) : 0);
        c.A = uint8_t(r);
        c.F = subFlags(a, v, r);
    } else if constexpr (op == AND) {
        c.A = uint8_t(a & v);
        c.F = flagTables.sz53p[c.A] | FH;
    } else if constexpr (op == XOR) {
        c.A = uint8_t(a ^ v);
        c.F = flagTables.sz53p[c.A];
    } else if constexpr (op == OR) {
        c.A = uint8_t(a | v);
        c.F = flagTables.sz53p[c.A];
    } else {
        // CP takes bits 5 and 3 from the operand, not from the difference.
        unsigned r = a - v;
        c.F = (subFlags(a, v, r) & ~(F5 | F3)) | (v & (F5 | F3));
    }
}

inline uint8_t incFlagged(CpuCore& c, uint8_t v) {
    c.F = (c.F & FC) | flagTables.inc[v];
    return uint8_t(v + 1);
}

inline uint8_t decFlagged(CpuCore& c, uint8_t v) {
    c.F = (c.F & FC) | flagTables.dec[v];
    return uint8_t(v - 1);
}

inline uint16_t add16(CpuCore& c, unsigned a, unsigned v) {
    unsigned r = a + v;
    c.F = (c.F & (FS | FZ | FP)) | ((r >> 8) & (F5 | F3)) | (((a ^ v ^ r) >> 8) & FH) |
          ((r >> 16) & FC);
    return uint16_t(r);
}

inline uint8_t wideFlags(unsigned r) {
    return ((r >> 8) & (FS | F5 | F3)) | ((r & 0xFFFF) == 0 ? FZ : 0) | ((r >> 16) & FC);
}

inline uint16_t adc16(CpuCore& c, unsigned a, unsigned v) {
    unsigned r = a + v + (c.F & FC);
    c.F = wideFlags(r) | (((a ^ v ^ r) >> 8) & FH) | (((a ^ r) & (v ^ r) & 0x8000) >> 13);
    return uint16_t(r);
}

inline uint16_t sbc16(CpuCore& c, unsigned a, unsigned v) {
    unsigned r = a - v - (c.F & FC);
    c.F = wideFlags(r) | (((a ^ v ^ r) >> 8) & FH) | (((a ^ v) & (a ^ r) & 0x8000) >> 13) | FN;
    return uint16_t(r);
}

// The accumulator rotates keep S, Z and P/V; bits 5 and 3 follow the new A.
inline void rotateAFlags(CpuCore& c, uint8_t carry) {
    c.F = (c.F & (FS | FZ | FP)) | (c.A & (F5 | F3)) | carry;
}

// CB rotates and shifts in their opcode order (bits 5-3): RLC RRC RL RR SLA
// SRA SLI SRL.
template <int kind> inline uint8_t shift(CpuCore& c, uint8_t v) {
    uint8_t r, out;
    if constexpr (kind == 0)
        r = uint8_t(v << 1 | v >> 7), out = v >> 7;
    else if constexpr (kind == 1)
        r = uint8_t(v >> 1 | v << 7), out = v & 1;
    else if constexpr (kind == 2)
        r = uint8_t(v << 1 | (c.F & FC)), out = v >> 7;
    else if constexpr (kind == 3)
        r = uint8_t(v >> 1 | (c.F & FC) << 7), out = v & 1;
    else if constexpr (kind == 4)
        r = uint8_t(v << 1), out = v >> 7;
    else if constexpr (kind == 5)
        r = uint8_t((v >> 1) | (v & 0x80)), out = v & 1;
    else if constexpr (kind == 6)
        r = uint8_t(v << 1 | 1), out = v >> 7;
    else
        r = uint8_t(v >> 1), out = v & 1;
    c.F = flagTables.sz53p[r] | out;
    return r;
}

// BIT n: Z and P/V when the bit is clear, H set, S only for a set bit 7; the
// caller chooses where bits 5 and 3 come from.
template <int bit> inline void bitFlags(CpuCore& c, uint8_t v, uint8_t copy53) {
    uint8_t tested = v & (1 << bit);
    c.F = (c.F & FC) | FH | (tested ? 0 : (FZ | FP)) | (tested & FS) | (copy53 & (F5 | F3));
}

// Decimal adjust after an addition (N clear) or a subtraction (N set). Kept
// out of line: it is rare, and its branches would crowd the decoders.
[[gnu::noinline]] inline void decimalAdjust(CpuCore& c) {
    uint8_t a = c.A, f = c.F;
    uint8_t correction = 0, carry = 0, half;
    if ((f & FH) || (a & 0x0F) > 9) correction = 0x06;
    if ((f & FC) || a > 0x99) {
        correction |= 0x60;
        carry = FC;
    }
    if (f & FN) {
        c.A = uint8_t(a - correction);
        half = ((f & FH) && (a & 0x0F) < 6) ? FH : 0;
    } else {
        c.A = uint8_t(a + correction);
        half = (a & 0x0F) > 9 ? FH : 0;
    }
    c.F = flagTables.sz53p[c.A] | half | (f & FN) | carry;
}

} // namespace z80
