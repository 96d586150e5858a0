// The video generator: sprite placement, clipping, orientation and priority
// over the opaque tile layer, and the tile map and graphics each board shows.
#include "tiamc_fixture.h"

#include <sstream>

namespace {

constexpr uint32_t sentinel = 0xDEADBEEF;
constexpr uint8_t unmirroredTopDown = 0x0A;

uint32_t colourOf(int index) { return 0x100000u + uint32_t(index) * 0x010203u; }

class VideoTest : public TiaTest {
  protected:
    void SetUp() override {
        TiaTest::SetUp();
        for (int i = 0; i < 16; ++i)
            tiaBoard.paletteRegs[i] = colourOf(i);
        expected.assign(256 * 256, 0);
    }

    // Pixel (column, row) of a sprite image as drawn unmirrored and top-down.
    static void setSpritePixel(int image, int column, int row, int colour) {
        const uint32_t half = column < 8 ? 0 : 0x1000;
        const uint8_t bit = 0x80 >> (column & 7);
        for (int p = 0; p < 4; ++p) {
            uint8_t& b = tiaBoard.spriteRom[p * 0x2000 + half + image * 16 + row];
            b = (colour >> p) & 1 ? b | bit : b & ~bit;
        }
    }

    static void fillSprite(int image, int colour) {
        for (int row = 0; row < 16; ++row) {
            for (int column = 0; column < 16; ++column)
                setSpritePixel(image, column, row, colour);
        }
    }

    static void placeSprite(int sprite, int x, int y, int image, uint8_t attributes) {
        uint8_t* regs = tiaBoard.spriteRegs[sprite];
        regs[0] = uint8_t(tiaBoard.spriteXOrigin - 4 - x);
        regs[1] = uint8_t(256 - y);
        regs[2] = uint8_t(255 - image);
        regs[3] = attributes;
    }

    // Pixel j of line l of a character, in planes stride bytes apart.
    static void setCharPixel(uint8_t* planes, uint32_t stride, int code, int j, int l, int colour) {
        const uint8_t bit = 0x80 >> j;
        for (int p = 0; p < 4; ++p) {
            uint8_t& b = planes[p * stride + code * 8 + l];
            b = (colour >> p) & 1 ? b | bit : b & ~bit;
        }
    }

    static void fillChar(uint8_t* planes, uint32_t stride, int code, int colour) {
        for (int l = 0; l < 8; ++l) {
            for (int j = 0; j < 8; ++j)
                setCharPixel(planes, stride, code, j, l, colour);
        }
    }

    void expectRect(int x0, int y0, int x1, int y1, int colour) {
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x)
                expected[y * 256 + x] = colour;
        }
    }

    // Renders and compares every board pixel (both host pixels) with the
    // expected colour indices; reports the first few differences.
    void expectPicture(uint32_t stride = 512) {
        std::vector<uint32_t> out(stride * 256, sentinel);
        renderFrame(out.data(), stride);
        std::ostringstream diffs;
        int count = 0;
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                const uint32_t want = colourOf(expected[y * 256 + x]);
                const uint32_t* pair = &out[y * stride + 2 * x];
                if ((pair[0] != want || pair[1] != want) && count++ < 5) {
                    diffs << "(" << x << "," << y << ") want index " << expected[y * 256 + x]
                          << " got " << std::hex << pair[0] << "/" << pair[1] << std::dec << "\n";
                }
            }
            for (uint32_t x = 512; x < stride; ++x) {
                if (out[y * stride + x] != sentinel && count++ < 5) diffs << "wrote past 512\n";
            }
        }
        EXPECT_EQ(count, 0) << diffs.str();
    }

    std::vector<int> expected;
};

TEST_F(VideoTest, SpriteOrientationsPlaceEachPixelExactlyAndHiddenOnesNot) {
    tiaBoard.spriteXOrigin = 0x37;
    fillSprite(3, 15);
    setSpritePixel(3, 1, 2, 5);
    setSpritePixel(3, 9, 0, 6);
    placeSprite(0, 100, 50, 3, unmirroredTopDown);
    placeSprite(1, 20, 120, 3, 0x02);  // mirrored
    placeSprite(2, 160, 200, 3, 0x08); // bottom-up
    placeSprite(3, 200, 20, 3, 0x00);  // mirrored and bottom-up
    placeSprite(4, 60, 160, 3, 0xFA);  // attribute bits other than 0, 1, 3 do nothing
    placeSprite(5, 30, 30, 3, unmirroredTopDown | 1); // hidden
    expected[52 * 256 + 101] = 5;
    expected[50 * 256 + 109] = 6;
    expected[122 * 256 + 34] = 5;
    expected[120 * 256 + 26] = 6;
    expected[213 * 256 + 161] = 5;
    expected[215 * 256 + 169] = 6;
    expected[33 * 256 + 214] = 5;
    expected[35 * 256 + 206] = 6;
    expected[162 * 256 + 61] = 5;
    expected[160 * 256 + 69] = 6;
    expectPicture();
}

TEST_F(VideoTest, SpritesClipAtThePictureEdgesWithoutWrapping) {
    fillSprite(4, 7);
    struct Case {
        uint8_t origin, byte0, byte1;
        int x0, y0, x1, y1; // visible part, inclusive; x0 > x1 when none
    };
    const Case cases[] = {
        {0, 0, 156, 0, 100, 11, 115},      // x = -4: right 12 columns
        {252, 0, 156, 0, 100, 7, 115},     // x = -8: right 8 columns
        {251, 0, 156, 247, 100, 255, 115}, // x = 247: left 9 columns
        {100, 0, 255, 96, 1, 111, 16},     // top row on picture row 1
        {100, 0, 1, 96, 255, 111, 255},    // only the top row shows
        {100, 0, 0, 1, 0, 0, 0},           // rows 256 to 271: invisible
    };
    for (const Case& c : cases) {
        tiaBoard.spriteXOrigin = c.origin;
        tiaBoard.spriteRegs[9][0] = c.byte0;
        tiaBoard.spriteRegs[9][1] = c.byte1;
        tiaBoard.spriteRegs[9][2] = 255 - 4;
        tiaBoard.spriteRegs[9][3] = unmirroredTopDown;
        expected.assign(256 * 256, 0);
        if (c.x0 <= c.x1) expectRect(c.x0, c.y0, c.x1, c.y1, 7);
        SCOPED_TRACE(::testing::Message() << "origin " << int(c.origin) << " y " << int(c.byte1));
        expectPicture();
    }
}

TEST_F(VideoTest, HigherSpriteWinsUnlessItsPixelIsTransparent) {
    fillSprite(5, 9);
    fillSprite(6, 15);
    for (int row = 0; row < 16; ++row) {
        for (int column = 0; column < 8; ++column)
            setSpritePixel(6, column, row, 10);
    }
    placeSprite(1, 50, 50, 6, unmirroredTopDown);
    placeSprite(3, 50, 50, 5, unmirroredTopDown);
    placeSprite(7, 50, 50, 6, unmirroredTopDown);
    expectRect(50, 50, 57, 65, 10);
    expectRect(58, 50, 65, 65, 9);
    expectPicture();
}

TEST_F(VideoTest, TilesAreOpaqueAndSpriteColour15ShowsThem) {
    uint8_t* planes = &tiaBoard.charRam[0][0];
    for (int l = 0; l < 8; ++l) {
        for (int j = 0; j < 8; ++j) {
            setCharPixel(planes, 0x800, 1, j, l, (2 * j + l) & 15);
            expected[(24 + l) * 256 + 16 + j] = (2 * j + l) & 15;
        }
    }
    tiaBoard.tileRam[3 * 32 + 2] = 1;
    fillSprite(8, 15);
    placeSprite(15, 12, 20, 8, unmirroredTopDown);
    expectPicture();
}

TEST_F(VideoTest, TiaMc1ShowsThePageChosenByControlBit7) {
    uint8_t* planes = &tiaBoard.charRam[0][0];
    fillChar(planes, 0x800, 1, 3);
    fillChar(planes, 0x800, 2, 4);
    tiaBoard.tileRam[5] = 1;
    tiaBoard.tileRam[0x400 + 5] = 2;
    for (uint8_t control : {0x00, 0x7F}) {
        tiaBoard.videoControl = control;
        expectRect(40, 0, 47, 7, 3);
        expectPicture(640);
    }
    tiaBoard.videoControl = 0x80;
    expectRect(40, 0, 47, 7, 4);
    expectPicture(960);
}

TEST_F(VideoTest, TiaMc2ShowsItsBankAndTheTileMapInRam) {
    tiaBoard.boardModel = tiaMc2;
    tiaBoard.tileRam[33] = 1;
    fillChar(&tiaBoard.charRam[0][0], 0x800, 1, 12);
    tiaBoard.boardMemory[0xF000 + 33] = 7;
    for (int bank = 0; bank < 4; ++bank) {
        fillChar(tiaBoard.charRom + bank * 0x800, 0x2000, 7, bank + 1);
    }
    for (int bank = 0; bank < 4; ++bank) {
        for (uint8_t high : {0x00, 0x80}) {
            tiaBoard.videoControl = uint8_t(high | bank << 4 | 0x0F);
            expectRect(8, 8, 15, 15, bank + 1);
            SCOPED_TRACE(::testing::Message() << "control " << int(tiaBoard.videoControl));
            expectPicture();
        }
    }
}

TEST_F(VideoTest, ColourTableLevels) {
    EXPECT_EQ(tiaBoard.colourTable[0x00], 0x000000u);
    EXPECT_EQ(tiaBoard.colourTable[0xFF], 0xFFD8E8u);
    // red from bits 3-5, green from bits 0-2, blue from bits 6-7
    EXPECT_EQ(tiaBoard.colourTable[0x08], 0x380000u);
    EXPECT_EQ(tiaBoard.colourTable[0x01], 0x002C00u);
    EXPECT_EQ(tiaBoard.colourTable[0x40], 0x00006Eu);
    EXPECT_EQ(tiaBoard.colourTable[0x9A], 0x9638AEu);
}

} // namespace
