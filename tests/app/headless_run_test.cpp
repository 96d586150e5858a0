// The korvalo program run headless end to end: a ROM set whose program
// paints the background red, or green while Space is down, driven by a key
// script, with screenshots, a preset change, the screenshot hot key and a
// dropped ROM set; the PNG files are read back and checked.
#include "display/pixels.h"
#include "display/present.h"
#include "platforms/common/version.h"
#include "tests/support/png_read.h"
#include "tests/support/rom_set_builder.h"
#include "tests/support/shell_run.h"
#include "tests/support/z80_emitter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
const std::string banner = std::string("Korvalo ") + programVersion + " (TIA-MC-Mode)\n";
constexpr uint8_t spaceBit = 0x40;
constexpr uint8_t paletteZeroPort = 0xA0;
constexpr uint8_t redColour = 0x38;   // red level 7
constexpr uint8_t greenColour = 0x07; // green level 7
constexpr uint8_t blueColour = 0xC0;  // blue level 3

struct ProgramRun {
    int exitCode;
    std::string out, err;
};

class HeadlessRun : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) /
              ("korvalo_run_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    ProgramRun korvalo(const std::string& arguments) {
        const std::string command = "cd '" + dir.string() + "' && '" KORVALO_PROGRAM "' " +
                                    arguments + " >out.txt 2>err.txt";
        return {runShellCommand(command), readText(dir / "out.txt"), readText(dir / "err.txt")};
    }

    void saveRomSet(const std::string& name, const Z80Emitter& program) {
        RomSetBuilder(RomModel::tiaMc1).programImage(program.image()).save((dir / name).string());
    }

    // Palette entry 0, the colour of the whole picture: green while Space is
    // down, red otherwise.
    void saveSpaceGame() {
        Z80Emitter z;
        z.di().label("loop").inA(0xD2).andN(spaceBit).jrZ("red");
        z.ldA(greenColour).outA(paletteZeroPort).jr("loop");
        z.label("red").ldA(redColour).outA(paletteZeroPort).jr("loop");
        saveRomSet("space.tia", z);
    }

    void saveBlueGame() {
        Z80Emitter z;
        z.di().label("loop").ldA(blueColour).outA(paletteZeroPort).jr("loop");
        saveRomSet("blue.tia", z);
    }

    DecodedPng shot(int number) {
        char name[32];
        std::snprintf(name, sizeof name, "ScreenShot_%03d.png", number);
        return decodePng((dir / name).string());
    }

    fs::path dir;
};

// Preset 3: each board line widened to 960 pixels (where two pixels are
// averaged a full channel loses its lowest bit) and shown as three rows, at
// half, full and three-quarter brightness.
void expectLargePicture(const DecodedPng& png, uint32_t colour) {
    ASSERT_EQ(png.width, 960u);
    ASSERT_EQ(png.height, 768u);
    std::vector<uint32_t> line(960, colour);
    widen2to3(line.data() + 448, line.data() + 192, 512, 1, 0, 0);
    widen4to5(line.data() + 192, line.data(), 768, 1, 0, 0);
    ASSERT_EQ(line[0], colour);
    for (uint32_t y = 0; y < 768; ++y) {
        for (uint32_t x = 0; x < 960; ++x) {
            const uint32_t p = line[x];
            const uint32_t expected = y % 3 == 0 ? half(p) : y % 3 == 1 ? p : threeQuarter(p);
            ASSERT_EQ(png.pixel(x, y), expected) << x << "," << y;
        }
    }
}

// Preset 1: each board line once, with a black row below.
void expectNormalPicture(const DecodedPng& png, uint32_t colour) {
    ASSERT_EQ(png.width, 512u);
    ASSERT_EQ(png.height, 512u);
    for (uint32_t y = 0; y < 512; ++y) {
        for (uint32_t x = 0; x < 512; x += 5) {
            ASSERT_EQ(png.pixel(x, y), y % 2 ? 0u : colour) << x << "," << y;
        }
    }
}

// --screenshot presses no keys: frame 11, which follows the scripted shot at
// frame 10, still rebuilds its inputs and shows Space (shot 1, green), and
// the shot at frame 11 is taken although one was taken the frame before. The
// hot key pressed at frame 17 takes its shot (3) in frame 18's frame start.
TEST_F(HeadlessRun, KeysScreenshotsPresetAndDropFollowTheScript) {
    saveSpaceGame();
    saveBlueGame();
    const ProgramRun run = korvalo("--headless --frames 24 space.tia"
                                   " --keys 10:down:Space,12:up:Space,14:down:Delete,15:up:Delete"
                                   " --keys 17:down:LShift,17:down:PrintScreen,19:up:PrintScreen"
                                   " --screenshot 10,11,16 --drop 20:blue.tia --screenshot 22");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, banner + std::string("Model: TIA-MC-1\n"
                                            "Saving ScreenShot_000.png\n"
                                            "Saving ScreenShot_001.png\n"
                                            "Screen X-scale = 1.0\n"
                                            "Saving ScreenShot_002.png\n"
                                            "Saving ScreenShot_003.png\n"
                                            "Drag & Drop file\n"
                                            "Model: TIA-MC-1\n"
                                            "Saving ScreenShot_004.png\n"));
    EXPECT_EQ(run.err, "");
    expectLargePicture(shot(0), 0xFF0000);
    expectLargePicture(shot(1), 0x00D800);
    expectNormalPicture(shot(2), 0xFF0000);
    expectNormalPicture(shot(3), 0xFF0000);
    expectNormalPicture(shot(4), 0x0000E8);
}

TEST_F(HeadlessRun, ABadCommandLineRunsNothing) {
    saveSpaceGame();
    for (const char* arguments :
         {"--headless space.tia --keys 3:down:Spacebar",
          "--headless space.tia --keys 5:down:T,4:up:T",
          "--headless space.tia --frames 5 --screenshot 6",
          "--headless --screen 1024x768 space.tia", "--headless --bogus space.tia",
          "--headless space.tia --rom space.tia", "--present sideways space.tia"}) {
        const ProgramRun run = korvalo(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
        EXPECT_NE(run.err, "") << arguments;
    }
}

TEST_F(HeadlessRun, AMissingRomSetIsAFatalError) {
    const ProgramRun run = korvalo("--headless --frames 3 missing.tia");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, banner);
    EXPECT_EQ(run.err, "System Error! Can't open file!\n");
}
} // namespace
