// Port tables of both boards and the building of the cabinet input bytes.
#include "tiamc_fixture.h"

namespace {

using PortsTest = TiaTest;

// What one port write changed, as text ("" when nothing).
std::string writeAndDescribe(uint8_t port, uint8_t value) {
    const TiaBoard before = tiaBoard;
    cpuCore.busAddress = uint16_t(0x5500 | port);
    cpuCore.busData() = value;
    cpuCore.portOutFn(cpuCore);
    std::string effect;
    for (int n = 0; n < 16; ++n) {
        for (int b = 0; b < 4; ++b) {
            if (tiaBoard.spriteRegs[n][b] != before.spriteRegs[n][b]) {
                effect += "sprite " + std::to_string(n) + " byte " + std::to_string(b) + ";";
            }
        }
        if (tiaBoard.paletteRegs[n] != before.paletteRegs[n]) {
            effect += "palette " + std::to_string(n) + ";";
        }
    }
    if (tiaBoard.auxLatch != before.auxLatch) effect += "aux;";
    if (tiaBoard.spriteXOrigin != before.spriteXOrigin) effect += "origin;";
    if (tiaBoard.videoControl != before.videoControl) effect += "control;";
    tiaBoard = before;
    return effect;
}

// The effect the board gives each port, from the ports of the four sprite
// groups, the palette, and the three single registers.
std::string expectedEffect(uint8_t port, uint8_t spriteBase, uint8_t paletteBase,
                           const uint8_t (&single)[3]) {
    const int n = port & 0x0F;
    const int groupByte[4] = {1, 0, 2, 3};
    if (port >= spriteBase && port < spriteBase + 0x40) {
        return "sprite " + std::to_string(n) + " byte " +
               std::to_string(groupByte[(port - spriteBase) >> 4]) + ";";
    }
    if ((port & 0xF0) == paletteBase) return "palette " + std::to_string(n) + ";";
    const char* names[3] = {"aux;", "origin;", "control;"};
    for (int i = 0; i < 3; ++i) {
        if (port == single[i]) return names[i];
    }
    return "";
}

void checkPortTable(uint8_t spriteBase, uint8_t paletteBase, const uint8_t (&single)[3]) {
    for (int port = 0; port < 256; ++port) {
        EXPECT_EQ(writeAndDescribe(uint8_t(port), 0x5A),
                  expectedEffect(uint8_t(port), spriteBase, paletteBase, single))
            << "port " << std::hex << port;
    }
}

TEST_F(PortsTest, TiaMc1OutputPorts) {
    RomSetBuilder set(RomModel::tiaMc1);
    load(set);
    checkPortTable(0x40, 0xA0, {0xBC, 0xBD, 0xBE});
    cpuCore.busAddress = 0xBE;
    cpuCore.busData() = 0x9C;
    cpuCore.portOutFn(cpuCore);
    EXPECT_EQ(tiaBoard.videoControl, 0x9C);
}

TEST_F(PortsTest, TiaMc2OutputPorts) {
    RomSetBuilder set(RomModel::tiaMc2);
    load(set);
    checkPortTable(0x00, 0xE0, {0xF0, 0xF4, 0xF8});
}

TEST_F(PortsTest, PaletteWriteTakesTheColourTableEntry) {
    RomSetBuilder set(RomModel::tiaMc1);
    load(set);
    const std::vector<uint32_t> table(tiaBoard.colourTable, tiaBoard.colourTable + 256);
    cpuCore.busAddress = 0xA3;
    cpuCore.busData() = 0xFF;
    cpuCore.portOutFn(cpuCore);
    cpuCore.busAddress = 0xAC;
    cpuCore.portOutFn(cpuCore);
    EXPECT_EQ(tiaBoard.paletteRegs[3], 0xFFD8E8u); // red 255, green 216, blue 232
    EXPECT_EQ(tiaBoard.paletteRegs[12], tiaBoard.paletteRegs[3]);
    EXPECT_TRUE(std::equal(table.begin(), table.end(), tiaBoard.colourTable));
}

TEST_F(PortsTest, InputPortServesTheThreeBytes) {
    RomSetBuilder set(RomModel::tiaMc1);
    load(set);
    tiaBoard.inputD0 = 0x11;
    tiaBoard.inputD1 = 0x22;
    tiaBoard.inputD2 = 0x33;
    const std::pair<uint16_t, uint8_t> reads[] = {{0x00D0, 0x11}, {0xFFD1, 0x22}, {0x12D2, 0x33},
                                                  {0x00D3, 0},    {0x00CF, 0},    {0xD000, 0}};
    for (const auto& [address, value] : reads) {
        cpuCore.busAddress = address;
        cpuCore.busData() = 0xEE;
        cpuCore.portInFn(cpuCore);
        EXPECT_EQ(cpuCore.busData(), value) << std::hex << address;
    }
}

TEST_F(PortsTest, EachCabinetKeySetsItsBit) {
    struct Case {
        uint8_t key, d0, d1, d2;
    };
    const Case cases[] = {{0xCB, 0x20, 0, 0}, {0xCD, 0x02, 0, 0}, {0x14, 0, 0x80, 0},
                          {0xD0, 0, 0x20, 0}, {0xC8, 0, 0x02, 0}, {0x39, 0, 0, 0x40},
                          {0x1D, 0, 0, 0x20}, {0x1C, 0, 0, 0x10}, {0x9C, 0, 0, 0},
                          {0x4B, 0, 0, 0},    {0x00, 0, 0, 0}}; // keypad Enter, keypad 4
    for (const Case& c : cases) {
        keysNow[c.key] = 0x80;
        tiaBoard.inputD2 = 0x80;
        buildInputBytes();
        EXPECT_EQ(tiaBoard.inputD0, c.d0) << std::hex << int(c.key);
        EXPECT_EQ(tiaBoard.inputD1, c.d1) << std::hex << int(c.key);
        EXPECT_EQ(tiaBoard.inputD2, c.d2) << std::hex << int(c.key);
        keysNow[c.key] = 0;
    }
}

TEST_F(PortsTest, TiaMc2InvertsAllButEnter) {
    tiaBoard.boardModel = tiaMc2;
    buildInputBytes();
    EXPECT_EQ(tiaBoard.inputD0, 0x22);
    EXPECT_EQ(tiaBoard.inputD1, 0xA2);
    EXPECT_EQ(tiaBoard.inputD2, 0x60);
    for (uint8_t key : {0xCB, 0xCD, 0x14, 0xD0, 0xC8, 0x39, 0x1D})
        keysNow[key] = 0x80;
    buildInputBytes();
    EXPECT_EQ(tiaBoard.inputD0, 0x00);
    EXPECT_EQ(tiaBoard.inputD1, 0x00);
    EXPECT_EQ(tiaBoard.inputD2, 0x00);
    keysNow[0x1C] = 0x80;
    buildInputBytes();
    EXPECT_EQ(tiaBoard.inputD2, 0x10);
}

TEST_F(PortsTest, AnalogControlMovesTwoPerFrameWithinItsRange) {
    tiaBoard.analogControl = 1;
    const auto holdFrames = [](std::initializer_list<uint8_t> keys, int frames) {
        for (uint8_t key : keys)
            keysNow[key] = 0x80;
        std::vector<int> values;
        for (int i = 0; i < frames; ++i) {
            buildInputBytes();
            values.push_back(tiaBoard.inputD0);
        }
        for (uint8_t key : keys)
            keysNow[key] = 0;
        return values;
    };
    std::vector<int> left = holdFrames({0xCB}, 30);
    EXPECT_EQ(left[0], 154);
    EXPECT_EQ(left[26], 206);
    EXPECT_EQ(left[27], 208);
    EXPECT_EQ(left[29], 208);
    EXPECT_EQ(holdFrames({0xCB, 0xCD}, 1)[0], 206); // clamped at the top before the step down
    EXPECT_EQ(holdFrames({0xCB, 0xCD}, 3)[2], 206);
    EXPECT_EQ(holdFrames({}, 1)[0], 206);
    tiaBoard.analogValue = 152;
    std::vector<int> right = holdFrames({0xCD}, 30);
    EXPECT_EQ(right[26], 98);
    EXPECT_EQ(right[27], 96);
    EXPECT_EQ(right[29], 96);
    keysNow[0x14] = 0x80;
    buildInputBytes();
    EXPECT_EQ(tiaBoard.inputD0, 96);
    EXPECT_EQ(tiaBoard.inputD1, 0x80);
}

} // namespace
