// The monitor: a frame stepped through one instruction at a time ends exactly
// as the free-running frame does, and commands that cannot be done say so and
// leave the machine as it was.
#include "tiamc_fixture.h"

#include "host/keycodes.h"
#include "machines/tiamc/monitor.h"
#include "machines/tiamc/state.h"

#include <deque>

namespace {

const std::string romDir = KORVALO_ROM_DIR;

// The monitor's command lines, fed by the test; with none left, every read
// is the repeat line (a step, while a test steps a frame through).
std::deque<std::string> commandLines;
const char* repeatLine;
uint64_t linesRead;

MonitorLine scriptedLine(std::string& line) {
    ++linesRead;
    if (!commandLines.empty()) {
        line = commandLines.front();
        commandLines.pop_front();
        return MonitorLine::line;
    }
    if (!repeatLine) return MonitorLine::none;
    line = repeatLine;
    return MonitorLine::line;
}

class MonitorTest : public TiaTest {
  protected:
    void SetUp() override {
        TiaTest::SetUp();
        resetMonitor();
        monitorConsole = MonitorConsole{scriptedLine, nullptr};
        commandLines.clear();
        repeatLine = nullptr;
        linesRead = 0;
    }
    void TearDown() override {
        resetMonitor();
        monitorConsole = MonitorConsole{};
        TiaTest::TearDown();
    }

    // Frames 1..count with Right held over frames 3..9 and Space over 6..7.
    static void runFree(uint32_t first, uint32_t count) {
        for (uint32_t frame = first; frame < first + count; ++frame) {
            holdKeys({});
            if (frame >= 3 && frame <= 9) liveKeys[rightArrowKey] = 0x80;
            if (frame >= 6 && frame <= 7) liveKeys[spaceKey] = 0x80;
            ASSERT_TRUE(runTiaFrame());
        }
    }

    // The set started on a board, core and keyboard as at power-on.
    static void powerOn(const std::string& path) {
        static const TiaBoard freshBoard{};
        tiaBoard = freshBoard;
        cpuCore = CpuCore{};
        releaseAllKeys();
        std::memset(keysNow, 0, sizeof keysNow);
        std::memset(keysPrev, 0, sizeof keysPrev);
        startTiaMachine(path.c_str());
    }

    static std::vector<uint32_t> picture() {
        std::vector<uint32_t> pixels(512 * 256);
        renderFrame(pixels.data(), 512);
        return pixels;
    }
};

// The frame after `before` free frames, stepped through instruction by
// instruction from the monitor's stop at its start (the interrupt
// acknowledge, where the frame has one), then a few frames run free again:
// state and picture equal the uninterrupted run's at each of those frames.
TEST_F(MonitorTest, SteppedFrameEndsAsTheFreeFrameDoes) {
    struct Row {
        const char* set;
        uint32_t before;
    };
    const Row rows[] = {{"KorvaloSelfTest.tia", 4},
                        {"KorvaloSelfTest.tia", 30},
                        {"KorvaloSelfTest2.tia", 12},
                        {"KorvaloDemo1.tia", 5},
                        {"KorvaloDemo2.tia", 8}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.set) + " after frame " + std::to_string(row.before));
        const std::string path = romDir + "/" + row.set;
        constexpr uint32_t after = 3;

        powerOn(path);
        runFree(1, row.before + 1 + after);
        const std::vector<uint8_t> freeState = saveMachineState();
        const std::vector<uint32_t> freePicture = picture();
        powerOn(path);
        runFree(1, row.before + 1);
        const std::vector<uint8_t> freeFrameState = saveMachineState();

        powerOn(path);
        runFree(1, row.before);
        requestMonitorStop();
        repeatLine = "s";
        linesRead = 0;
        holdKeys({});
        if (row.before + 1 >= 3 && row.before + 1 <= 9) liveKeys[rightArrowKey] = 0x80;
        if (row.before + 1 >= 6 && row.before + 1 <= 7) liveKeys[spaceKey] = 0x80;
        EXPECT_TRUE(runTiaFrame()); // every step answered: the frame runs to its end
        EXPECT_GT(linesRead, 1000u) << "steps taken";
        EXPECT_EQ(saveMachineState(), freeFrameState);
        repeatLine = nullptr;
        commandLines = {"c"};
        runFree(row.before + 2, after);
        EXPECT_FALSE(monitorHoldsMachine());
        EXPECT_EQ(saveMachineState(), freeState);
        EXPECT_EQ(picture(), freePicture);
    }
}

// Everything a command could change, byte for byte.
std::vector<uint8_t> machineImage() {
    std::vector<uint8_t> image(tiaBoard.boardMemory, tiaBoard.boardMemory + 0x10000);
    const std::vector<uint8_t> state = saveMachineState();
    image.insert(image.end(), state.begin(), state.end());
    return image;
}

// Commands taken while the machine is held: what each prints, and whether
// the machine changed. A bad command names its fault and changes nothing.
TEST_F(MonitorTest, CommandsSayWhatTheyDidAndBadOnesChangeNothing) {
    struct Row {
        const char* command;
        const char* printed;
        bool changes;
    };
    const Row rows[] = {
        {"r PC 0123", "PC=0123", true},
        {"r hl 0x4567", "HL=4567", true},
        {"r A 1FF", "Monitor: bad value", false},
        {"r IM 3", "Monitor: bad value", false},
        {"r Q 1", "Monitor: no such register", false},
        {"r PC", "Monitor: give a register and a value", false},
        {"w C000 12 34", "C000  12 34", true},
        {"w C000 12 XY", "Monitor: bad byte", false},
        {"w", "Monitor: give an address and bytes", false},
        {"m 10000", "Monitor: bad address", false},
        {"m 0 0", "Monitor: bad length", false},
        {"b", "Monitor: give an address", false},
        {"b 100 5", "Monitor: an execution breakpoint takes no value", false},
        {"bw 20-10", "Monitor: bad address", false},
        {"bo 100", "Monitor: bad port", false},
        {"bd 7", "Monitor: no such breakpoint", false},
        {"bd x", "Monitor: bad breakpoint number", false},
        {"s 0", "Monitor: bad count", false},
        {"s -1", "Monitor: bad count", false},
        {"n 2", "Monitor: n takes no count", false},
        {"g nowhere", "Monitor: bad address", false},
        {"t", "Monitor: give a count and a file, or a file", false},
        {"t 5 /nonexistent-dir/trace.txt", "Monitor: can't write", false},
        {"sym /nonexistent-dir/x.sym", "Monitor: can't load symbols", false},
        {"d 0 x", "Monitor: bad count", false},
        {"p 1FF", "Monitor: bad port", false},
        {"p D0", "Port D0 reads ", false},
        {"frobnicate", "Monitor: no such command", false},
        {"c now", "Monitor: c takes nothing more", false},
    };
    const std::string path = romDir + "/KorvaloSelfTest.tia";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        powerOn(path);
        requestMonitorStop();
        EXPECT_FALSE(runTiaFrame()); // held at the first instruction, no command yet
        ASSERT_TRUE(monitorHoldsMachine());
        const std::vector<uint8_t> before = machineImage();
        testHost.console.clear();
        EXPECT_TRUE(runMonitorCommand(row.command));
        EXPECT_NE(testHost.console.find(row.printed), std::string::npos) << testHost.console;
        EXPECT_EQ(machineImage() != before, row.changes);
        EXPECT_TRUE(monitorHoldsMachine());
        resetMonitor();
    }
}

} // namespace
