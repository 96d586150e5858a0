// Screenshots through the headless host: numbering against the files in the
// working directory, the saved picture, and failed saves.
#include "host/host.h"
#include "platforms/common/png_writer.h"
#include "platforms/headless/headless.h"
#include "tests/support/png_read.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
std::string console;

class Screenshots : public ::testing::Test {
  protected:
    void SetUp() override {
        home = fs::current_path();
        dir = fs::path(::testing::TempDir()) /
              ("korvalo_shots_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::current_path(dir);
        startHeadlessHost(1283, 961, nullptr);
        host.consoleOut = [](const char* text) { console += text; };
        console.clear();
        screenshotNumber = 0;
        clientWidth = 960;
        clientHeight = 768;
    }
    void TearDown() override {
        fs::current_path(home);
        fs::remove_all(dir);
    }
    static void touch(const char* name) { std::ofstream(name) << "x"; }

    fs::path home, dir;
};

TEST_F(Screenshots, TheFirstFreeNumberIsTakenAndNeverGoesBack) {
    for (const char* name : {"ScreenShot_000.png", "ScreenShot_001.png", "ScreenShot_002.png",
                             "ScreenShot_003.png", "ScreenShot_004.png"}) {
        touch(name);
    }
    fs::create_directory("ScreenShot_006.png");
    fs::create_symlink("nowhere", "ScreenShot_007.png");
    takeScreenshot();
    takeScreenshot();
    fs::remove("ScreenShot_000.png");
    takeScreenshot();
    EXPECT_EQ(console, "Saving ScreenShot_005.png\nSaving ScreenShot_008.png\n"
                       "Saving ScreenShot_009.png\n");
    EXPECT_EQ(screenshotNumber, 9);
    EXPECT_TRUE(fs::is_directory("ScreenShot_006.png"));
    EXPECT_EQ(fs::file_size("ScreenShot_004.png"), 1u) << "an existing file was overwritten";
}

TEST_F(Screenshots, FourDigitsAfterNineHundredNinetyNine) {
    screenshotNumber = 999;
    touch("ScreenShot_999.png");
    takeScreenshot();
    EXPECT_EQ(console, "Saving ScreenShot_1000.png\n");
}

TEST_F(Screenshots, TheFileHoldsTheCentredClientRectangle) {
    BackBufferLock lock;
    ASSERT_TRUE(host.lockBackBuffer(&lock));
    // Every pixel tells its own position; the top byte must not reach the file.
    for (uint32_t y = 0; y < screenHeight; ++y) {
        for (uint32_t x = 0; x < screenWidth; ++x) {
            lock.pixels[y * (lock.pitch / 4) + x] = 0xFF000000 | (y << 12) | x;
        }
    }
    host.unlockBackBuffer();
    clientWidth = 640;
    clientHeight = 512;
    takeScreenshot();
    ASSERT_EQ(console, "Saving ScreenShot_000.png\n");
    const DecodedPng png = decodePng("ScreenShot_000.png");
    ASSERT_EQ(png.width, 640u);
    ASSERT_EQ(png.height, 512u);
    const uint32_t left = 1283 / 2 - 320, top = 961 / 2 - 256;
    for (uint32_t y = 0; y < 512; y += 37) {
        for (uint32_t x = 0; x < 640; x += 29) {
            ASSERT_EQ(png.pixel(x, y), (((top + y) << 12) | (left + x)) & 0xFFFFFF)
                << x << "," << y;
        }
    }
    EXPECT_EQ(png.pixel(639, 511), (((top + 511) << 12) | (left + 639)) & 0xFFFFFF);
}

TEST_F(Screenshots, AFailedSaveIsReportedAsSuch) {
    // The working directory is gone: no file can be created in it, even by
    // root.
    fs::remove(dir);
    takeScreenshot();
    EXPECT_EQ(console, "Can't save ScreenShot_000.png\n");
    fs::create_directories(dir);
    fs::current_path(dir);
    clientWidth = 0;
    takeScreenshot();
    EXPECT_EQ(console, "Can't save ScreenShot_000.png\nCan't save ScreenShot_000.png\n");
    EXPECT_FALSE(fs::exists("ScreenShot_000.png"));
}

TEST_F(Screenshots, AFailedLockWritesAndPrintsNothing) {
    host.lockBackBuffer = [](BackBufferLock*) { return false; };
    takeScreenshot();
    EXPECT_EQ(console, "");
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(Screenshots, ThePngWriterNeverReplacesAFileAndFailsWhereNothingCanBeCreated) {
    const std::vector<uint32_t> pixels(16 * 4, 0x00112233);
    touch("taken.png");
    EXPECT_FALSE(writePngFile("taken.png", pixels.data(), 16, 4, 64));
    EXPECT_EQ(fs::file_size("taken.png"), 1u);
    // A path through a plain file cannot be created, whoever runs the test.
    EXPECT_FALSE(writePngFile("taken.png/shot.png", pixels.data(), 16, 4, 64));
    EXPECT_TRUE(writePngFile("new.png", pixels.data(), 16, 4, 64));
    const DecodedPng png = decodePng("new.png");
    EXPECT_EQ(png.width, 16u);
    EXPECT_EQ(png.pixel(15, 3), 0x00112233u);
}
} // namespace
