// The frame-start hook: hot keys and their console lines, restart, dropped
// ROM sets, and when the cabinet inputs are rebuilt.
#include "tiamc_fixture.h"

#include "host/statestore.h"
#include "machines/tiamc/state.h"

namespace {

constexpr int32_t frameGrant = 35000 * 256;
constexpr uint8_t deleteKey = 0xD3;
constexpr uint8_t leftCtrl = 0x1D;
constexpr uint8_t leftWindows = 0xDB;
constexpr uint8_t fKey = 0x21;
constexpr uint8_t leftShift = 0x2A;
constexpr uint8_t printScreen = 0xB7;
constexpr uint8_t scrollLock = 0x46;
constexpr uint8_t space = 0x39;
constexpr uint8_t leftArrow = 0xCB;
constexpr uint8_t f11 = 0x57;
constexpr uint8_t f2 = 0x3C;
constexpr uint8_t f4 = 0x3E;
constexpr uint8_t f6 = 0x40;
constexpr uint8_t f7 = 0x41;
constexpr uint8_t backspace = 0x0E;

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
    // F11 does the same in every host, and reaches the key arrays as every
    // key does.
    frameWith({f11});
    EXPECT_TRUE(fullScreen);
    EXPECT_EQ(keysNow[f11], 0x80);
    frameWith({f11});
    EXPECT_TRUE(fullScreen);
    frameWith({});
    frameWith({f11, leftWindows, fKey});
    EXPECT_FALSE(fullScreen); // both at once toggle once
    EXPECT_EQ(testHost.count("size 960x768"), 4);
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

// One frame start through the driver (grant, hook, frame interrupt) per row,
// on an analog set with interrupts enabled and every register, the memory and
// the video state made distinctive. Each row names the keys held in the last
// snapshot and in this one, whether Pause was pressed and a TIA-MC-1 digital
// set dropped, and what must follow: a restart (PC 0, iff 0, no interrupt),
// the frame interrupt, the hot key that acted (full screen before screenshot
// before Delete), and the input bytes and the analog value, which stay as
// they were in a frame a hot key takes. Nothing else changes.
TEST_F(ControlsTest, FrameStartThroughTheDriver) {
    struct Row {
        const char* name;
        std::initializer_list<uint8_t> held, keys;
        bool pause, drop;
        bool restart, interrupt, fullScreen;
        int shots;
        uint8_t preset, analog, inputD0;
    };
    constexpr uint8_t stale = 0x5A;
    // clang-format off
    const Row rows[] = {
        {"left arrow", {}, {leftArrow}, false, false, false, true, false, 0, 3, 154, 154},
        {"full screen", {}, {leftWindows, fKey, leftArrow}, false, false, false, true, true, 0, 3, 152, stale},
        {"screenshot", {}, {leftShift, printScreen, leftArrow}, false, false, false, true, false, 1, 3, 152, stale},
        {"full screen first", {}, {leftWindows, fKey, leftShift, printScreen, deleteKey}, false, false, false, true, true, 0, 3, 152, stale},
        {"F11", {}, {f11, leftShift, printScreen, leftArrow}, false, false, false, true, true, 0, 3, 152, stale},
        {"F11 held", {f11}, {f11, leftArrow}, false, false, false, true, false, 0, 3, 152, stale},
        {"F held", {leftWindows, fKey}, {leftWindows, fKey, leftShift, printScreen}, false, false, false, true, false, 0, 3, 152, stale},
        {"screenshot first", {}, {leftShift, printScreen, deleteKey, leftArrow}, false, false, false, true, false, 1, 3, 152, stale},
        {"Delete", {}, {deleteKey, leftArrow}, false, false, false, true, false, 0, 1, 154, 154},
        {"restart", {}, {printScreen, scrollLock, leftArrow}, true, false, true, false, false, 0, 3, 154, 154},
        {"restart, full screen", {}, {printScreen, scrollLock, leftWindows, fKey, leftArrow}, true, false, true, false, true, 0, 3, 152, stale},
        {"restart, screenshot", {}, {printScreen, scrollLock, leftShift, leftArrow}, true, false, true, false, false, 1, 3, 152, stale},
        {"drop", {}, {leftArrow}, false, true, false, true, false, 0, 3, 152, 0x20},
        {"drop, restart", {}, {printScreen, scrollLock}, true, true, true, false, false, 0, 3, 152, 0x00},
        {"slot keys", {}, {f2, f4, f6, f7, leftArrow}, false, false, false, true, false, 0, 3, 154, 154},
        {"Backspace", {}, {backspace, leftArrow}, false, false, false, true, false, 0, 3, 154, 154},
    };
    // clang-format on
    RomSetBuilder dropped(RomModel::tiaMc1);
    for (uint32_t a = 0; a < 0xE000; ++a)
        dropped.file[0x8000 + a] = uint8_t(a * 13 >> 3);
    const std::vector<uint8_t> droppedFile = dropped.build();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TiaTest::SetUp();
        start(RomSetBuilder(RomModel::tiaMc1Analog).programImage(Z80Emitter().image()));
        CpuCore& c = cpuCore;
        c.A = 0x11, c.F = 0x22, c.BC.w = 0x3344, c.DE.w = 0x5566, c.HL.w = 0x7788;
        c.IX.w = 0x99AA, c.IY.w = 0xBBCC, c.AFx.w = 0xDDEE, c.BCx.w = 0x0102;
        c.DEx.w = 0x0304, c.HLx.w = 0x0506, c.I = 0x07, c.R = 0x08, c.R7 = 0x80, c.im = 2;
        c.SP = 0xE800, c.PC = 0x1234, c.iff = 6;
        for (uint32_t a = 0xC000; a < 0x10000; ++a)
            tiaBoard.boardMemory[a] = uint8_t(a * 7 >> 2);
        for (uint32_t i = 0; i < sizeof tiaBoard.tileRam; ++i)
            tiaBoard.tileRam[i] = tiaBoard.charRam[i % 4][i] = uint8_t(i * 5 >> 1);
        for (uint32_t i = 0; i < 16; ++i)
            tiaBoard.paletteRegs[i] = 0x10101 * i, tiaBoard.spriteRegs[i][1] = uint8_t(i + 1);
        tiaBoard.videoControl = 0x1F, tiaBoard.spriteXOrigin = 0x33, tiaBoard.inputD0 = stale;
        std::memset(keysNow, 0, sizeof keysNow);
        for (uint8_t key : row.held)
            keysNow[key] = 0x80;
        holdKeys(row.keys);
        if (row.pause) pressPause();
        if (row.drop) {
            ASSERT_TRUE(acceptDrop(writeTemp(droppedFile, "drop").c_str()));
        }
        const CpuCore before = c;
        static TiaBoard board;
        board = tiaBoard;

        beginTiaFrame();

        EXPECT_EQ(c.PC, row.restart || row.drop ? 0 : 0x1234);
        EXPECT_EQ(c.stepFn == interruptRst38Step, row.interrupt);
        EXPECT_EQ(c.iff, row.restart || row.interrupt ? 0 : 6);
        EXPECT_EQ(c.SP, row.interrupt ? 0xE7FE : 0xE800);
        EXPECT_EQ(c.cycleBudget, frameGrant - (row.interrupt ? c.cost7 : 0));
        EXPECT_EQ(fullScreen, row.fullScreen);
        EXPECT_EQ(testHost.pngs.size(), size_t(row.shots));
        EXPECT_EQ(scalePreset, row.preset);
        EXPECT_EQ(tiaBoard.analogValue, row.analog);
        EXPECT_EQ(tiaBoard.inputD0, row.inputD0);
        // The rest of the processor, memory and video state as they were.
        EXPECT_TRUE(c.A == before.A && c.F == before.F && c.BC.w == before.BC.w &&
                    c.DE.w == before.DE.w && c.HL.w == before.HL.w && c.IX.w == before.IX.w &&
                    c.IY.w == before.IY.w && c.AFx.w == before.AFx.w && c.BCx.w == before.BCx.w &&
                    c.DEx.w == before.DEx.w && c.HLx.w == before.HLx.w && c.I == before.I &&
                    c.R == before.R && c.R7 == before.R7 && c.im == before.im);
        const uint8_t* program = row.drop ? droppedFile.data() + 0x8000 : board.boardMemory;
        EXPECT_EQ(0, std::memcmp(tiaBoard.boardMemory, program, 0xE000));
        EXPECT_EQ(0,
                  std::memcmp(tiaBoard.boardMemory + 0xE000, board.boardMemory + 0xE000, 0x2000));
        EXPECT_EQ(0, std::memcmp(tiaBoard.tileRam, board.tileRam, sizeof board.tileRam));
        EXPECT_EQ(0,
                  std::memcmp(tiaBoard.paletteRegs, board.paletteRegs, sizeof board.paletteRegs));
        EXPECT_EQ(tiaBoard.videoControl, 0x1F);
        EXPECT_EQ(tiaBoard.spriteXOrigin, 0x33);
        // A load clears the character RAM and the sprite registers, nothing else.
        static const TiaBoard zero{};
        const TiaBoard& video = row.drop ? zero : board;
        EXPECT_EQ(0, std::memcmp(tiaBoard.charRam, video.charRam, sizeof board.charRam));
        EXPECT_EQ(0, std::memcmp(tiaBoard.spriteRegs, video.spriteRegs, sizeof board.spriteRegs));
    }
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

namespace {

// A game whose course depends on the frames Space is seen in: it counts its
// loops at 0xC000 and, at 0xC001, the loops that saw Space (inputD2 bit 6).
Z80Emitter spaceCounter() {
    Z80Emitter z;
    z.di().label("loop").inA(0xD2).andN(0x40).jrZ("skip");
    z.ldAMem(0xC001).incA().ldMemA(0xC001);
    z.label("skip").ldAMem(0xC000).incA().ldMemA(0xC000).jr("loop");
    return z;
}

enum class Store { memory, failing, none };

// Each row holds the keys of each frame, from frame 1, and runs one frame
// more with no key, in which the last frame's request is done.
TEST_F(ControlsTest, SlotKeysSaveLoadAndChooseTheSlot) {
    struct Row {
        const char* name;
        std::vector<std::vector<uint8_t>> frames;
        Store store;
        const char* console;
        std::vector<uint8_t> filled; // slots holding a state afterwards
        uint8_t slot;
    };
    const Row rows[] = {
        {"F2 held saves once",
         {{f2}, {f2}, {f2}},
         Store::memory,
         "State saved to slot 0\n",
         {0},
         0},
        {"F7, F7, F2",
         {{f7}, {}, {f7}, {}, {f2}},
         Store::memory,
         "Slot 1\nSlot 2\nState saved to slot 2\n",
         {2},
         2},
        {"F6 wraps to 9, F7 back to 0", {{f6}, {}, {f7}}, Store::memory, "Slot 9\nSlot 0\n", {}, 0},
        {"F6 held steps once", {{f6}, {f6}, {f6}}, Store::memory, "Slot 9\n", {}, 9},
        {"F7 with F2: the new slot",
         {{f7, f2}},
         Store::memory,
         "Slot 1\nState saved to slot 1\n",
         {1},
         1},
        {"F2 with F4: the save", {{f2, f4}}, Store::memory, "State saved to slot 0\n", {0}, 0},
        {"empty slot", {{f4}}, Store::memory, "No state in slot 0\n", {}, 0},
        {"save, load",
         {{f2}, {}, {f4}},
         Store::memory,
         "State saved to slot 0\nState loaded from slot 0\n",
         {0},
         0},
        {"failing store",
         {{f2}, {}, {f4}},
         Store::failing,
         "Can't save state to slot 0: disk full\nCan't load state: disk full\n",
         {},
         0},
        {"no store",
         {{f2}, {}, {f4}, {}, {f7}},
         Store::none,
         "State slots are not available here\nState slots are not available here\nSlot 1\n",
         {},
         1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TiaTest::SetUp();
        start(RomModel::tiaMc1, spaceCounter());
        testHost.console.clear();
        if (row.store == Store::failing) testHost.slotFailure = "disk full";
        if (row.store == Store::none) stateStore = StateStoreOps{};
        for (const std::vector<uint8_t>& keys : row.frames) {
            releaseAllKeys();
            for (uint8_t key : keys)
                liveKeys[key] = 0x80;
            runTiaFrame();
        }
        releaseAllKeys();
        runTiaFrame();
        EXPECT_EQ(testHost.console, row.console);
        std::vector<uint8_t> filled;
        for (const auto& slot : testHost.slots) {
            EXPECT_EQ(slot.first.first, tiaBoard.romSetHash);
            filled.push_back(slot.first.second);
        }
        EXPECT_EQ(filled, row.filled);
        EXPECT_EQ(stateSlot, row.slot);
    }
}

TEST_F(ControlsTest, SlotThatHoldsNoStateOfThisMachineIsRefused) {
    start(RomModel::tiaMc1, spaceCounter());
    runTiaFrame();
    const uint8_t loops = tiaBoard.boardMemory[0xC000];
    testHost.slots[{tiaBoard.romSetHash, 0}] = {'n', 'o', 't', ' ', 'a', ' ', 's', 't'};
    testHost.console.clear();
    holdKeys({f4});
    beginTiaFrame();
    holdKeys({});
    runFrameInstructions();
    endFrame();
    beginTiaFrame();
    EXPECT_EQ(testHost.console, "Can't load state: not a Korvalo state\n");
    EXPECT_NE(tiaBoard.boardMemory[0xC000], loops); // the game ran on
}

// Space is held over frames 2-4 and 9-10, F2 is pressed in frame 3 and F4 in
// frame 13; frame 14 gets frame 4's keys.
TEST_F(ControlsTest, SaveIsTheMomentBetweenFramesAndLoadReplacesTheMachineFirst) {
    const auto keysOf = [](int frame, bool slotKeys) {
        std::vector<uint8_t> keys;
        if ((frame >= 2 && frame <= 4) || frame == 14 || frame == 9 || frame == 10)
            keys.push_back(space);
        if (slotKeys && frame == 3) keys.push_back(f2);
        if (slotKeys && frame == 13) keys.push_back(f4);
        return keys;
    };
    // The state after each frame, and the game's two counters.
    struct After {
        std::vector<uint8_t> state;
        uint8_t loops, spaceLoops;
    };
    const auto run = [&](bool slotKeys, std::vector<After>& after) {
        TiaTest::SetUp();
        start(RomModel::tiaMc1, spaceCounter());
        for (int frame = 1; frame <= 14; ++frame) {
            releaseAllKeys();
            for (uint8_t key : keysOf(frame, slotKeys))
                liveKeys[key] = 0x80;
            if (frame == 14) {
                scalePreset = 1, scanlineMode = 2, fullScreen = true;
            }
            runTiaFrame();
            after.push_back(After{saveMachineState(), tiaBoard.boardMemory[0xC000],
                                  tiaBoard.boardMemory[0xC001]});
        }
    };
    std::vector<After> plain, pressed;
    run(false, plain);
    run(true, pressed);
    const std::vector<uint8_t>& saved = testHost.slots[{tiaBoard.romSetHash, 0}];
    EXPECT_EQ(saved, pressed[2].state); // between frames 3 and 4
    // After frame 14 the machine is as after frame 4: loaded before it ran.
    // The keys aside: the load keeps the keys held as they were (F4 among
    // them, so F4 held on loads nothing more), not the saved moment's.
    const auto beforeKeys = [](const std::vector<uint8_t>& state) {
        size_t at = 23; // the header; then tag, length and payload a section
        while (at + 8 <= state.size() &&
               std::string(state.begin() + long(at), state.begin() + long(at + 4)) != "KEYS")
            at += 8 + (state[at + 4] | state[at + 5] << 8 | state[at + 6] << 16 |
                       size_t(state[at + 7]) << 24);
        return std::vector<uint8_t>(state.begin(),
                                    state.begin() + long(std::min(at, state.size())));
    };
    EXPECT_EQ(beforeKeys(pressed[13].state), beforeKeys(pressed[3].state));
    EXPECT_LT(beforeKeys(pressed[13].state).size(), pressed[13].state.size());
    EXPECT_TRUE(keysPrev[f4] & 0x80);
    EXPECT_EQ(scalePreset, 1);
    EXPECT_EQ(scanlineMode, 2);
    EXPECT_TRUE(fullScreen);
    // The slot keys are not the game's: up to the load it ran as without
    // them, its counters the same frame by frame.
    for (size_t frame = 0; frame < 13; ++frame) {
        SCOPED_TRACE(frame + 1);
        EXPECT_EQ(plain[frame].loops, pressed[frame].loops);
        EXPECT_EQ(plain[frame].spaceLoops, pressed[frame].spaceLoops);
    }
    EXPECT_NE(plain[13].loops, pressed[13].loops);
}

} // namespace
