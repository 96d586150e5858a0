// The board's I/O ports (sprite, palette and video control registers out;
// three cabinet input bytes in) and the building of the input bytes from the
// host keyboard once per frame.
#include "machines/tiamc/tiamc.h"

#include "cpu/z80.h"
#include "host/host.h"
#include "host/keycodes.h"

#include <algorithm>

namespace {

// Sprite register byte written by each of the four sprite port groups:
// vertical position, horizontal position, inverted image, attributes.
constexpr uint8_t spriteGroupByte[4] = {1, 0, 2, 3};

void writeSpriteRegister(uint32_t group, uint32_t sprite, uint8_t value) {
    tiaBoard.spriteRegs[sprite][spriteGroupByte[group]] = value;
}

void writePalette(uint32_t index, uint8_t value) {
    tiaBoard.paletteRegs[index] = tiaBoard.colourTable[value];
}

struct InputKey {
    uint8_t key;
    uint8_t byte; // 0 = inputD0, 1 = inputD1, 2 = inputD2
    uint8_t bit;
};

constexpr InputKey inputKeys[] = {
    {leftArrowKey, 0, 0x20}, {rightArrowKey, 0, 0x02}, {tKey, 1, 0x80},
    {downArrowKey, 1, 0x20}, {upArrowKey, 1, 0x02},    {spaceKey, 2, 0x40},
    {leftCtrlKey, 2, 0x20},  {enterKey, 2, 0x10},
};

constexpr uint8_t analogMax = 208;
constexpr uint8_t analogMin = 96;
constexpr uint8_t analogStep = 2;

// The clamp at the top applies before the step down, so both arrows held at
// the top end give 206.
uint8_t moveAnalogControl() {
    uint8_t value = tiaBoard.analogValue;
    if (keyDown(leftArrowKey)) value = std::min(value + analogStep, int(analogMax));
    if (keyDown(rightArrowKey)) value = std::max(value - analogStep, int(analogMin));
    return tiaBoard.analogValue = value;
}

} // namespace

bool keyDown(uint8_t key) { return keysNow[key] & 0x80; }

void readInputPort(CpuCore& c) {
    switch (c.busAddress & 0xFF) {
    case 0xD0: c.busData() = tiaBoard.inputD0; break;
    case 0xD1: c.busData() = tiaBoard.inputD1; break;
    case 0xD2: c.busData() = tiaBoard.inputD2; break;
    default: c.busData() = 0;
    }
}

void writePortTiaMc1(CpuCore& c) {
    const uint8_t port = c.busAddress & 0xFF;
    const uint8_t value = c.busData();
    const uint32_t n = port & 0x0F;
    if (port >= 0x40 && port < 0x80) {
        writeSpriteRegister((port >> 4) - 4, n, value);
    } else if ((port & 0xF0) == 0xA0) {
        writePalette(n, value);
    } else if (port == 0xBC) {
        tiaBoard.auxLatch = value;
    } else if (port == 0xBD) {
        tiaBoard.spriteXOrigin = value;
    } else if (port == 0xBE) {
        tiaBoard.videoControl = value;
    }
}

void writePortTiaMc2(CpuCore& c) {
    const uint8_t port = c.busAddress & 0xFF;
    const uint8_t value = c.busData();
    const uint32_t n = port & 0x0F;
    if (port < 0x40) {
        writeSpriteRegister(port >> 4, n, value);
    } else if ((port & 0xF0) == 0xE0) {
        writePalette(n, value);
    } else if (port == 0xF0) {
        tiaBoard.auxLatch = value;
    } else if (port == 0xF4) {
        tiaBoard.spriteXOrigin = value;
    } else if (port == 0xF8) {
        tiaBoard.videoControl = value;
    }
}

// The TIA-MC-2 wires most inputs active-low: its bytes are inverted in the
// bits that keys set, except Enter, which reads 1 when pressed.
void buildInputBytes() {
    uint8_t bytes[3] = {0, 0, 0};
    for (const InputKey& k : inputKeys) {
        if (keyDown(k.key)) bytes[k.byte] |= k.bit;
    }
    if (tiaBoard.analogControl) bytes[0] = moveAnalogControl();
    if (tiaBoard.boardModel == tiaMc2) {
        bytes[0] ^= 0x22;
        bytes[1] ^= 0xA2;
        bytes[2] ^= 0x60;
    }
    tiaBoard.inputD0 = bytes[0];
    tiaBoard.inputD1 = bytes[1];
    tiaBoard.inputD2 = bytes[2];
}
