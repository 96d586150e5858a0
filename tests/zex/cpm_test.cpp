// The CP/M harness that runs the exercisers: BDOS console calls, the end on a
// jump to 0000h, the T-state limit. Quick enough for the sanitizer build,
// which skips the exerciser runs themselves.
#include "tools/cpm/cpm.h"

#include "cpu/z80.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string console;

void collect(uint8_t ch) { console += char(ch); }

bool load(const std::vector<uint8_t>& program) {
    bool fits = cpmLoadProgram(program.data(), program.size());
    cpmMachine.consoleOut = collect;
    console.clear();
    return fits;
}

TEST(CpmHarness, ConsoleCallsReturnToTheCallerAndJumpToZeroEnds) {
    const std::vector<uint8_t> program = {
        0x11, 0x12, 0x01, // 0100 LD DE,0112h
        0x0E, 0x09,       // 0103 LD C,9
        0xCD, 0x05, 0x00, // 0105 CALL 0005h   print "Hi$"
        0x1E, 0x21,       // 0108 LD E,'!'
        0x0E, 0x02,       // 010A LD C,2
        0xCD, 0x05, 0x00, // 010C CALL 0005h   print '!'
        0xC3, 0x00, 0x00, // 010F JP 0000h
        'H',  'i',  '$',  // 0112
    };
    ASSERT_TRUE(load(program));
    EXPECT_TRUE(cpmRun(1000000));
    EXPECT_EQ(console, "Hi!");
    EXPECT_EQ(cpuCore.PC, 0);
    // 10 + 7 + 17 + 7 + 7 + 17 + 10 T-states; the BDOS itself takes no time.
    EXPECT_EQ(cpmMachine.tStates, 75u);
    EXPECT_EQ(cpmMachine.instructions, 7u);
}

TEST(CpmHarness, StopsAtTheStretchThatPassesTheLimit) {
    ASSERT_TRUE(load({0x18, 0xFE})); // JR to itself, 12 T-states a pass
    EXPECT_FALSE(cpmRun(100));
    // One stretch of 35000 T-states, the last JR overdrawing it.
    EXPECT_EQ(cpmMachine.tStates, 35004u);
    EXPECT_EQ(cpmMachine.instructions, 2917u);
    EXPECT_EQ(cpuCore.PC, 0x0100);
}

TEST(CpmHarness, RefusesAProgramThatReachesTheStack) {
    EXPECT_FALSE(load(std::vector<uint8_t>(0xFE00 - 0x0100 + 1)));
    EXPECT_TRUE(load(std::vector<uint8_t>(0xFE00 - 0x0100)));
}

} // namespace
