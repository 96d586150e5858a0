#include "tiapack.h"

#include <gtest/gtest.h>

using namespace tiapack;

namespace {

Picture solid(int number, int size, uint8_t colour) {
    return Picture{number, size, std::vector<uint8_t>(size * size, colour)};
}

Bytes patternedSpriteRom() {
    Bytes rom(spriteRomBytes);
    for (size_t i = 0; i < rom.size(); ++i)
        rom[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    return rom;
}

} // namespace

TEST(TiapackChecksum, RotatesThenXorsEachByte) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(romChecksum(abc, 3), 0x0123);
    const uint8_t high[] = {0x80, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(romChecksum(high, 9), 0x8000); // bit 7 shifted up eight places
    const uint8_t wrap[] = {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(romChecksum(wrap, 10), 0x0001); // and around past bit 15
}

TEST(TiapackChecksum, ForcedToTheModelValues) {
    for (SetKind kind : {SetKind::tiaMc2, SetKind::tiaMc1Analog}) {
        Bytes rom = patternedSpriteRom();
        Bytes before = rom;
        forceChecksum(rom, kind);
        uint16_t want = kind == SetKind::tiaMc2 ? tiaMc2Checksum : analogChecksum;
        EXPECT_EQ(romChecksum(rom.data(), rom.size()), want);
        int changed = 0;
        for (size_t i = 0; i < rom.size(); ++i)
            changed += rom[i] != before[i];
        EXPECT_LE(changed, 2); // only the reserved image's two bytes
        EXPECT_EQ(Bytes(rom.begin(), rom.begin() + 0x7FF0),
                  Bytes(before.begin(), before.begin() + 0x7FF0));
    }
}

TEST(TiapackChecksum, DigitalSetAvoidsBothModelValues) {
    for (SetKind collide : {SetKind::tiaMc2, SetKind::tiaMc1Analog}) {
        Bytes rom = patternedSpriteRom();
        forceChecksum(rom, collide);
        forceChecksum(rom, SetKind::tiaMc1Digital);
        uint16_t sum = romChecksum(rom.data(), rom.size());
        EXPECT_NE(sum, tiaMc2Checksum);
        EXPECT_NE(sum, analogChecksum);
    }
}

TEST(TiapackLayout, SpriteHalvesAndPlanes) {
    Picture s = solid(3, 16, 15);
    s.pixels[2 * 16 + 0] = 1;  // row 2, leftmost pixel: plane 0 only
    s.pixels[2 * 16 + 8] = 8;  // row 2, first pixel of half B: plane 3 only
    s.pixels[5 * 16 + 15] = 6; // row 5, rightmost pixel: planes 1 and 2
    Bytes rom(spriteRomBytes, 0);
    placeSprite(rom, s);
    size_t a = 3 * 16 + 2;
    EXPECT_EQ(rom[a], 0xFF);
    EXPECT_EQ(rom[0x6000 + a], 0x7F);
    EXPECT_EQ(rom[0x1000 + a], 0x7F);
    EXPECT_EQ(rom[0x7000 + a], 0xFF);
    size_t b = 0x1000 + 3 * 16 + 5;
    EXPECT_EQ(rom[b], 0xFE);
    EXPECT_EQ(rom[0x2000 + b], 0xFF);
    EXPECT_EQ(rom[0x6000 + b], 0xFE);
    EXPECT_EQ(rom[3 * 16 + 1], 0xFF); // untouched row keeps colour 15
}

TEST(TiapackLayout, TiaMc2SetPlacesBanksAndProgram) {
    Picture c = solid(5, 8, 0);
    c.pixels[3 * 8 + 7] = 4; // row 3, rightmost pixel, plane 2
    Bytes out;
    Bytes program = {0xF3, 0x31, 0x00};
    ASSERT_EQ(buildRomSet(SetKind::tiaMc2, program, {solid(0, 16, 2)}, {{}, {}, {c}}, out), "");
    ASSERT_EQ(out.size(), romSetBytes);
    EXPECT_EQ(romChecksum(out.data(), spriteRomBytes), tiaMc2Checksum);
    EXPECT_EQ(out[0x8000 + 0x4000 + 2 * 0x800 + 5 * 8 + 3], 0x01);
    EXPECT_EQ(out[0x8000 + 2 * 0x800 + 5 * 8 + 3], 0x00);
    EXPECT_EQ(out[0x10000], 0xF3);
    EXPECT_EQ(out[0x10002], 0x00);
    EXPECT_EQ(out[0x2000], 0xFF); // sprite 0 plane 1 of colour 2
}

TEST(TiapackLayout, TiaMc1SetAndCharRamImage) {
    Bytes out;
    Bytes program(0xE000, 0x11);
    ASSERT_EQ(buildRomSet(SetKind::tiaMc1Analog, program, {}, {}, out), "");
    EXPECT_EQ(romChecksum(out.data(), spriteRomBytes), analogChecksum);
    EXPECT_EQ(out[0x8000], 0x11);
    EXPECT_EQ(out[0x15FFF], 0x11);
    EXPECT_NE(buildRomSet(SetKind::tiaMc1Digital, Bytes(0xE001), {}, {}, out), "");
    EXPECT_NE(buildRomSet(SetKind::tiaMc1Digital, {}, {solid(255, 16, 1)}, {}, out), "");
    Bytes image = charRamImage({solid(0x41, 8, 9)});
    ASSERT_EQ(image.size(), charRamBytes);
    EXPECT_EQ(image[0x41 * 8 + 7], 0xFF);          // plane 0
    EXPECT_EQ(image[0x800 + 0x41 * 8], 0x00);      // plane 1
    EXPECT_EQ(image[0x1800 + 0x41 * 8 + 4], 0xFF); // plane 3
}

TEST(TiapackText, ParsesBlocksAndReportsErrors) {
    std::vector<Picture> pics;
    std::string rows;
    for (int i = 0; i < 7; ++i)
        rows += "1.....F.\n";
    ASSERT_EQ(parsePictures("char 'A'\n..2222..\nblank 3\n" + rows, 8, pics), "");
    ASSERT_EQ(pics.size(), 1u);
    EXPECT_EQ(pics[0].number, 'A');
    EXPECT_EQ(pics[0].pixels[0], 0);
    EXPECT_EQ(pics[0].pixels[2], 2);
    EXPECT_EQ(pics[0].pixels[8], 1);
    EXPECT_EQ(pics[0].pixels[9], 3);
    EXPECT_EQ(pics[0].pixels[14], 15);
    pics.clear();
    EXPECT_EQ(parsePictures("char 1\n1234567\n", 8, pics), "line 2: row must have 8 pixels");
    EXPECT_EQ(parsePictures("char 1\n1234567x\n", 8, pics), "line 2: bad pixel 'x'");
    EXPECT_EQ(parsePictures("12345678\n", 8, pics), "line 1: expected 'char N'");
    EXPECT_EQ(parsePictures("sprite 1\n", 16, pics), "last picture is incomplete");
}

TEST(TiapackText, RecolourAddsShiftedCopies) {
    std::vector<Picture> pics;
    std::string rows;
    for (int i = 0; i < 8; ++i)
        rows += ".22..33.\n";
    ASSERT_EQ(parsePictures("char '0'\n" + rows + "char '1'\n" + rows + "char 'A'\n" + rows +
                                "recolour '0' '9' 0x30 2 4\n",
                            8, pics),
              "");
    ASSERT_EQ(pics.size(), 5u);
    EXPECT_EQ(pics[3].number, '0' + 0x30);
    EXPECT_EQ(pics[4].number, '1' + 0x30);
    EXPECT_EQ(pics[3].pixels[1], 4);
    EXPECT_EQ(pics[3].pixels[5], 3);
    EXPECT_EQ(pics[0].pixels[1], 2);
    EXPECT_EQ(parsePictures("recolour 1 2 3 4\n", 8, pics), "line 1: bad recolour '1 2 3 4'");
    EXPECT_EQ(parsePictures("recolour 0 250 10 2 4\n", 8, pics),
              "line 1: bad recolour '0 250 10 2 4'");
}
