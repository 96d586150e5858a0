// Flag results and behaviour where this core departs from the published Z80
// or where the external vectors do not reach; the FUSE and SingleStepTests
// suites cover the ordinary cases.
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

// One instruction on A and B, flags in and out.
struct AluCase {
    const char* name;
    uint8_t code[2];
    uint8_t a, b, f;
    uint8_t wantA, wantF;
};

const AluCase aluCases[] = {
    {"ADD A,80h", {0xC6, 0x80}, 0x80, 0, 0x00, 0x00, 0x45},
    {"CP B takes 5,3 from B", {0xB8}, 0x10, 0x28, 0x00, 0x10, 0xBB},
    {"INC A at 7Fh keeps C", {0x3C}, 0x7F, 0, 0x01, 0x80, 0x95},
    {"DAA after ADD, C set", {0x27}, 0x73, 0, 0x01, 0xD3, 0x81},
    {"DAA 9Ah", {0x27}, 0x9A, 0, 0x00, 0x00, 0x55},
    {"DAA after SUB, H kept", {0x27}, 0x03, 0, 0x12, 0xFD, 0xBA},
    {"DAA after SUB, C set", {0x27}, 0xFA, 0, 0x03, 0x94, 0x83},
    {"SCF takes 5,3 from A alone", {0x37}, 0x00, 0, 0x28, 0x00, 0x01},
    {"CCF takes 5,3 from A alone", {0x3F}, 0x08, 0, 0x21, 0x08, 0x18},
    {"BIT 0,B takes 5,3 from B", {0xCB, 0x40}, 0x00, 0x28, 0x00, 0x00, 0x7C},
    {"BIT 7,A", {0xCB, 0x7F}, 0x80, 0, 0x01, 0x80, 0x91},
};

TEST(Instructions, AluFlags) {
    for (const AluCase& t : aluCases) {
        CpuCore& c = loadAt(0x1000, {t.code[0], t.code[1]});
        c.A = t.a;
        c.BC.hi = t.b;
        c.F = t.f;
        runInstruction(c);
        EXPECT_EQ(c.A, t.wantA) << t.name;
        EXPECT_EQ(c.F, t.wantF) << t.name;
    }
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

TEST(Instructions, ExtendedNoOperations) {
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

TEST(Instructions, IndexedBitRegisterFormsDoNothing) {
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

TEST(Instructions, IndexPrefixStandsInForHl) {
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

TEST(Instructions, PrefixChains) {
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

TEST(Instructions, RefreshCounting) {
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

TEST(Instructions, LoadRepeat) {
    CpuCore& c = loadAt(0x1000, {0xED, 0xB0});
    c.HL.w = 0x2000;
    c.DE.w = 0x3000;
    c.BC.w = 1;
    c.A = 0x0A; // bits 1 and 3 set: 5 and 3 copied from them
    c.F = 0xC5;
    testMemory[0x2000] = 0x77;
    EXPECT_EQ(runTStates(c), 16);
    EXPECT_EQ(testMemory[0x3000], 0x77);
    EXPECT_EQ(c.F, 0xE9);
    EXPECT_EQ(c.PC, 0x1002);

    // BC = 0 wraps to FFFFh first: 65536 copies (onto themselves here).
    c = loadAt(0x1000, {0xED, 0xB0});
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

TEST(Instructions, CompareRepeatStopsOnMatch) {
    CpuCore& c = loadAt(0x1000, {0xED, 0xB1});
    c.HL.w = 0x2000;
    c.BC.w = 5;
    c.A = 0x42;
    c.F = 0x01;
    poke(0x2000, {0x50, 0x42});
    EXPECT_EQ(runTStates(c), 21);
    // 42h - 50h = F2h: S and 5 from the difference, no half borrow, C kept
    EXPECT_EQ(c.F, 0xA7);
    EXPECT_EQ(runTStates(c), 16);
    EXPECT_EQ(c.F, 0x47);
    EXPECT_EQ(c.BC.w, 3);
    EXPECT_EQ(c.HL.w, 0x2002);
    EXPECT_EQ(c.PC, 0x1002);
}

TEST(Instructions, ReturnsAndInterruptModes) {
    CpuCore& c = busyCore({0xED, 0x4D});
    c.iff = 4; // RETI leaves IFF1 clear
    EXPECT_EQ(runTStates(c), 14);
    EXPECT_EQ(c.PC, 0x1234);
    EXPECT_EQ(c.SP, 0x8002);
    EXPECT_EQ(c.iff, 4);

    const uint8_t modes[][2] = {{0x46, 0}, {0x4E, 1}, {0x56, 2}, {0x5E, 3},
                                {0x66, 0}, {0x6E, 1}, {0x76, 2}, {0x7E, 3}};
    for (const auto& m : modes) {
        c = loadAt(0x1000, {0xED, m[0]});
        c.im = 0xFF;
        runInstruction(c);
        EXPECT_EQ(c.im, m[1]) << int(m[0]);
    }
}

TEST(Instructions, HaltRepeatsItself) {
    CpuCore& c = loadAt(0x1000, {0x76});
    for (int pass = 1; pass <= 3; pass++) {
        EXPECT_EQ(runTStates(c), 4);
        EXPECT_EQ(c.PC, 0x1000);
        EXPECT_EQ(c.R, pass);
    }
}

} // namespace
