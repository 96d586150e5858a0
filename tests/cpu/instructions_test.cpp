// Flag results and behaviour where this core departs from the published Z80
// or where the external vectors do not reach; the FUSE and SingleStepTests
// suites cover the ordinary cases, the single passes of the block
// instructions among them.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

CpuCore& loadAt(uint16_t pc, std::initializer_list<uint8_t> code) {
    CpuCore& c = freshCore();
    poke(pc, code);
    c.PC = pc;
    c.SP = 0x8000;
    return c;
}

// The flag rules written out plainly, to check the core's tables on every input.
uint8_t signZero53(uint8_t v) { return (v & 0xA8) | (v ? 0 : 0x40); }
uint8_t parity(uint8_t v) { return __builtin_parity(v) ? 0 : 0x04; }

// ALU operation `op` (ADD ADC SUB SBC AND XOR OR CP) on A and b; returns the new A.
uint8_t aluRule(int op, uint8_t a, uint8_t b, bool carry, uint8_t& f) {
    int cin = (op == 1 || op == 3) && carry;
    if (op >= 4 && op <= 6) {
        uint8_t r = op == 4 ? a & b : op == 5 ? a ^ b : a | b;
        f = signZero53(r) | parity(r) | (op == 4 ? 0x10 : 0);
        return r;
    }
    bool add = op < 2;
    int wide = add ? a + b + cin : a - b - cin;
    uint8_t r = wide;
    bool half = add ? (a & 15) + (b & 15) + cin > 15 : (a & 15) < (b & 15) + cin;
    bool overflow = (add ? ~(a ^ b) : (a ^ b)) & (a ^ r) & 0x80;
    f = (signZero53(r) & (op == 7 ? 0xD7 : 0xFF)) | (op == 7 ? b & 0x28 : 0) | (half ? 0x10 : 0) |
        (overflow ? 0x04 : 0) | (add ? 0 : 0x02) | ((wide & 0x100) ? 0x01 : 0);
    return op == 7 ? a : r;
}

// DAA on A with flags f; sets f to the result flags.
uint8_t daaRule(uint8_t a, uint8_t& f) {
    bool n = f & 0x02, h = f & 0x10, carry = (f & 0x01) || a > 0x99;
    uint8_t adjust = (h || (a & 15) > 9 ? 0x06 : 0) | (carry ? 0x60 : 0);
    uint8_t r = n ? a - adjust : a + adjust;
    bool half = n ? h && (a & 15) < 6 : (a & 15) > 9;
    f = signZero53(r) | parity(r) | (half ? 0x10 : 0) | (n ? 0x02 : 0) | (carry ? 0x01 : 0);
    return r;
}

TEST(CpuInstructions, AluOnEveryInput) {
    CpuCore& c = freshCore();
    int mismatches = 0;
    for (int op = 0; op < 8; op++) {
        testMemory[0] = 0x80 | op << 3; // op A,B
        for (int v = 0; v < 0x20000; v++) {
            uint8_t a = v, b = v >> 8, f, carry = v >> 16;
            uint8_t wantA = aluRule(op, a, b, carry, f);
            c.PC = 0;
            c.A = a;
            c.BC.hi = b;
            c.F = carry ? 0xFF : 0x00;
            runInstruction(c);
            if ((c.A != wantA || c.F != f) && ++mismatches <= 20)
                ADD_FAILURE() << "op " << op << std::hex << " A=" << int(a) << " B=" << int(b)
                              << " C=" << int(carry) << ": A " << int(wantA) << "/" << int(c.A)
                              << " F " << int(f) << "/" << int(c.F);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(CpuInstructions, DaaIncDecOnEveryInput) {
    CpuCore& c = freshCore();
    poke(0, {0x27, 0x04, 0x05}); // DAA, INC B, DEC B
    int mismatches = 0;
    auto check = [&](const char* name, int v, uint8_t want, uint8_t got, uint8_t wantF) {
        if ((got != want || c.F != wantF) && ++mismatches <= 20)
            ADD_FAILURE() << name << std::hex << " input " << v << ": " << int(want) << "/"
                          << int(got) << " F " << int(wantF) << "/" << int(c.F);
    };
    for (int v = 0; v < 0x800; v++) {
        uint8_t a = v, f = (v & 0x100 ? 0x01 : 0) | (v & 0x200 ? 0x02 : 0) | (v & 0x400 ? 0x10 : 0);
        f |= a & 1 ? 0xEC : 0; // bits DAA must ignore
        c.PC = 0;
        c.A = a;
        c.F = f;
        runInstruction(c);
        uint8_t wantA = daaRule(a, f);
        check("DAA", v, wantA, c.A, f);
    }
    for (int v = 0; v < 0x200; v++) {
        uint8_t b = v, carry = v >> 8;
        c.PC = 1;
        c.BC.hi = b;
        c.F = carry;
        runInstruction(c); // INC B
        uint8_t r = b + 1;
        check("INC", v, r, c.BC.hi,
              signZero53(r) | ((b & 15) == 15 ? 0x10 : 0) | (b == 0x7F ? 0x04 : 0) | carry);
        c.BC.hi = b;
        c.F = carry;
        runInstruction(c); // DEC B
        r = b - 1;
        check("DEC", v, r, c.BC.hi,
              signZero53(r) | ((b & 15) == 0 ? 0x10 : 0) | (b == 0x80 ? 0x04 : 0) | 0x02 | carry);
    }
    EXPECT_EQ(mismatches, 0);
}

// ADD HL,DE (kind 0), ADC HL,DE (1), SBC HL,DE (2); sets f to the result flags.
uint16_t wordRule(int kind, uint16_t hl, uint16_t de, uint8_t& f) {
    int cin = kind ? f & 1 : 0;
    bool add = kind < 2;
    int wide = add ? hl + de + cin : hl - de - cin;
    uint16_t r = wide;
    bool half = add ? (hl & 0xFFF) + (de & 0xFFF) + cin > 0xFFF : (hl & 0xFFF) < (de & 0xFFF) + cin;
    bool overflow = (add ? ~(hl ^ de) : (hl ^ de)) & (hl ^ r) & 0x8000;
    uint8_t carries = (half ? 0x10 : 0) | ((wide & 0x10000) ? 0x01 : 0);
    if (kind == 0)
        f = (f & 0xC4) | ((r >> 8) & 0x28) | carries;
    else
        f = ((r >> 8) & 0xA8) | (r ? 0 : 0x40) | (overflow ? 0x04 : 0) | (add ? 0 : 0x02) | carries;
    return r;
}

TEST(CpuInstructions, WordArithmeticOnSampledInputs) {
    CpuCore& c = freshCore();
    poke(0, {0x19, 0xED, 0x5A, 0xED, 0x52}); // ADD HL,DE; ADC HL,DE; SBC HL,DE
    const uint16_t starts[] = {0, 1, 3};
    uint32_t seed = 12345;
    int mismatches = 0;
    for (int i = 0; i < 60000; i++) {
        seed = seed * 1103515245 + 12345;
        int kind = i % 3;
        uint16_t hl = seed >> 8, de = i % 5 ? seed >> 16 ^ seed : hl ^ 0x8000;
        uint8_t f = seed >> 24, wantF = f;
        uint16_t wantHl = wordRule(kind, hl, de, wantF);
        c.PC = starts[kind];
        c.HL.w = hl;
        c.DE.w = de;
        c.F = f;
        runInstruction(c);
        if ((c.HL.w != wantHl || c.F != wantF) && ++mismatches <= 20)
            ADD_FAILURE() << "kind " << kind << std::hex << " HL=" << hl << " DE=" << de
                          << " F=" << int(f) << ": HL " << wantHl << "/" << c.HL.w << " F "
                          << int(wantF) << "/" << int(c.F);
    }
    EXPECT_EQ(mismatches, 0);
}

// A state where every register differs, to see that nothing moves.
CpuCore& busyCore(std::initializer_list<uint8_t> code) {
    CpuCore& c = loadAt(0x1000, code);
    loadRegisters(c, {0x12D7, 0x3456, 0x789A, 0xBCDE, 0xF012, 0x3344, 0x5566, 0x7788, 0x99AA,
                      0xBBCC, 0x8000, 0x1000, 0x47, 0x11, 1, 1, 1});
    poke(0x8000, {0x34, 0x12});
    return c;
}

void expectUntouched(const CpuCore& c, const RegisterFile& before, int length, int fetches) {
    RegisterFile want = before;
    want.pc += length;
    want.r += fetches;
    EXPECT_EQ(registerDifferences(want, captureRegisters(c)), "");
}

TEST(CpuInstructions, ExtendedNoOperations) {
    // Undefined ED opcodes, RETN and its copies, and block I/O.
    for (int op = 0; op < 256; op++) {
        bool blockMove = (op & 0xE6) == 0xA0; // LDI CPI LDD CPD and repeats
        bool defined =
            op >= 0x40 && op < 0x80 && op != 0x77 && op != 0x7F && ((op & 7) != 5 || op == 0x4D);
        if (blockMove || defined) continue;
        CpuCore& c = busyCore({0xED, uint8_t(op)});
        RegisterFile before = captureRegisters(c);
        EXPECT_EQ(runTStates(c), 8) << std::hex << op;
        expectUntouched(c, before, 2, 2);
    }
}

TEST(CpuInstructions, IndexedBitRegisterFormsDoNothing) {
    for (uint8_t prefix : {0xDD, 0xFD})
        for (int op = 0; op < 256; op++) {
            if ((op & 7) == 6) continue;
            CpuCore& c = busyCore({prefix, 0xCB, 0x05, uint8_t(op)});
            testMemory[0x99AF] = testMemory[0xBBD1] = 0x81; // (IX+5), (IY+5)
            RegisterFile before = captureRegisters(c);
            EXPECT_EQ(runTStates(c), 15) << std::hex << op;
            expectUntouched(c, before, 4, 3);
            EXPECT_TRUE(testMemory[0x99AF] == 0x81 && testMemory[0xBBD1] == 0x81) << std::hex << op;
        }
}

// (HL) operands become (IX+d) and take a displacement; everything else under
// DD/FD must behave exactly as the plain opcode run with HL holding IX or IY,
// four T-states and one R step later.
bool takesDisplacement(int op) {
    bool load = op >= 0x40 && op < 0x80 && op != 0x76 && ((op & 7) == 6 || (op & 0xF8) == 0x70);
    bool alu = op >= 0x80 && op < 0xC0 && (op & 7) == 6;
    return load || alu || op == 0x34 || op == 0x35 || op == 0x36;
}

TEST(CpuInstructions, IndexPrefixStandsInForHl) {
    static uint8_t plainMemory[65536];
    for (uint8_t prefix : {0xDD, 0xFD})
        for (int op = 0; op < 256; op++) {
            // prefixes, EX DE,HL and EXX, which never involve IX or IY
            bool excluded =
                op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD || op == 0xEB || op == 0xD9;
            if (excluded || takesDisplacement(op)) continue;
            for (uint8_t flags : {0x00, 0xFF}) {
                CpuCore& c = busyCore({prefix, uint8_t(op), 0x34, 0x12});
                c.F = flags;
                RegisterFile before = captureRegisters(c);
                RegisterFile plainStart = before;
                plainStart.hl = prefix == 0xDD ? before.ix : before.iy;
                plainStart.pc = 0x1001;
                loadRegisters(c, plainStart);
                int plainTStates = runTStates(c);
                RegisterFile want = captureRegisters(c);
                std::memcpy(plainMemory, testMemory, sizeof plainMemory);

                c = busyCore({prefix, uint8_t(op), 0x34, 0x12});
                c.F = flags;
                EXPECT_EQ(runTStates(c), plainTStates + 4) << std::hex << op;
                (prefix == 0xDD ? want.ix : want.iy) = want.hl;
                want.hl = before.hl;
                want.r = (want.r & 0x80) | ((want.r + 1) & 0x7F);
                EXPECT_EQ(registerDifferences(want, captureRegisters(c)), "")
                    << std::hex << int(prefix) << ' ' << op << " F=" << int(flags);
                EXPECT_EQ(std::memcmp(plainMemory, testMemory, sizeof plainMemory), 0) << op;
            }
        }
}

TEST(CpuInstructions, PrefixChains) {
    // The last of several DD/FD prefixes picks the index register.
    CpuCore& c = loadAt(0x1000, {0xDD, 0xFD, 0x21, 0x34, 0x12});
    EXPECT_EQ(runTStates(c), 18);
    EXPECT_EQ(c.IY.w, 0x1234);
    EXPECT_EQ(c.IX.w, 0);
    EXPECT_EQ(c.R, 3);

    c = loadAt(0x1000, {0xFD, 0xDD, 0xDD, 0x21, 0x34, 0x12});
    EXPECT_EQ(runTStates(c), 22);
    EXPECT_EQ(c.IX.w, 0x1234);
    EXPECT_EQ(c.IY.w, 0);

    // A DD before ED only costs its fetch.
    c = loadAt(0x1000, {0xDD, 0xED, 0x6B, 0x00, 0x20}); // LD HL,(2000h)
    poke(0x2000, {0x78, 0x56});
    EXPECT_EQ(runTStates(c), 24);
    EXPECT_EQ(c.HL.w, 0x5678);
    EXPECT_EQ(c.IX.w, 0);

    // EX DE,HL never involves IX.
    c = loadAt(0x1000, {0xDD, 0xEB});
    c.HL.w = 0x1111;
    c.DE.w = 0x2222;
    c.IX.w = 0x3333;
    runInstruction(c);
    EXPECT_EQ(c.HL.w, 0x2222);
    EXPECT_EQ(c.DE.w, 0x1111);
    EXPECT_EQ(c.IX.w, 0x3333);
}

// The raw `im` code each IM opcode stores, from every other code: 0 for IM 0,
// 1 for the undocumented ED 4E/6E form, 2 for IM 1, 3 for IM 2 (the register
// views of the external suites fold codes 0 and 1 together).
TEST(CpuInstructions, InterruptModeCodes) {
    const uint8_t codes[][2] = {{0x46, 0}, {0x66, 0}, {0x4E, 1}, {0x6E, 1},
                                {0x56, 2}, {0x76, 2}, {0x5E, 3}, {0x7E, 3}};
    for (const auto& [opcode, code] : codes)
        for (uint8_t before = 0; before < 4; before++) {
            if (before == code) continue;
            CpuCore& c = loadAt(0x1000, {0xED, opcode});
            c.im = before;
            runInstruction(c);
            EXPECT_EQ(c.im, code) << "ED " << std::hex << int(opcode) << " from " << int(before);
            EXPECT_EQ(c.PC, 0x1002);
        }
}

TEST(CpuInstructions, RefreshCounting) {
    struct {
        uint8_t code[4];
        uint8_t increments;
    } const cases[] = {
        {{0x00}, 1},       {{0xCB, 0x00}, 2},       {{0xED, 0x00}, 2},
        {{0xDD, 0x00}, 2}, {{0xFD, 0x21, 0, 0}, 2}, {{0xDD, 0xCB, 0x01, 0x06}, 3},
        {{0xDD, 0xDD}, 3}, {{0xFD, 0xCB, 0x01}, 3},
    };
    for (const auto& t : cases) {
        CpuCore& c = loadAt(0x1000, {t.code[0], t.code[1], t.code[2], t.code[3]});
        c.R = 0xFE; // all eight bits count, so this wraps through zero
        runInstruction(c);
        EXPECT_EQ(c.R, uint8_t(0xFE + t.increments)) << int(t.code[0]) << ' ' << int(t.code[1]);
    }

    // LD A,R takes bit 7 from the last LD R,A, not from the counter.
    CpuCore& c = loadAt(0x1000, {0xED, 0x4F, 0xED, 0x5F});
    c.A = 0xFE;
    EXPECT_EQ(runTStates(c), 8);
    EXPECT_EQ(c.R, 0xFE);
    c.iff = 4;
    runInstruction(c); // counter wraps to 00h
    EXPECT_EQ(c.A, 0x80);
    EXPECT_EQ(c.F, 0x84); // S, and P/V = IFF2

    c = loadAt(0x1000, {0xED, 0x4F, 0xED, 0x5F});
    c.A = 0x7E;
    runInstruction(c);
    runInstruction(c); // counter 80h, loaded bit 7 clear
    EXPECT_EQ(c.R, 0x80);
    EXPECT_EQ(c.A, 0x00);
    EXPECT_EQ(c.F, 0x40);
}

// BC = 0 wraps to FFFFh first: 65536 copies (onto themselves here).
TEST(CpuInstructions, LoadRepeatFromZeroCountCopiesAllMemory) {
    CpuCore& c = loadAt(0x1000, {0xED, 0xB0});
    c.HL.w = c.DE.w = 0x4000;
    int passes = 0;
    while (c.PC == 0x1000 && passes < 70000) {
        runInstruction(c);
        passes++;
    }
    EXPECT_EQ(passes, 65536);
    EXPECT_EQ(c.BC.w, 0);
    EXPECT_EQ(c.HL.w, 0x4000);
}

// From a count of zero the block compares wrap the count to FFFFh, which
// still leaves P/V set; CPIR goes on searching.
TEST(CpuInstructions, BlockCompareFromZeroCountWraps) {
    for (uint8_t op : {0xA1, 0xB1}) {
        CpuCore& c = loadAt(0x1000, {0xED, op});
        c.HL.w = 0x4000;
        c.A = 0x5A;
        runInstruction(c);
        EXPECT_EQ(c.BC.w, 0xFFFF) << "ED " << int(op);
        EXPECT_TRUE(c.F & 0x04) << "ED " << int(op);
        EXPECT_EQ(c.PC, op == 0xB1 ? 0x1000 : 0x1002) << "ED " << int(op);
    }
}

// Unlike the Z80, RETI leaves IFF1 as it was rather than copying IFF2.
TEST(CpuInstructions, RetiKeepsIff1) {
    CpuCore& c = busyCore({0xED, 0x4D});
    c.iff = 4;
    EXPECT_EQ(runTStates(c), 14);
    EXPECT_EQ(c.PC, 0x1234);
    EXPECT_EQ(c.SP, 0x8002);
    EXPECT_EQ(c.iff, 4);
}

TEST(CpuInstructions, HaltRepeatsItself) {
    CpuCore& c = loadAt(0x1000, {0x76});
    for (int pass = 1; pass <= 3; pass++) {
        EXPECT_EQ(runTStates(c), 4);
        EXPECT_EQ(c.PC, 0x1000);
        EXPECT_EQ(c.R, pass);
    }
}

} // namespace
