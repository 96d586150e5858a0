// The driver: start-up, the frame budget and its carry, the frame interrupt,
// the frame-phase bit, and the end of frame.
#include "tiamc_fixture.h"

namespace {

using DriverTest = TiaTest;

constexpr int32_t frameGrant = 8960000;

// After a lead-in, records the value of port 0xD2 at every pass, 36
// T-states apart, from 0xC000 upwards.
Z80Emitter phaseRecorder(std::initializer_list<uint8_t> leadIn = {}) {
    Z80Emitter z;
    z.op(leadIn).ldHl(0xC000);                              // 10 T
    z.label("loop").inA(0xD2).ldAtHlA().incHl().jr("loop"); // 11 + 7 + 6 + 12 T
    return z;
}

// Enables interrupts, then halts at 0x1234; the interrupt counts itself at
// 0xC100, and the code after the HALT marks 0xC200.
Z80Emitter haltProgram() {
    Z80Emitter z;
    z.ldSp(0xFF00).im1().ei().jp("halted");
    z.org(0x38).ldAMem(0xC100).incA().ldMemA(0xC100).ei().reti();
    z.org(0x1234).label("halted").halt();
    z.ldA(0x77).ldMemA(0xC200).label("spin").jr("spin");
    return z;
}

TEST_F(DriverTest, StartUpShowsTheWindowThenReadiesTheCore) {
    std::memset(tiaBoard.colourTable, 0, sizeof tiaBoard.colourTable);
    start(RomModel::tiaMc1, phaseRecorder());
    const std::vector<std::string> calls = {"mute", "show", "size 960x768"};
    EXPECT_EQ(testHost.calls, calls);
    EXPECT_EQ(testHost.console, "Model: TIA-MC-1\n");
    EXPECT_NE(FrameBuffer, nullptr);
    EXPECT_EQ(tiaBoard.colourTable[0xFF], 0xFFD8E8u);
    EXPECT_EQ(cpuCore.PC, 0);
    EXPECT_EQ(cpuCore.cycleBudget, 0);
    EXPECT_EQ(cpuCore.memory, tiaBoard.boardMemory);
    EXPECT_EQ(cpuCore.stepFn, decodeOpcode);
    EXPECT_EQ(cpuCore.busFn, cpuCore.fetchFn);
    EXPECT_EQ(cpuCore.cost3, 768);
    EXPECT_EQ(cpuCore.cost11, 2816);
}

TEST_F(DriverTest, MissingRomSetIsFatal) {
    try {
        startTiaMachine("/nonexistent/Derev.tia");
        FAIL() << "start-up went on without its ROM set";
    } catch (const FatalError& e) {
        EXPECT_STREQ(e.what(), "Can't open file!");
    }
    EXPECT_EQ(testHost.count("show"), 0);
}

TEST_F(DriverTest, BudgetGrantCarriesTheOverdraft) {
    start(RomModel::tiaMc1, haltProgram());
    beginTiaFrame();
    EXPECT_EQ(cpuCore.cycleBudget, frameGrant); // iff is 0 at power-on: no acknowledge
    EXPECT_EQ(cpuCore.PC, 0);
    cpuCore.cycleBudget = -1000;
    beginTiaFrame();
    EXPECT_EQ(cpuCore.cycleBudget, 8959000);
    cpuCore.cycleBudget = -1000;
    cpuCore.SP = 0xFF00;
    cpuCore.iff = 6;
    beginTiaFrame();
    EXPECT_EQ(cpuCore.cycleBudget, 8957208); // the acknowledge costs 7 T-states
    runFrameInstructions();
    EXPECT_LT(cpuCore.cycleBudget, 0);
    EXPECT_GT(cpuCore.cycleBudget, -23 * 256);
}

// The IN of pass k starts lead-in + 10 + 36k T-states into the frame; the
// bit is set before the first instruction that starts more than 5000
// T-states in. A 22 T-state lead-in starts the IN of pass 138 exactly at
// 5000, a 23 T-state one a T-state later.
TEST_F(DriverTest, FramePhaseBitRisesAfter5000TStates) {
    struct Case {
        RomModel model;
        std::initializer_list<uint8_t> leadIn;
        int zeros;
    };
    const Case cases[] = {
        {RomModel::tiaMc1, {}, 139},
        {RomModel::tiaMc2, {}, 139},
        {RomModel::tiaMc1, {0x11, 0, 0, 0, 0, 0}, 139}, // LD DE,nn; 3 x NOP
        {RomModel::tiaMc1, {0, 0, 0, 0, 0x3E, 0}, 138}, // 4 x NOP; LD A,n
    };
    for (const Case& c : cases) {
        SetUp();
        start(c.model, phaseRecorder(c.leadIn));
        const uint8_t early = c.model == RomModel::tiaMc2 ? 0x60 : 0x00;
        runTiaFrame();
        const uint8_t* record = tiaBoard.boardMemory + 0xC000;
        const int passes = cpuCore.HL.w - 0xC000;
        EXPECT_GE(passes, 35000 / 36 - 1);
        EXPECT_LE(passes, 35000 / 36 + 1);
        for (int k = 0; k < passes; ++k) {
            ASSERT_EQ(record[k], k < c.zeros ? early : early | 0x80) << "pass " << k;
        }
        runTiaFrame(); // cleared again at the next frame start
        EXPECT_EQ(record[passes + 1], early);
        EXPECT_EQ(record[passes + 137], early);
        EXPECT_EQ(record[passes + 140], early | 0x80);
    }
}

TEST_F(DriverTest, InterruptWaitsForAFrameStartWithIff1Set) {
    start(RomModel::tiaMc1, haltProgram());
    runTiaFrame(); // EI comes too late for this frame's interrupt
    EXPECT_EQ(tiaBoard.boardMemory[0xC100], 0);
    EXPECT_EQ(tiaBoard.boardMemory[0xC200], 0);
    EXPECT_EQ(cpuCore.PC, 0x1234);
    runTiaFrame();
    EXPECT_EQ(tiaBoard.boardMemory[0xC100], 1);
    EXPECT_EQ(tiaBoard.boardMemory[0xC200], 0x77); // resumed after the HALT
    EXPECT_EQ(tiaBoard.boardMemory[0xFEFE], 0x35);
    EXPECT_EQ(tiaBoard.boardMemory[0xFEFF], 0x12);
    runTiaFrame();
    EXPECT_EQ(tiaBoard.boardMemory[0xC100], 2);
    cpuCore.iff = 0;
    runTiaFrame();
    EXPECT_EQ(tiaBoard.boardMemory[0xC100], 2);
}

// Memory from 0x0100 to 0xBFFF full of DD prefixes is one chain of some five
// frames' length: each frame still ends on time, no interrupt lands inside the
// chain, and the restart keys put the processor back at an instruction start.
TEST_F(DriverTest, ChainOfPrefixesEndsEachFrameOnTime) {
    Z80Emitter z;
    z.ldSp(0xFF00).im1().ei().jp("chain");
    z.org(0x38).ldAMem(0xC100).incA().ldMemA(0xC100).ei().reti();
    z.org(0x100).label("chain");
    std::vector<uint8_t> image = z.image();
    std::fill(image.begin() + 0x100, image.begin() + 0xC000, 0xDD);
    RomSetBuilder set(RomModel::tiaMc1);
    set.programImage(image);
    start(set);
    uint16_t lastPc = 0;
    for (int frame = 0; frame < 5; ++frame) {
        runTiaFrame();
        EXPECT_GE(cpuCore.cycleBudget, -cpuCore.cost4);
        EXPECT_GT(cpuCore.PC, lastPc);
        EXPECT_LT(cpuCore.PC, 0xC000);
        lastPc = cpuCore.PC;
    }
    EXPECT_EQ(tiaBoard.boardMemory[0xC100], 0);
    EXPECT_FALSE(isBetweenInstructions(cpuCore));
    holdKeys({0xB7, 0x46});
    pressPause();
    beginTiaFrame();
    EXPECT_TRUE(isBetweenInstructions(cpuCore));
    EXPECT_EQ(cpuCore.PC, 0);
}

// An instruction behind redundant prefixes runs whole wherever the frame's end
// or the phase threshold falls inside it: the frame ends between
// instructions, so the next frame's interrupt is taken, and the frame-phase
// bit rises only after the instruction. Each program starts at 0 with a
// budget swept across the instruction's length, then records port 0xD2.
TEST_F(DriverTest, PrefixedInstructionsFinishWhole) {
    struct Case {
        const char* name;
        std::vector<uint8_t> code;
        int tStates;
        std::vector<uint8_t> stored; // at 0xC000 afterwards
        uint16_t ix, iy;
    };
    const Case cases[] = {
        {"LD (C000h),BC", {0xDD, 0xDD, 0xED, 0x43, 0x00, 0xC0}, 28, {0x78, 0x56}, 0xABCD, 0},
        {"EX (SP),IX", {0xDD, 0xDD, 0xDD, 0xE3}, 31, {0xCD, 0xAB}, 0x3412, 0},
        {"LD IY,1234h",
         {0xFD, 0xFD, 0xFD, 0xFD, 0xFD, 0xFD, 0x21, 0x34, 0x12},
         34,
         {0x12, 0x34},
         0xABCD,
         0x1234},
    };
    constexpr int32_t phaseThreshold = 30000 * 256;
    for (const Case& k : cases) {
        Z80Emitter z;
        z.org(0x40).label("after").inA(0xD2).ldMemA(0xC010).label("spin").jr("spin");
        std::vector<uint8_t> image = z.image();
        std::copy(k.code.begin(), k.code.end(), image.begin());
        image[k.code.size()] = 0xC3; // JP after
        image[k.code.size() + 1] = 0x40;
        image[k.code.size() + 2] = 0x00;
        image[0xC000] = 0x12;
        image[0xC001] = 0x34;
        RomSetBuilder set(RomModel::tiaMc1);
        set.programImage(image);
        // Returns at the first wrong result, so that each case reports once.
        bool whole = true;
        const auto run = [&](int32_t origin, int32_t budget) {
            whole = false;
            SetUp();
            start(set);
            cpuCore.BC.w = 0x5678;
            cpuCore.IX.w = 0xABCD;
            cpuCore.SP = 0xC000;
            cpuCore.im = 2; // IM 1
            cpuCore.cycleBudget = origin + budget - frameGrant;
            runTiaFrame();
            const std::string where = std::string(k.name) + " from budget " +
                                      std::to_string(origin) + " + " + std::to_string(budget);
            ASSERT_EQ(tiaBoard.boardMemory[0xC000], k.stored[0]) << where;
            ASSERT_EQ(tiaBoard.boardMemory[0xC001], k.stored[1]) << where;
            ASSERT_EQ(cpuCore.IX.w, k.ix) << where;
            ASSERT_EQ(cpuCore.IY.w, k.iy) << where;
            if (origin == 0) {
                ASSERT_TRUE(isBetweenInstructions(cpuCore)) << where;
                ASSERT_EQ(cpuCore.PC, k.code.size()) << where;
                cpuCore.iff = 6;
                beginTiaFrame();
                ASSERT_EQ(cpuCore.stepFn, interruptRst38Step) << where;
            } else {
                ASSERT_EQ(tiaBoard.boardMemory[0xC010], 0x80) << where;
            }
            whole = true;
        };
        for (int32_t origin : {0, phaseThreshold})
            for (int32_t budget = 1; whole && budget < k.tStates * 256; budget += 128)
                run(origin, budget);
    }
}

TEST_F(DriverTest, EndOfFrameDrawsThenPaces) {
    Z80Emitter z;
    z.ldA(0xFF).outA(0xA0).label("spin").jr("spin");
    start(RomModel::tiaMc1, z);
    testHost.calls.clear();
    runTiaFrame();
    const std::vector<std::string> calls = {"lock", "unlock", "pace"};
    EXPECT_EQ(testHost.calls, calls);
    EXPECT_GT(std::count(testHost.backBuffer.begin(), testHost.backBuffer.end(), 0xFFD8E8u), 0);
    testHost.lockFails = true;
    testHost.calls.clear();
    runTiaFrame();
    EXPECT_EQ(testHost.count("pace"), 1);
    EXPECT_EQ(testHost.count("unlock"), 0);
}

} // namespace
