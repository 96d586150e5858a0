// The frame-start hook: hot keys and their console lines, restart, dropped
// ROM sets, and when the cabinet inputs are rebuilt.
#include "tiamc_fixture.h"

namespace {

constexpr uint8_t deleteKey = 0xD3;
constexpr uint8_t leftCtrl = 0x1D;
constexpr uint8_t leftWindows = 0xDB;
constexpr uint8_t fKey = 0x21;
constexpr uint8_t leftShift = 0x2A;
constexpr uint8_t printScreen = 0xB7;
constexpr uint8_t scrollLock = 0x46;
constexpr uint8_t space = 0x39;

class ControlsTest : public TiaTest {
  protected:
    void SetUp() override {
        TiaTest::SetUp();
        Z80Emitter z;
        z.label("spin").jr("spin");
        start(RomModel::tiaMc1, z);
        testHost.console.clear();
        testHost.calls.clear();
    }

    // One frame start with exactly these keys down.
    static void frameWith(std::initializer_list<uint8_t> keys) {
        holdKeys(keys);
        beginTiaFrame();
    }

    // The host calls that change the picture's size or clear it.
    static std::vector<std::string> sizeCalls() {
        std::vector<std::string> result;
        for (const std::string& call : testHost.calls) {
            if (call == "clear" || call.rfind("size", 0) == 0) result.push_back(call);
        }
        return result;
    }
};

// Delete held over several frames acts once.
TEST_F(ControlsTest, DeleteCyclesTheScalePresets) {
    for (int i = 0; i < 4; ++i) {
        frameWith({deleteKey});
        frameWith({deleteKey});
        frameWith({});
    }
    EXPECT_EQ(testHost.console, "Screen X-scale = 1.0\nScreen X-scale = 1.25\n"
                                "Screen Y-scale = 3.0\nScreen X-scale = 1.0\n");
    const std::vector<std::string> expected = {"clear", "size 512x512", "clear", "size 640x512",
                                               "clear", "size 960x768", "clear", "size 512x512"};
    EXPECT_EQ(sizeCalls(), expected);
    EXPECT_EQ(scalePreset, 1);
}

TEST_F(ControlsTest, CtrlDeleteCyclesTheScanlineLooks) {
    for (int i = 0; i < 4; ++i) {
        frameWith({leftCtrl, deleteKey});
        frameWith({leftCtrl});
    }
    EXPECT_EQ(testHost.console,
              "Smooth scanlines\nDouble lines\nBlack scanlines\nSmooth scanlines\n");
    EXPECT_EQ(scanlineMode, 1);
    EXPECT_EQ(scalePreset, 3);
    EXPECT_EQ(testHost.count("clear"), 4);
    EXPECT_EQ(sizeCalls().size(), 4u);
}

TEST_F(ControlsTest, FullScreenKeyTogglesOnceAndFreezesTheInputs) {
    frameWith({space});
    EXPECT_EQ(tiaBoard.inputD2, 0x40);
    tiaBoard.inputD2 |= 0x80;
    frameWith({leftWindows, fKey});
    EXPECT_TRUE(fullScreen);
    EXPECT_EQ(sizeCalls(), std::vector<std::string>{"size 960x768"});
    EXPECT_EQ(tiaBoard.inputD2, 0x40); // kept, frame-phase bit cleared
    frameWith({leftWindows, fKey, leftCtrl});
    EXPECT_TRUE(fullScreen);
    EXPECT_EQ(tiaBoard.inputD2, 0x40);
    frameWith({leftWindows});
    EXPECT_EQ(tiaBoard.inputD2, 0x00);
    frameWith({leftWindows, fKey});
    EXPECT_FALSE(fullScreen);
    EXPECT_EQ(testHost.count("size 960x768"), 2);
}

TEST_F(ControlsTest, ScreenshotKeyTakesOneShotPerPress) {
    frameWith({space});
    frameWith({leftShift, printScreen});
    EXPECT_EQ(testHost.pngs, std::vector<std::string>{"ScreenShot_000.png"});
    EXPECT_EQ(testHost.console, "Saving ScreenShot_000.png\n");
    EXPECT_EQ(tiaBoard.inputD2, 0x40); // not rebuilt in the screenshot's frame
    frameWith({leftShift, printScreen});
    EXPECT_EQ(testHost.pngs.size(), 1u);
    EXPECT_EQ(tiaBoard.inputD2, 0x00);
    frameWith({printScreen});
    frameWith({leftShift, printScreen});
    EXPECT_EQ(testHost.pngs.size(), 1u); // Print Screen held from an earlier frame
    frameWith({leftShift});
    frameWith({leftShift, printScreen});
    EXPECT_EQ(testHost.pngs.size(), 2u);
}

TEST_F(ControlsTest, RestartKeysJumpToZeroWhileAllThreeShowDown) {
    cpuCore.SP = 0xF000;
    holdKeys({printScreen, scrollLock});
    pressPause();
    for (int frame = 1; frame <= 6; ++frame) {
        cpuCore.PC = 0x1234;
        cpuCore.iff = 6;
        handleHostControls();
        const bool restarted = frame <= 5;
        EXPECT_EQ(cpuCore.PC, restarted ? 0 : 0x1234) << "frame " << frame;
        EXPECT_EQ(cpuCore.iff, restarted ? 0 : 6) << "frame " << frame;
    }
    EXPECT_EQ(cpuCore.SP, 0xF000);
}

TEST_F(ControlsTest, DroppedSetReplacesTheGameAndRestartsIt) {
    RomSetBuilder set(RomModel::tiaMc2);
    set.program(0, {0x18, 0xFE});
    cpuCore.PC = 0x0123;
    cpuCore.SP = 0xF000;
    ASSERT_TRUE(acceptDrop(writeTemp(set.build(), "drop").c_str()));
    beginTiaFrame();
    EXPECT_FALSE(dropPending);
    EXPECT_EQ(tiaBoard.boardModel, tiaMc2);
    EXPECT_EQ(cpuCore.PC, 0);
    EXPECT_EQ(cpuCore.SP, 0xF000);
    EXPECT_EQ(cpuCore.portOutFn, writePortTiaMc2);
    EXPECT_EQ(testHost.console, "Drag & Drop file\nModel: TIA-MC-2\n");
}

TEST_F(ControlsTest, DroppedFileThatIsNoRomSetLoadsAnyway) {
    const std::string text = "not a ROM set at all\n";
    ASSERT_TRUE(acceptDrop(writeTemp({text.begin(), text.end()}, "text").c_str()));
    beginTiaFrame();
    EXPECT_EQ(tiaBoard.boardModel, tiaMc1);
    EXPECT_EQ(0, std::memcmp(tiaBoard.spriteRom, text.data(), text.size()));
    EXPECT_EQ(tiaBoard.spriteRom[text.size()], 0xFF);
    EXPECT_EQ(tiaBoard.boardMemory[0], 0xFF);
}

TEST_F(ControlsTest, UnopenableDropKeepsTheGameRunning) {
    Z80Emitter counter;
    counter.label("loop").ldAMem(0xC000).incA().ldMemA(0xC000).jr("loop");
    RomSetBuilder set(RomModel::tiaMc1);
    set.programImage(counter.image());
    load(set);
    runTiaFrame();
    const uint8_t counted = tiaBoard.boardMemory[0xC000];
    const uint16_t pc = cpuCore.PC;
    testHost.console.clear();
    ASSERT_TRUE(acceptDrop("/nonexistent/dropped.tia"));
    beginTiaFrame();
    EXPECT_FALSE(dropPending);
    EXPECT_EQ(cpuCore.PC, pc);
    EXPECT_EQ(testHost.console, "Drag & Drop file\nCan't open file!\n");
    runFrameInstructions();
    EXPECT_NE(tiaBoard.boardMemory[0xC000], counted);
    EXPECT_EQ(tiaBoard.boardModel, tiaMc1);
}

} // namespace
