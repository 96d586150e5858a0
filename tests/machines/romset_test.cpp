// ROM set loader and the memory map seen through the bus slots.
#include "tiamc_fixture.h"

#include <cstdio>

namespace {

using RomSetTest = TiaTest;

uint8_t busRead(uint16_t address) {
    cpuCore.busAddress = address;
    cpuCore.readFn(cpuCore);
    return cpuCore.busData();
}

void busWrite(uint16_t address, uint8_t value) {
    cpuCore.busAddress = address;
    cpuCore.busData() = value;
    cpuCore.writeFn(cpuCore);
}

// Every TIA-MC-1 program byte is its address's low byte xor its high byte.
RomSetBuilder patternedTiaMc1() {
    RomSetBuilder set(RomModel::tiaMc1);
    for (uint32_t a = 0; a < 0xE000; ++a)
        set.file[0x8000 + a] = uint8_t(a ^ (a >> 8));
    return set;
}

TEST_F(RomSetTest, ReadBlockChecksumsAndFillsPastTheEnd) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fputs("abc", file);
    std::rewind(file);
    uint8_t longer[6];
    const uint16_t sum = readBlock(file, longer, 6);
    std::fclose(file);
    const uint8_t expected[6] = {'a', 'b', 'c', 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(0, std::memcmp(longer, expected, 6));
    EXPECT_EQ(sum, romChecksum(expected, 6));
}

TEST_F(RomSetTest, ChecksumSelectsModelAndAnalogControl) {
    struct Case {
        RomModel model;
        uint8_t boardModel;
        uint8_t analog;
        const char* message;
    };
    const Case cases[] = {{RomModel::tiaMc1, tiaMc1, 0, "Model: TIA-MC-1\n"},
                          {RomModel::tiaMc1Analog, tiaMc1, 1, "Model: TIA-MC-1\n"},
                          {RomModel::tiaMc2, tiaMc2, 0, "Model: TIA-MC-2\n"}};
    for (const Case& c : cases) {
        testHost.console.clear();
        RomSetBuilder set(c.model);
        load(set);
        EXPECT_EQ(tiaBoard.boardModel, c.boardModel);
        EXPECT_EQ(tiaBoard.analogControl, c.analog);
        EXPECT_EQ(testHost.console, c.message);
        EXPECT_EQ(tiaBoard.romSetChecksum, romChecksum(set.file.data(), spriteRomBytes));
    }
}

// The two model checksums as literals, independent of the loader's header: a
// sprite ROM of zeros whose byte 8 before the end is the wanted high half and
// whose last byte is the low half sums to exactly that value. Each value loads
// as its model; the same value with any one bit flipped is a digital
// TIA-MC-1 set.
TEST_F(RomSetTest, ModelChecksumsAre3E56And5422) {
    struct Case {
        uint16_t sum;
        uint8_t boardModel;
        uint8_t analog;
    };
    const Case cases[] = {{0x3E56, tiaMc2, 0}, {0x5422, tiaMc1, 1}};
    for (const Case& c : cases)
        for (int flip = -1; flip < 16; flip++) {
            const uint16_t sum = flip < 0 ? c.sum : uint16_t(c.sum ^ 1 << flip);
            std::vector<uint8_t> file(0x16000, 0);
            file[0x7FF7] = uint8_t(sum >> 8);
            file[0x7FFF] = uint8_t(sum);
            ASSERT_TRUE(loadRomSet(writeTemp(file).c_str()));
            EXPECT_EQ(tiaBoard.romSetChecksum, sum);
            EXPECT_EQ(tiaBoard.boardModel, flip < 0 ? c.boardModel : tiaMc1) << std::hex << sum;
            EXPECT_EQ(tiaBoard.analogControl, flip < 0 ? c.analog : 0) << std::hex << sum;
        }
}

TEST_F(RomSetTest, TiaMc2LoadPlacesRomsAndClearsRam) {
    std::memset(tiaBoard.boardMemory, 0x5A, sizeof tiaBoard.boardMemory);
    RomSetBuilder set(RomModel::tiaMc2);
    set.spriteRom()[0x10] = 0x11;
    set.charRom()[0x7FFF] = 0x22;
    set.program(0, {0x33});
    set.program(0x5FFF, {0x44});
    load(set);
    EXPECT_EQ(tiaBoard.spriteRom[0x10], 0x11);
    EXPECT_EQ(tiaBoard.charRom[0x7FFF], 0x22);
    EXPECT_EQ(tiaBoard.boardMemory[0], 0x33);
    EXPECT_EQ(tiaBoard.boardMemory[0x5FFF], 0x44);
    for (uint32_t a = 0x6000; a < 0x10000; ++a)
        ASSERT_EQ(tiaBoard.boardMemory[a], 0) << a;
}

TEST_F(RomSetTest, TiaMc1LoadKeepsWorkRamTilesAndRegisters) {
    tiaBoard.boardMemory[0xE000] = 0x12;
    tiaBoard.boardMemory[0xFFFF] = 0x34;
    tiaBoard.tileRam[0x7FF] = 0x56;
    tiaBoard.charRam[3][5] = 0x78;
    tiaBoard.spriteRegs[15][3] = 0x9A;
    tiaBoard.paletteRegs[2] = 0xABCDEF;
    tiaBoard.videoControl = 0x80;
    tiaBoard.spriteXOrigin = 0x44;
    cpuCore.PC = 0x4321;
    cpuCore.SP = 0x8765;
    RomSetBuilder set = patternedTiaMc1();
    load(set);
    EXPECT_EQ(tiaBoard.boardMemory[0x1234], uint8_t(0x1234 ^ 0x12));
    EXPECT_EQ(tiaBoard.boardMemory[0xDFFF], uint8_t(0xDFFF ^ 0xDF));
    EXPECT_EQ(tiaBoard.boardMemory[0xE000], 0x12);
    EXPECT_EQ(tiaBoard.boardMemory[0xFFFF], 0x34);
    EXPECT_EQ(tiaBoard.tileRam[0x7FF], 0x56);
    EXPECT_EQ(tiaBoard.charRam[3][5], 0);
    EXPECT_EQ(tiaBoard.spriteRegs[15][3], 0);
    EXPECT_EQ(tiaBoard.paletteRegs[2], 0xABCDEFu);
    EXPECT_EQ(tiaBoard.videoControl, 0x80);
    EXPECT_EQ(tiaBoard.spriteXOrigin, 0x44);
    EXPECT_EQ(cpuCore.PC, 0x4321);
    EXPECT_EQ(cpuCore.SP, 0x8765);
}

// Program bytes past the end of a short file read FFh, a file's tail past
// the set is ignored, and work RAM stays as it was.
TEST_F(RomSetTest, ShortOversizedAndEmptyFilesLoad) {
    std::vector<uint8_t> shortSet(0x8000 + 0x100, 0x00);
    shortSet[0x8000 + 0xFF] = 0x42;
    std::vector<uint8_t> oversized = patternedTiaMc1().build();
    oversized.resize(romSetBytes + 0x2000, 0xEE);
    const struct {
        std::vector<uint8_t> bytes;
        std::vector<std::pair<uint16_t, uint8_t>> memory;
    } cases[] = {{shortSet, {{0xFF, 0x42}, {0x100, 0xFF}, {0xDFFF, 0xFF}}},
                 {oversized, {{0xDFFF, uint8_t(0xDFFF ^ 0xDF)}, {0xE000, 0}, {0xFFFF, 0}}},
                 {{}, {{0, 0xFF}, {0xDFFF, 0xFF}, {0xE000, 0}}}};
    for (const auto& c : cases) {
        const std::string size = std::to_string(c.bytes.size());
        ASSERT_TRUE(loadRomSet(writeTemp(c.bytes, size).c_str()));
        EXPECT_EQ(tiaBoard.boardModel, tiaMc1) << size;
        for (const auto& [address, value] : c.memory)
            EXPECT_EQ(tiaBoard.boardMemory[address], value) << size << " bytes at " << address;
    }
    EXPECT_EQ(tiaBoard.romSetChecksum, 0); // the empty file, loaded last
    EXPECT_EQ(tiaBoard.spriteRom[0], 0xFF);
}

TEST_F(RomSetTest, UnopenablePathChangesNothing) {
    RomSetBuilder set(RomModel::tiaMc2);
    load(set);
    testHost.console.clear();
    const std::vector<uint8_t> memoryBefore(tiaBoard.boardMemory, tiaBoard.boardMemory + 0x10000);
    tiaBoard.spriteRegs[1][1] = 7;
    const CpuStep writeBefore = cpuCore.writeFn;
    const std::filesystem::path directory = std::filesystem::temp_directory_path();
    for (const std::string& path : {std::string("/nonexistent/Derev.tia"), directory.string()}) {
        EXPECT_FALSE(loadRomSet(path.c_str())) << path;
        EXPECT_EQ(tiaBoard.boardModel, tiaMc2);
        EXPECT_EQ(tiaBoard.romSetChecksum, tiaMc2Checksum);
        EXPECT_EQ(tiaBoard.spriteRegs[1][1], 7);
        EXPECT_EQ(cpuCore.writeFn, writeBefore);
        EXPECT_TRUE(std::equal(memoryBefore.begin(), memoryBefore.end(), tiaBoard.boardMemory));
    }
    EXPECT_EQ(testHost.console, "");
}

TEST_F(RomSetTest, TiaMc1VideoWindowWritesFollowTheEnables) {
    RomSetBuilder set = patternedTiaMc1();
    load(set);
    struct Case {
        uint8_t control;
        bool tile;
        bool planes[4];
    };
    const Case cases[] = {{0xE1, false, {true, true, true, true}},
                          {0xFE, true, {false, false, false, false}},
                          {0x1F, false, {false, false, false, false}},
                          {0x00, true, {true, true, true, true}},
                          {0xF5, false, {true, false, true, false}}};
    for (const Case& c : cases) {
        std::memset(tiaBoard.tileRam, 0, sizeof tiaBoard.tileRam);
        std::memset(tiaBoard.charRam, 0, sizeof tiaBoard.charRam);
        tiaBoard.videoControl = c.control;
        busWrite(0xB123, 0x99);
        EXPECT_EQ(tiaBoard.tileRam[0x123], c.tile ? 0x99 : 0) << int(c.control);
        for (int p = 0; p < 4; ++p) {
            EXPECT_EQ(tiaBoard.charRam[p][0x123], c.planes[p] ? 0x99 : 0) << int(c.control);
        }
        EXPECT_EQ(busRead(0xB123), uint8_t(0xB123 ^ 0xB1));
    }
}

TEST_F(RomSetTest, TiaMc1WritesOnlyReachRamAndTheWindow) {
    RomSetBuilder set = patternedTiaMc1();
    load(set);
    tiaBoard.videoControl = 0x00;
    for (uint16_t address : {0x0000, 0x5FFF, 0xAFFF, 0xB800, 0xBFFF}) {
        const uint8_t before = tiaBoard.boardMemory[address];
        busWrite(address, uint8_t(~before));
        EXPECT_EQ(busRead(address), before) << address;
    }
    EXPECT_EQ(tiaBoard.tileRam[0], 0);
    EXPECT_EQ(tiaBoard.charRam[0][0x7FF], 0);
    for (uint16_t address : {0xC000, 0xE000, 0xFFFF}) {
        busWrite(address, 0x5C);
        EXPECT_EQ(busRead(address), 0x5C) << address;
    }
}

TEST_F(RomSetTest, TiaMc2WritesOnlyFromC000) {
    RomSetBuilder set(RomModel::tiaMc2);
    set.program(0, {0x10, 0x20});
    load(set);
    tiaBoard.videoControl = 0x00;
    busWrite(0x0001, 0x77);
    busWrite(0xB000, 0x77);
    busWrite(0xBFFF, 0x77);
    EXPECT_EQ(busRead(0x0001), 0x20);
    EXPECT_EQ(busRead(0xB000), 0);
    EXPECT_EQ(busRead(0xBFFF), 0);
    EXPECT_EQ(tiaBoard.tileRam[0], 0);
    EXPECT_EQ(tiaBoard.charRam[0][0], 0);
    busWrite(0xC000, 0x31);
    busWrite(0xF3FF, 0x32);
    EXPECT_EQ(busRead(0xC000), 0x31);
    EXPECT_EQ(tiaBoard.boardMemory[0xF3FF], 0x32);
}

TEST_F(RomSetTest, FetchWrapsFromFFFFToZero) {
    RomSetBuilder set(RomModel::tiaMc1);
    set.program(0, {0xAB});
    load(set);
    tiaBoard.boardMemory[0xFFFF] = 0xCD;
    cpuCore.PC = 0xFFFF;
    cpuCore.fetchFn(cpuCore);
    EXPECT_EQ(cpuCore.busData(), 0xCD);
    EXPECT_EQ(cpuCore.PC, 0x0000);
    cpuCore.fetchFn(cpuCore);
    EXPECT_EQ(cpuCore.busData(), 0xAB);
    EXPECT_EQ(cpuCore.PC, 0x0001);
}

} // namespace
