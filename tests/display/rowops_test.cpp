// Row operations and the packed-pixel arithmetic under them.
#include "display/pixels.h"
#include "display/present.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {
constexpr uint32_t white = 0x00FFFFFF;

uint32_t channel(uint32_t x, int shift) { return (x >> shift) & 0xFF; }

uint32_t perChannel(uint32_t a, uint32_t b, uint32_t (*f)(uint32_t, uint32_t)) {
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t value = f(channel(a, shift), channel(b, shift));
        EXPECT_LT(value, 256u) << "a channel overflowed";
        result |= value << shift;
    }
    return result;
}

TEST(PixelArithmetic, PackedFormsEqualThePerChannelFormulas) {
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const uint32_t a = random() & 0xFFFFFF, b = random() & 0xFFFFFF;
        ASSERT_EQ(half(a), perChannel(a, 0, [](uint32_t c, uint32_t) { return c / 2; }));
        ASSERT_EQ(threeQuarter(a),
                  perChannel(a, 0, [](uint32_t c, uint32_t) { return c / 4 + c / 2; }));
        ASSERT_EQ(average(a, b),
                  perChannel(a, b, [](uint32_t x, uint32_t y) { return x / 2 + y / 2; }));
        ASSERT_EQ(quarterSum(a, b),
                  perChannel(a, b, [](uint32_t x, uint32_t y) { return x / 4 + y / 4; }));
        ASSERT_EQ(mix(a, b),
                  perChannel(a, b, [](uint32_t x, uint32_t y) { return x / 4 + y - y / 4; }));
    }
}

TEST(RowOperations, Widen4to5BlendsTheInnerPixels) {
    std::vector<uint32_t> src = {0, white, white, 0, white, white, white, white};
    std::vector<uint32_t> dst(10, 0xDEAD);
    widen4to5(src.data(), dst.data(), 8, 1, 0, 0);
    const std::vector<uint32_t> expected = {0,     0x00C0C0C0, 0x00FEFEFE, 0x00C0C0C0, 0,
                                            white, white,      0x00FEFEFE, white,      white};
    EXPECT_EQ(dst, expected);
}

TEST(RowOperations, Widen2to3AveragesEachPair) {
    std::vector<uint32_t> src(8, 0);
    src[0] = 0x00FF0000;
    src[1] = 0x000000FF;
    std::vector<uint32_t> dst(12, 0xDEAD);
    widen2to3(src.data(), dst.data(), 8, 1, 0, 0);
    EXPECT_EQ(dst[0], 0x00FF0000u);
    EXPECT_EQ(dst[1], 0x007F007Fu);
    EXPECT_EQ(dst[2], 0x000000FFu);
    EXPECT_EQ(dst[3], 0u);
}

TEST(RowOperations, TripleLinesDimTheFirstAndThirdRow) {
    std::vector<uint32_t> src(8, white);
    src[4] = 0;
    std::vector<uint32_t> dst(3 * 10, 0xDEAD);
    presentTripleLines(src.data(), dst.data(), 8, 1, 0, 10);
    EXPECT_EQ(dst[0], 0x007F7F7Fu);
    EXPECT_EQ(dst[10], white);
    EXPECT_EQ(dst[20], 0x00BEBEBEu);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(dst[row * 10 + 4], 0u);
    EXPECT_EQ(dst[8], 0xDEADu) << "the row length is not the width";
}

TEST(RowOperations, SmoothLinesBlendWithTheLineBelowAndBlackAfterTheLast) {
    // Lines: white, black, white, white.
    std::vector<uint32_t> src(4 * 8, white);
    for (int i = 8; i < 16; ++i)
        src[i] = 0;
    std::vector<uint32_t> dst(8 * 9, 0xDEAD);
    presentSmoothLines(src.data(), dst.data(), 8, 4, 0, 9);
    const uint32_t secondRows[4] = {0x003F3F3F, 0x003F3F3F, 0x007E7E7E, 0x003F3F3F};
    for (int line = 0; line < 4; ++line) {
        EXPECT_EQ(dst[2 * line * 9], src[line * 8]) << line;
        EXPECT_EQ(dst[(2 * line + 1) * 9 + 7], secondRows[line]) << line;
        EXPECT_EQ(dst[(2 * line + 1) * 9 + 8], 0xDEADu) << line;
    }
}
} // namespace
