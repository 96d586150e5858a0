// Flag results and the behaviour this core gives its instructions where the
// published Z80 leaves room or where the core deliberately departs from it.
#include "harness.h"

#include <gtest/gtest.h>

namespace {

CpuCore& loadAt(uint16_t pc, std::initializer_list<uint8_t> code) {
    CpuCore& c = freshCore();
    poke(pc, code);
    c.PC = pc;
    c.SP = 0x8000;
    return c;
}

// One instruction on A and B (or on A alone), flags in and out.
struct AluCase {
    const char* name;
    uint8_t code[2];
    uint8_t a, b, f;
    uint8_t wantA, wantF;
};

const AluCase aluCases[] = {
    {"ADD A,80h", {0xC6, 0x80}, 0x80, 0, 0x00, 0x00, 0x45},
    {"CP B takes 5,3 from B", {0xB8}, 0x10, 0x28, 0x00, 0x10, 0xBB},
    {"CP B equal", {0xB8}, 0x42, 0x42, 0x01, 0x42, 0x42},
    {"SUB B overflow", {0x90}, 0x80, 0x01, 0x00, 0x7F, 0x3E},
    {"SBC A,B with carry", {0x98}, 0x00, 0x00, 0x01, 0xFF, 0xBB},
    {"ADC A,B half carry", {0x88}, 0x0F, 0x00, 0x01, 0x10, 0x10},
    {"ADC A,B overflow", {0x88}, 0x7F, 0x00, 0x01, 0x80, 0x94},
    {"AND B", {0xA0}, 0xF0, 0x0F, 0xFF, 0x00, 0x54},
    {"XOR A", {0xAF}, 0x5A, 0, 0xFF, 0x00, 0x44},
    {"OR B", {0xB0}, 0x00, 0x28, 0x00, 0x28, 0x2C},
    {"INC A at 7Fh keeps C", {0x3C}, 0x7F, 0, 0x01, 0x80, 0x95},
    {"DEC A at 80h", {0x3D}, 0x80, 0, 0x00, 0x7F, 0x3E},
    {"INC B at FFh", {0x04}, 0x00, 0xFF, 0x00, 0x00, 0x50},
    {"DEC B at 01h", {0x05}, 0x00, 0x01, 0x01, 0x00, 0x43},
    {"NEG 80h", {0xED, 0x44}, 0x80, 0, 0x00, 0x80, 0x87},
    {"NEG 01h", {0xED, 0x44}, 0x01, 0, 0x00, 0xFF, 0xBB},
    {"DAA after ADD, C set", {0x27}, 0x73, 0, 0x01, 0xD3, 0x81},
    {"DAA 9Ah", {0x27}, 0x9A, 0, 0x00, 0x00, 0x55},
    {"DAA after SUB, H set", {0x27}, 0x0D, 0, 0x12, 0x07, 0x02},
    {"DAA after SUB, H kept", {0x27}, 0x03, 0, 0x12, 0xFD, 0xBA},
    {"DAA after SUB, C set", {0x27}, 0xFA, 0, 0x03, 0x94, 0x83},
    {"RLCA", {0x07}, 0x81, 0, 0xD6, 0x03, 0xC5},
    {"RRA", {0x1F}, 0x01, 0, 0x01, 0x80, 0x01},
    {"RLA", {0x17}, 0x94, 0, 0x00, 0x28, 0x29},
    {"RRCA", {0x0F}, 0x01, 0, 0x00, 0x80, 0x01},
    {"CPL", {0x2F}, 0x55, 0, 0x00, 0xAA, 0x3A},
    {"SCF takes 5,3 from A", {0x37}, 0x00, 0, 0x28, 0x00, 0x01},
    {"CCF", {0x3F}, 0xFF, 0, 0x01, 0xFF, 0x38},
    {"SLI B", {0xCB, 0x30}, 0x00, 0x80, 0x00, 0x00, 0x01},
    {"SRA A", {0xCB, 0x2F}, 0x81, 0, 0x00, 0xC0, 0x85},
    {"RL A", {0xCB, 0x17}, 0x80, 0, 0x00, 0x00, 0x45},
    {"BIT 7,A set", {0xCB, 0x7F}, 0x80, 0, 0x01, 0x80, 0x91},
    {"BIT 0,B clear takes 5,3 from B", {0xCB, 0x40}, 0x00, 0x28, 0x00, 0x00, 0x7C},
    {"BIT 3,B set", {0xCB, 0x58}, 0x00, 0x08, 0x00, 0x00, 0x18},
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

struct WordCase {
    const char* name;
    uint8_t code[2];
    uint16_t hl, operand;
    uint8_t f;
    uint16_t wantHl;
    uint8_t wantF;
};

// HL op DE (or IX op BC for the DD form).
const WordCase wordCases[] = {
    {"ADD HL,DE carry keeps S Z P/V", {0x19}, 0x8000, 0x8001, 0xC6, 0x0001, 0xC5},
    {"ADD HL,DE half carry", {0x19}, 0x0FFF, 0x0001, 0x00, 0x1000, 0x10},
    {"ADD HL,DE 5,3 from high byte", {0x19}, 0x2000, 0x0800, 0x00, 0x2800, 0x28},
    {"ADC HL,DE overflow", {0xED, 0x5A}, 0x7FFF, 0x0000, 0x01, 0x8000, 0x94},
    {"SBC HL,DE borrow", {0xED, 0x52}, 0x0000, 0x0001, 0x00, 0xFFFF, 0xBB},
    {"SBC HL,DE zero", {0xED, 0x52}, 0x1234, 0x1233, 0x01, 0x0000, 0x42},
    {"ADD IX,DE 5,3 from high byte", {0xDD, 0x19}, 0x2700, 0x0100, 0x00, 0x2800, 0x28},
};

TEST(Instructions, WordArithmeticFlags) {
    for (const WordCase& t : wordCases) {
        CpuCore& c = loadAt(0x1000, {t.code[0], t.code[1]});
        bool indexed = t.code[0] == 0xDD;
        (indexed ? c.IX : c.HL).w = t.hl;
        c.DE.w = t.operand;
        c.F = t.f;
        runInstruction(c);
        EXPECT_EQ((indexed ? c.IX : c.HL).w, t.wantHl) << t.name;
        EXPECT_EQ(c.F, t.wantF) << t.name;
    }
}

// BIT on memory: 5 and 3 come from the high byte of PC after the instruction,
// or of the indexed address.
TEST(Instructions, BitOnMemoryTakesUndocumentedBitsFromAddress) {
    CpuCore& c = loadAt(0x27FE, {0xCB, 0x46}); // next PC 2800h
    c.HL.w = 0x4000;
    c.F = 0x01;
    runInstruction(c);
    EXPECT_EQ(c.F, 0x7D);

    c = loadAt(0x1000, {0xDD, 0xCB, 0x05, 0x46});
    c.IX.w = 0x27FB; // IX+5 = 2800h, bit 0 clear
    c.F = 0x01;
    EXPECT_EQ(runTStates(c), 20);
    EXPECT_EQ(c.F, 0x7D);

    c = loadAt(0x1000, {0xFD, 0xCB, 0xFF, 0x7E}); // BIT 7,(IY-1)
    c.IY.w = 0x0801;
    testMemory[0x0800] = 0x80;
    runInstruction(c);
    EXPECT_EQ(c.F, 0x98);
}

TEST(Instructions, IndexedBitOperations) {
    CpuCore& c = loadAt(0x1000, {0xDD, 0xCB, 0x05, 0x06}); // RLC (IX+5)
    c.IX.w = 0x3000;
    testMemory[0x3005] = 0x81;
    EXPECT_EQ(runTStates(c), 23);
    EXPECT_EQ(testMemory[0x3005], 0x03);
    EXPECT_EQ(c.F, 0x05);

    // Forms that name a register as well change nothing at all.
    for (uint8_t op : {0x00, 0x47, 0x80, 0xC7, 0xFF}) {
        c = loadAt(0x1000, {0xDD, 0xCB, 0x05, op});
        c.IX.w = 0x3000;
        testMemory[0x3005] = 0x81;
        c.A = c.BC.hi = 0x81;
        c.F = 0xAA;
        EXPECT_EQ(runTStates(c), 15) << int(op);
        EXPECT_EQ(testMemory[0x3005], 0x81) << int(op);
        EXPECT_EQ(c.A, 0x81) << int(op);
        EXPECT_EQ(c.BC.hi, 0x81) << int(op);
        EXPECT_EQ(c.F, 0xAA) << int(op);
        EXPECT_EQ(c.PC, 0x1004);
        EXPECT_EQ(busEvents.size(), 4u) << int(op);
    }
}

TEST(Instructions, IndexHalvesAndMemoryOperands) {
    CpuCore& c = loadAt(0x1000, {0xDD, 0x65, 0xDD, 0x66, 0x05, 0xDD, 0xEB, 0xFD, 0x74, 0xFE});
    c.IX.w = 0x3012;
    c.IY.w = 0x4002;
    c.HL.w = 0xABCD;
    c.DE.w = 0x5555;
    testMemory[0x1217] = 0x99; // IX+5 after IXH = 12h
    runInstruction(c);         // LD IXH,IXL
    EXPECT_EQ(c.IX.w, 0x1212);
    runInstruction(c); // LD H,(IX+5)
    EXPECT_EQ(c.HL.w, 0x99CD);
    EXPECT_EQ(c.IX.w, 0x1212);
    runInstruction(c); // EX DE,HL
    EXPECT_EQ(c.DE.w, 0x99CD);
    EXPECT_EQ(c.HL.w, 0x5555);
    EXPECT_EQ(c.IX.w, 0x1212);
    runInstruction(c); // LD (IY-2),H
    EXPECT_EQ(testMemory[0x4000], 0x55);
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
}

TEST(Instructions, InterruptAndRefreshRegisterLoads) {
    CpuCore& c = loadAt(0x1000, {0xED, 0x57, 0xED, 0x5F, 0xED, 0x4F, 0xED, 0x47});
    c.I = 0x80;
    c.iff = 4;
    c.F = 0x01;
    EXPECT_EQ(runTStates(c), 9); // LD A,I: P/V is IFF2
    EXPECT_EQ(c.A, 0x80);
    EXPECT_EQ(c.F, 0x85);

    c.R = 0x7C; // two fetches bring it to 7Eh
    c.R7 = 0x80;
    c.iff = 2;
    EXPECT_EQ(runTStates(c), 9); // LD A,R: bit 7 from the last LD R,A
    EXPECT_EQ(c.A, 0xFE);
    EXPECT_EQ(c.F, 0xA9);

    c.A = 0x05;
    EXPECT_EQ(runTStates(c), 8); // LD R,A
    EXPECT_EQ(c.R, 0x05);
    EXPECT_EQ(c.R7 & 0x80, 0);

    EXPECT_EQ(runTStates(c), 9); // LD I,A
    EXPECT_EQ(c.I, 0x05);
}

TEST(Instructions, LoadRepeatCopiesAndCounts) {
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

    c = loadAt(0x1000, {0xED, 0xB8}); // LDDR, two bytes
    c.HL.w = 0x2001;
    c.DE.w = 0x3001;
    c.BC.w = 2;
    poke(0x2000, {0x11, 0x22});
    EXPECT_EQ(runTStates(c), 21);
    EXPECT_EQ(c.PC, 0x1000);
    EXPECT_EQ(c.F & 0x04, 0x04);
    EXPECT_EQ(runTStates(c), 16);
    EXPECT_EQ(c.PC, 0x1002);
    EXPECT_EQ(testMemory[0x3000], 0x11);
    EXPECT_EQ(testMemory[0x3001], 0x22);
    EXPECT_EQ(c.HL.w, 0x1FFF);
    EXPECT_EQ(c.DE.w, 0x2FFF);
    EXPECT_EQ(c.R, 4);

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

    c = loadAt(0x1000, {0xED, 0xA9}); // CPD, last count
    c.HL.w = 0x2000;
    c.BC.w = 1;
    c.A = 0x30;
    testMemory[0x2000] = 0x08;
    EXPECT_EQ(runTStates(c), 16);
    EXPECT_EQ(c.F, 0x3A); // 28h: bits 5 and 3, H; P/V clear
    EXPECT_EQ(c.HL.w, 0x1FFF);
}

TEST(Instructions, DigitRotates) {
    CpuCore& c = loadAt(0x1000, {0xED, 0x6F, 0xED, 0x67});
    c.HL.w = 0x2000;
    c.A = 0x12;
    c.F = 0x01;
    testMemory[0x2000] = 0x34;
    EXPECT_EQ(runTStates(c), 18); // RLD
    EXPECT_EQ(c.A, 0x13);
    EXPECT_EQ(testMemory[0x2000], 0x42);
    EXPECT_EQ(c.F, 0x01);
    runInstruction(c); // RRD
    EXPECT_EQ(c.A, 0x12);
    EXPECT_EQ(testMemory[0x2000], 0x34);
}

TEST(Instructions, PortAddressesAndFlags) {
    CpuCore& c = loadAt(0x1000, {0xDB, 0x9A, 0xED, 0x40, 0xED, 0x70, 0xD3, 0x10, 0xED, 0x71});
    c.A = 0x56;
    c.F = 0x00;
    runInstruction(c);
    EXPECT_EQ(busEvents.back().kind, 'I');
    EXPECT_EQ(busEvents.back().address, 0x569A);
    EXPECT_EQ(c.A, 0x56);
    c.BC.w = 0x1234;
    c.F = 0xD7;
    runInstruction(c); // IN B,(C) leaves F alone
    EXPECT_EQ(busEvents.back().address, 0x1234);
    EXPECT_EQ(c.BC.hi, 0x12);
    EXPECT_EQ(c.F, 0xD7);
    c.BC.w = 0x0034;
    runInstruction(c); // IN (C): read and dropped
    EXPECT_EQ(busEvents.back().address, 0x0034);
    EXPECT_EQ(c.F, 0xD7);
    c.A = 0x56;
    runInstruction(c); // OUT (10h),A
    EXPECT_EQ(busEvents.back().kind, 'O');
    EXPECT_EQ(busEvents.back().address, 0x5610);
    EXPECT_EQ(busEvents.back().data, 0x56);
    c.BC.w = 0xBEEF;
    runInstruction(c); // OUT (C),0
    EXPECT_EQ(busEvents.back().address, 0xBEEF);
    EXPECT_EQ(busEvents.back().data, 0x00);
}

TEST(Instructions, ReturnsAndInterruptModes) {
    CpuCore& c = loadAt(0x1000, {0xED, 0x45, 0xED, 0x4D});
    poke(0x8000, {0x34, 0x12});
    c.iff = 0;
    EXPECT_EQ(runTStates(c), 8); // RETN does nothing
    EXPECT_EQ(c.PC, 0x1002);
    EXPECT_EQ(c.SP, 0x8000);
    EXPECT_EQ(runTStates(c), 14); // RETI pops, iff untouched
    EXPECT_EQ(c.PC, 0x1234);
    EXPECT_EQ(c.SP, 0x8002);
    EXPECT_EQ(c.iff, 0);

    const uint8_t modes[][2] = {{0x46, 0}, {0x4E, 1}, {0x56, 2}, {0x5E, 3},
                                {0x66, 0}, {0x6E, 1}, {0x76, 2}, {0x7E, 3}};
    for (const auto& m : modes) {
        c = loadAt(0x1000, {0xED, m[0]});
        c.im = 0xFF;
        runInstruction(c);
        EXPECT_EQ(c.im, m[1]) << int(m[0]);
    }
}

TEST(Instructions, StackAndMemoryOrder) {
    CpuCore& c = loadAt(0x1000, {0xF5, 0xCD, 0x00, 0x20});
    c.A = 0xAB;
    c.F = 0xCD;
    runInstruction(c); // PUSH AF: A at SP-1 first
    ASSERT_EQ(busEvents.size(), 3u);
    EXPECT_EQ(busEvents[1].address, 0x7FFF);
    EXPECT_EQ(busEvents[1].data, 0xAB);
    EXPECT_EQ(busEvents[2].address, 0x7FFE);
    EXPECT_EQ(busEvents[2].data, 0xCD);
    busEvents.clear();
    runInstruction(c); // CALL 2000h pushes 1004h
    ASSERT_EQ(busEvents.size(), 5u);
    EXPECT_EQ(busEvents[3].address, 0x7FFD);
    EXPECT_EQ(busEvents[3].data, 0x10);
    EXPECT_EQ(busEvents[4].address, 0x7FFC);
    EXPECT_EQ(busEvents[4].data, 0x04);
    EXPECT_EQ(c.PC, 0x2000);

    c = loadAt(0x1000, {0xE3, 0x22, 0x00, 0x30}); // EX (SP),HL; LD (3000h),HL
    c.HL.w = 0x1234;
    poke(0x8000, {0x78, 0x56});
    runInstruction(c);
    EXPECT_EQ(c.HL.w, 0x5678);
    ASSERT_EQ(busEvents.size(), 5u);
    EXPECT_EQ(busEvents[3].address, 0x8001);
    EXPECT_EQ(busEvents[3].data, 0x12);
    EXPECT_EQ(busEvents[4].address, 0x8000);
    EXPECT_EQ(busEvents[4].data, 0x34);
    busEvents.clear();
    runInstruction(c);
    EXPECT_EQ(busEvents[3].address, 0x3000);
    EXPECT_EQ(busEvents[3].data, 0x78);
    EXPECT_EQ(busEvents[4].address, 0x3001);
    EXPECT_EQ(busEvents[4].data, 0x56);
}

TEST(Instructions, RelativeJumps) {
    CpuCore& c = loadAt(0x1000, {0x10, 0xFE});
    c.BC.hi = 2;
    EXPECT_EQ(runTStates(c), 13); // DJNZ to itself
    EXPECT_EQ(c.PC, 0x1000);
    EXPECT_EQ(c.BC.hi, 1);
    EXPECT_EQ(runTStates(c), 8);
    EXPECT_EQ(c.PC, 0x1002);
    EXPECT_EQ(c.BC.hi, 0);

    c = loadAt(0x1000, {0x18, 0x80}); // JR back 128
    runInstruction(c);
    EXPECT_EQ(c.PC, 0x0F82);
    c = loadAt(0x1000, {0xC0}); // RET NZ with Z set
    c.F = 0x40;
    EXPECT_EQ(runTStates(c), 5);
    EXPECT_EQ(busEvents.size(), 1u);
    EXPECT_EQ(c.PC, 0x1001);
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
