// Composition into the back buffer: geometry, centring and pixels of every
// preset and scanline look, on a back buffer larger than the minimum whose
// pitch is odd and wider than its width.
#include "display/pixels.h"
#include "display/present.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace {
constexpr uint32_t testWidth = 1301;
constexpr uint32_t testHeight = 977;
constexpr int32_t testPitchPixels = 1307;
constexpr uint32_t untouched = 0xAB123456; // top byte set: never a composed pixel

std::vector<uint32_t> backBuffer;
int locks, unlocks, clears, renders;
bool lockFails;
uint32_t sizedWidth, sizedHeight;
uint32_t pictureSeed;
uint32_t lineSeeds[256]; // and for single lines

bool testLock(BackBufferLock* lock) {
    ++locks;
    if (lockFails) return false;
    lock->pixels = backBuffer.data();
    lock->pitch = testPitchPixels * 4;
    return true;
}

uint32_t picturePixel(uint32_t x, uint32_t y) {
    return ((x * 0x010203u + y * 0x030501u) ^ pictureSeed ^ lineSeeds[y]) & 0xFFFFFF;
}

void testRender(uint32_t* dest, uint32_t stride) {
    ++renders;
    for (uint32_t y = 0; y < 256; ++y) {
        for (uint32_t x = 0; x < 512; ++x)
            dest[y * stride + x] = picturePixel(x, y);
    }
}

using Line = std::vector<uint32_t>;

Line sourceLine(uint32_t y) {
    Line line(512);
    for (uint32_t x = 0; x < 512; ++x)
        line[x] = picturePixel(x, y);
    return line;
}

Line widenedBy5to4(const Line& in) {
    Line out;
    for (size_t i = 0; i < in.size(); i += 4) {
        out.insert(out.end(), {in[i], mix(in[i], in[i + 1]), average(in[i + 1], in[i + 2]),
                               mix(in[i + 3], in[i + 2]), in[i + 3]});
    }
    return out;
}

Line widenedBy3to2(const Line& in) {
    Line out;
    for (size_t i = 0; i < in.size(); i += 2) {
        out.insert(out.end(), {in[i], average(in[i], in[i + 1]), in[i + 1]});
    }
    return out;
}

Line mapped(const Line& in, uint32_t (*f)(uint32_t)) {
    Line out(in);
    for (uint32_t& p : out)
        p = f(p);
    return out;
}

Line blendedWith(const Line& a, const Line* below) {
    Line out(a);
    for (size_t i = 0; i < a.size(); ++i)
        out[i] = quarterSum(a[i], below ? (*below)[i] : 0);
    return out;
}

// The expected picture rows, built out of place; an empty row stays
// untouched.
std::vector<Line> expectedPicture() {
    std::vector<Line> rows;
    std::vector<Line> wide;
    for (uint32_t y = 0; y < 256; ++y)
        wide.push_back(widenedBy5to4(sourceLine(y)));
    for (uint32_t y = 0; y < 256; ++y) {
        if (scalePreset == 1) {
            rows.insert(rows.end(), {sourceLine(y), Line()});
        } else if (scalePreset == 3) {
            const Line line = widenedBy5to4(widenedBy3to2(sourceLine(y)));
            rows.insert(rows.end(), {mapped(line, half), line, mapped(line, threeQuarter)});
        } else if (scanlineMode == 0) {
            rows.insert(rows.end(), {wide[y], Line()});
        } else if (scanlineMode == 1) {
            rows.insert(rows.end(),
                        {wide[y], blendedWith(wide[y], y < 255 ? &wide[y + 1] : nullptr)});
        } else {
            rows.insert(rows.end(), {wide[y], wide[y]});
        }
    }
    return rows;
}

class Presentation : public ::testing::Test {
  protected:
    void SetUp() override {
        backBuffer.assign(static_cast<size_t>(testPitchPixels) * testHeight, untouched);
        screenWidth = testWidth;
        screenHeight = testHeight;
        locks = unlocks = clears = renders = 0;
        lockFails = false;
        host = HostOps{};
        host.lockBackBuffer = testLock;
        host.unlockBackBuffer = [] { ++unlocks; };
        host.clearBackBuffer = [] { ++clears; };
        host.sizeClient = [](uint32_t w, uint32_t h) { sizedWidth = w, sizedHeight = h; };
        allocateFrameBuffer();
    }

    // Composes one frame and checks every pixel of the back buffer.
    void expectComposed(uint8_t preset, uint8_t mode, uint32_t width, uint32_t height) {
        scalePreset = preset;
        scanlineMode = mode;
        composeFrame(testRender);
        const std::vector<Line> rows = expectedPicture();
        ASSERT_EQ(rows.size(), height);
        const uint32_t top = testHeight / 2 - height / 2, left = testWidth / 2 - width / 2;
        for (uint32_t r = 0; r < testHeight; ++r) {
            for (int32_t c = 0; c < testPitchPixels; ++c) {
                const uint32_t actual = backBuffer[r * testPitchPixels + c];
                const bool inside = r >= top && r < top + height &&
                                    c >= static_cast<int32_t>(left) &&
                                    c < static_cast<int32_t>(left + width);
                const Line* row = inside ? &rows[r - top] : nullptr;
                const uint32_t expected = row && !row->empty() ? (*row)[c - left] : untouched;
                ASSERT_EQ(actual, expected) << "row " << r << " column " << c;
            }
        }
        EXPECT_EQ(locks, 1);
        EXPECT_EQ(unlocks, 1);
    }
};

// Preset 1: the line once with a black row below; preset 12: black
// scanlines, smooth scanlines, and double lines for every other look;
// preset 3: three rows of falling brightness. Presets 1 and 3 look the same
// whatever the scanline look.
TEST_F(Presentation, EveryPresetAndLookFillsItsCentredRectangle) {
    const struct {
        uint8_t preset, mode;
        uint32_t width, height;
    } cases[] = {{1, 0, 512, 512},  {1, 1, 512, 512},  {1, 2, 512, 512},  {12, 0, 640, 512},
                 {12, 1, 640, 512}, {12, 2, 640, 512}, {12, 7, 640, 512}, {3, 0, 960, 768},
                 {3, 1, 960, 768},  {3, 2, 960, 768}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "preset " << int(c.preset) << " look " << int(c.mode));
        SetUp();
        expectComposed(c.preset, c.mode, c.width, c.height);
    }
}

TEST_F(Presentation, LeftoversOfALargerPresetDoNotReachTheSmoothLastLine) {
    pictureSeed = 0xFFFFFF;
    scalePreset = 3;
    composeFrame(testRender);
    SetUp();
    pictureSeed = 0x123456;
    expectComposed(12, 1, 640, 512);
    pictureSeed = 0;
}

// On a back buffer that keeps its picture, frames that change a few lines
// each (the first and last lines among them, one line twice) end in the same
// back buffer as one full composition of the last picture; an unchanged
// picture leaves the back buffer alone until the host resets it.
TEST_F(Presentation, AKeptBackBufferRedoesOnlyChangedLinesToTheSamePicture) {
    const struct { uint8_t preset, mode; } cases[] = {{1, 0}, {12, 0}, {12, 1}, {12, 2}, {3, 0}};
    const struct {
        uint32_t first, count, seed;
    } frames[] = {{0, 0, 0},        {100, 4, 0x0F0F0F}, {255, 1, 0x333333},
                  {0, 1, 0xFFFFFF}, {101, 1, 0x808080}, {0, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "preset " << int(c.preset) << " look " << int(c.mode));
        SetUp();
        std::fill(std::begin(lineSeeds), std::end(lineSeeds), 0u);
        backBufferKeepsPicture = true;
        scalePreset = c.preset;
        scanlineMode = c.mode;
        for (const auto& frame : frames) {
            std::fill(lineSeeds + frame.first, lineSeeds + frame.first + frame.count, frame.seed);
            composeFrame(testRender);
        }
        const std::vector<uint32_t> kept = backBuffer;
        const size_t middle = backBuffer.size() / 2;
        backBuffer[middle] = untouched;
        composeFrame(testRender);
        EXPECT_EQ(backBuffer[middle], untouched) << "an unchanged picture was composed again";
        ++backBufferResets;
        composeFrame(testRender);
        EXPECT_EQ(backBuffer[middle], kept[middle]) << "a reset back buffer was not composed";

        SetUp();
        backBufferKeepsPicture = false;
        composeFrame(testRender);
        EXPECT_EQ(backBuffer, kept);
    }
    std::fill(std::begin(lineSeeds), std::end(lineSeeds), 0u);
}

TEST_F(Presentation, UnknownPresetComposesNothing) {
    scalePreset = 2;
    composeFrame(testRender);
    EXPECT_EQ(renders, 0);
    EXPECT_EQ(locks, 1);
    EXPECT_EQ(unlocks, 1);
    for (uint32_t p : backBuffer)
        ASSERT_EQ(p, untouched);
}

TEST_F(Presentation, FailedLockSkipsTheFrame) {
    lockFails = true;
    scalePreset = 3;
    composeFrame(testRender);
    EXPECT_EQ(renders, 0);
    EXPECT_EQ(unlocks, 0);
    for (uint32_t p : backBuffer)
        ASSERT_EQ(p, untouched);
}

TEST_F(Presentation, ResizeClientKeepsTheLastRequestedSizeForZeros) {
    resizeClient(640, 512);
    EXPECT_EQ(sizedWidth, 640u);
    EXPECT_EQ(sizedHeight, 512u);
    resizeClient(0, 0);
    EXPECT_EQ(sizedWidth, 640u);
    EXPECT_EQ(sizedHeight, 512u);
    resizeClient(0, 768);
    EXPECT_EQ(clientWidth, 640u);
    EXPECT_EQ(clientHeight, 768u);
    EXPECT_EQ(sizedHeight, 768u);
    clearBackBuffer();
    EXPECT_EQ(clears, 1);
}
} // namespace
