// The interrupt acknowledge and the machine's side of the stepping contract.
#include "harness.h"

#include <gtest/gtest.h>

namespace {

CpuCore& readyAt(uint16_t pc, uint8_t im) {
    CpuCore& c = freshCore();
    c.PC = pc;
    c.SP = 0x8000;
    c.iff = 6;
    c.im = im;
    return c;
}

// beginInterrupt plus the pass that follows; returns the T-states charged.
int acknowledge(CpuCore& c) {
    int32_t before = c.cycleBudget;
    beginInterrupt(c);
    if (!atInstructionStart(c)) runInstruction(c);
    return (before - c.cycleBudget) / 256;
}

TEST(CpuInterrupts, ModesBelowThreeCallRst38) {
    for (uint8_t im : {0, 1, 2}) {
        CpuCore& c = readyAt(0x1234, im);
        int32_t before = c.cycleBudget;
        beginInterrupt(c);
        EXPECT_EQ(before - c.cycleBudget, 7 * 256) << "acknowledge cycle, im " << int(im);
        runInstruction(c);
        EXPECT_EQ(before - c.cycleBudget, 13 * 256) << int(im);
        EXPECT_EQ(c.PC, 0x0038);
        EXPECT_EQ(c.SP, 0x7FFE);
        EXPECT_EQ(c.iff, 0);
        ASSERT_EQ(busEvents.size(), 2u);
        EXPECT_EQ(busEvents[0].kind, 'W');
        EXPECT_EQ(busEvents[0].address, 0x7FFF);
        EXPECT_EQ(busEvents[0].data, 0x12);
        EXPECT_EQ(busEvents[1].address, 0x7FFE);
        EXPECT_EQ(busEvents[1].data, 0x34);
        EXPECT_TRUE(atInstructionStart(c));
    }
}

TEST(CpuInterrupts, ModeThreeReadsVectorAtIFF) {
    CpuCore& c = readyAt(0x1234, 3);
    c.I = 0x20;
    poke(0x20FF, {0x78, 0x56});
    EXPECT_EQ(acknowledge(c), 19);
    EXPECT_EQ(c.PC, 0x5678);
    EXPECT_EQ(c.SP, 0x7FFE);
    EXPECT_EQ(c.iff, 0);
    ASSERT_EQ(busEvents.size(), 4u);
    EXPECT_EQ(busEvents[1].address, 0x7FFE);
    EXPECT_EQ(busEvents[2].kind, 'R');
    EXPECT_EQ(busEvents[2].address, 0x20FF);
    EXPECT_EQ(busEvents[3].address, 0x2100);
    EXPECT_TRUE(atInstructionStart(c));

    c = readyAt(0x1234, 3);
    c.I = 0xFF; // the high byte's address wraps to 0
    poke(0xFFFF, {0xCD});
    poke(0x0000, {0xAB});
    EXPECT_EQ(acknowledge(c), 19);
    EXPECT_EQ(c.PC, 0xABCD);
}

TEST(CpuInterrupts, DroppedWhileIff1Clear) {
    for (uint8_t iff : {0, 4}) {
        CpuCore& c = readyAt(0x1234, 2);
        c.iff = iff;
        c.cycleBudget = 5000;
        beginInterrupt(c);
        EXPECT_EQ(c.cycleBudget, 5000);
        EXPECT_EQ(c.iff, iff);
        EXPECT_EQ(c.SP, 0x8000);
        EXPECT_EQ(c.PC, 0x1234);
        EXPECT_TRUE(atInstructionStart(c));
        runInstruction(c); // the NOP at 1234h, not an acknowledge
        EXPECT_EQ(c.PC, 0x1235);
        EXPECT_TRUE(busEvents.size() == 1 && busEvents[0].kind == 'F');
    }
}

TEST(CpuInterrupts, LeaveHalt) {
    // Looping on HALT, and sitting on a HALT not yet run: both return past it.
    for (int haltPasses : {3, 0}) {
        CpuCore& c = readyAt(0x1000, 2);
        poke(0x1000, {0x76});
        for (int i = 0; i < haltPasses; i++)
            runInstruction(c);
        EXPECT_EQ(c.PC, 0x1000);
        busEvents.clear();
        EXPECT_EQ(acknowledge(c), 13);
        EXPECT_EQ(busEvents.size(), 2u); // the HALT test reads memory off the bus
        EXPECT_EQ(c.PC, 0x0038);
        EXPECT_EQ(c.SP, 0x7FFE);
        EXPECT_EQ(testMemory[0x7FFF], 0x10);
        EXPECT_EQ(testMemory[0x7FFE], 0x01);
        EXPECT_EQ(c.iff, 0);
    }
}

TEST(CpuInterrupts, AcceptedRightAfterEi) {
    CpuCore& c = readyAt(0x1000, 3);
    c.iff = 0;
    c.I = 0x30;
    poke(0x1000, {0xFB, 0xF3});
    poke(0x30FF, {0x00, 0x40});
    runInstruction(c);
    EXPECT_EQ(c.iff, 6);
    EXPECT_EQ(acknowledge(c), 19);
    EXPECT_EQ(c.PC, 0x4000);
    EXPECT_EQ(testMemory[0x7FFE], 0x01);

    c = readyAt(0x1001, 2); // DI clears both
    poke(0x1001, {0xF3});
    runInstruction(c);
    EXPECT_EQ(c.iff, 0);
}

TEST(CpuDriverContract, FirstPassFetchesAddressZero) {
    CpuCore& c = freshCore();
    poke(0, {0x01, 0x34, 0x12}); // LD BC,1234h
    const int charges[] = {4, 3, 3};
    for (int step = 0; step < 3; step++) {
        c.busFn(c);
        EXPECT_EQ(busEvents.back().kind, 'F');
        EXPECT_EQ(busEvents.back().address, step);
        EXPECT_EQ(c.PC, step + 1);
        int32_t before = c.cycleBudget;
        c.stepFn(c);
        EXPECT_EQ(before - c.cycleBudget, charges[step] * 256);
        EXPECT_EQ(c.stepFn == decodeOpcode, step == 2) << "after bus operation " << step + 1;
    }
    EXPECT_EQ(c.BC.w, 0x1234);
    EXPECT_EQ(c.cycleBudget, -2560);
    EXPECT_TRUE(atInstructionStart(c));
}

TEST(CpuDriverContract, OverdraftCarriesIntoNextStretch) {
    CpuCore& c = freshCore(); // NOPs everywhere
    auto runStretch = [&c](int32_t units) {
        c.cycleBudget += units;
        int instructions = 0;
        while (c.cycleBudget >= 0) {
            runInstruction(c);
            instructions++;
        }
        return instructions;
    };
    EXPECT_EQ(runStretch(1), 1);
    EXPECT_EQ(c.cycleBudget, 1 - 1024);
    EXPECT_EQ(runStretch(2048), 2);
    EXPECT_EQ(c.cycleBudget, 1 - 1024);
    EXPECT_EQ(c.PC, 3);
}

} // namespace
