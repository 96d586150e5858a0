// The machine's save state (the format is described in state.h). A load
// reads the whole state into a scratch copy, checking every part, before it
// touches the machine.
#include "machines/tiamc/state.h"

#include "cpu/z80.h"
#include "host/host.h"
#include "machines/tiamc/crc32.h"
#include "machines/tiamc/tiamc.h"

#include <cstring>

namespace {

constexpr char stateMagic[8] = {'K', 'O', 'R', 'V', 'S', 'T', 'A', 'T'};
constexpr size_t formatOffset = 8;
constexpr size_t lengthOffset = 10;
constexpr size_t headerBytes = 23;
constexpr size_t sectionHeaderBytes = 8;
constexpr size_t crcBytes = 4;

constexpr uint32_t workRamStart = 0xC000;
constexpr size_t workRamBytes = 0x4000;

// Payload lengths of this format's sections.
constexpr size_t coreBytes = 2 + 2 * 7 + 2 * 4 + 5 + 1 + 4;
constexpr size_t boardBytes = workRamBytes + sizeof TiaBoard::charRam + sizeof TiaBoard::tileRam +
                              sizeof TiaBoard::spriteRegs + 16 + 7;
constexpr size_t keysBytes = sizeof keysNow + sizeof keysPrev + 1;
constexpr size_t stateBytes =
    headerBytes + 3 * sectionHeaderBytes + coreBytes + boardBytes + keysBytes + crcBytes;

enum CorePhase : uint8_t { betweenInstructions, afterDdPrefix, afterFdPrefix };

// A frame ends once the budget is overdrawn, by at most the last
// instruction's 23 T-states; anything within 256 T-states is a budget the
// next frame's grant pays off with room to spare.
constexpr int32_t largestOverdraft = 256 * 256;

struct SavedBoard {
    uint8_t workRam[workRamBytes];
    uint8_t charRam[4][0x800];
    uint8_t tileRam[0x800];
    uint8_t spriteRegs[16][4];
    uint8_t palette[16]; // the colour bytes written to the palette ports
    uint8_t inputD0, inputD1, inputD2;
    uint8_t videoControl, spriteXOrigin, auxLatch, analogValue;
};

struct SavedKeys {
    uint8_t now[256];
    uint8_t prev[256];
    uint8_t pauseHold;
};

// The scratch copy a load fills before anything is applied. The core is a
// whole copy of the running one, its registers replaced from the state.
struct SavedMachine {
    CpuCore core;
    uint8_t phase;
    SavedBoard board;
    SavedKeys keys;
};

SavedMachine scratch;

struct StateWriter {
    uint8_t* at;

    void u8(uint8_t v) { *at++ = v; }
    void u16(uint16_t v) {
        u8(uint8_t(v));
        u8(uint8_t(v >> 8));
    }
    void u32(uint32_t v) {
        u16(uint16_t(v));
        u16(uint16_t(v >> 16));
    }
    void u64(uint64_t v) {
        u32(uint32_t(v));
        u32(uint32_t(v >> 32));
    }
    void bytes(const void* source, size_t count) {
        std::memcpy(at, source, count);
        at += count;
    }
    void section(const char (&tag)[5], size_t length) {
        bytes(tag, 4);
        u32(uint32_t(length));
    }
};

struct StateReader {
    const uint8_t* at;

    uint8_t u8() { return *at++; }
    uint16_t u16() {
        const uint16_t low = u8();
        return uint16_t(low | u8() << 8);
    }
    uint32_t u32() {
        const uint32_t low = u16();
        return low | uint32_t(u16()) << 16;
    }
    uint64_t u64() {
        const uint64_t low = u32();
        return low | uint64_t(u32()) << 32;
    }
    void bytes(void* dest, size_t count) {
        std::memcpy(dest, at, count);
        at += count;
    }
};

uint32_t readU32(const uint8_t* at) { return StateReader{at}.u32(); }

uint32_t stateCrc(const uint8_t* data, size_t size) { return crc32Of(data, size); }

// The phase a frame can end in; false for any other.
bool findCorePhase(uint8_t& phase) {
    const CpuCore& c = cpuCore;
    if (!c.fetchFn || c.busFn != c.fetchFn) return false;
    if (c.stepFn == decodeOpcode) {
        phase = betweenInstructions;
    } else if (c.stepFn == decodeIndexed && c.indexReg == &cpuCore.IX) {
        phase = afterDdPrefix;
    } else if (c.stepFn == decodeIndexed && c.indexReg == &cpuCore.IY) {
        phase = afterFdPrefix;
    } else {
        return false;
    }
    return true;
}

// busAddress, dataLatch and swapHold are left out: every instruction sets
// them before it uses them, and so does a prefix chain's next opcode fetch.
void writeCore(StateWriter& w, uint8_t phase) {
    const CpuCore& c = cpuCore;
    w.section("CORE", coreBytes);
    w.u8(c.A);
    w.u8(c.F);
    for (uint16_t pair :
         {c.BC.w, c.DE.w, c.HL.w, c.IX.w, c.IY.w, c.SP, c.PC, c.AFx.w, c.BCx.w, c.DEx.w, c.HLx.w})
        w.u16(pair);
    for (uint8_t byte : {c.I, c.R, c.R7, c.iff, c.im, phase})
        w.u8(byte);
    w.u32(uint32_t(c.cycleBudget));
}

void readCore(StateReader r, CpuCore& c, uint8_t& phase) {
    c.A = r.u8();
    c.F = r.u8();
    for (uint16_t* pair : {&c.BC.w, &c.DE.w, &c.HL.w, &c.IX.w, &c.IY.w, &c.SP, &c.PC, &c.AFx.w,
                           &c.BCx.w, &c.DEx.w, &c.HLx.w})
        *pair = r.u16();
    for (uint8_t* byte : {&c.I, &c.R, &c.R7, &c.iff, &c.im, &phase})
        *byte = r.u8();
    c.cycleBudget = int32_t(r.u32());
}

// The palette registers hold host colours; the state keeps the colour byte
// each came from (every entry of the colour table is a different colour).
uint8_t paletteByte(uint32_t colour) {
    for (uint32_t i = 0; i < 256; ++i) {
        if (tiaBoard.colourTable[i] == colour) return uint8_t(i);
    }
    return 0;
}

void writeBoard(StateWriter& w) {
    const TiaBoard& b = tiaBoard;
    w.section("BORD", boardBytes);
    w.bytes(b.boardMemory + workRamStart, workRamBytes);
    w.bytes(b.charRam, sizeof b.charRam);
    w.bytes(b.tileRam, sizeof b.tileRam);
    w.bytes(b.spriteRegs, sizeof b.spriteRegs);
    for (uint32_t colour : b.paletteRegs)
        w.u8(paletteByte(colour));
    for (uint8_t byte : {b.inputD0, b.inputD1, b.inputD2, b.videoControl, b.spriteXOrigin,
                         b.auxLatch, b.analogValue})
        w.u8(byte);
}

void readBoard(StateReader r, SavedBoard& b) {
    r.bytes(b.workRam, sizeof b.workRam);
    r.bytes(b.charRam, sizeof b.charRam);
    r.bytes(b.tileRam, sizeof b.tileRam);
    r.bytes(b.spriteRegs, sizeof b.spriteRegs);
    r.bytes(b.palette, sizeof b.palette);
    for (uint8_t* byte : {&b.inputD0, &b.inputD1, &b.inputD2, &b.videoControl, &b.spriteXOrigin,
                          &b.auxLatch, &b.analogValue})
        *byte = r.u8();
}

void writeKeys(StateWriter& w) {
    w.section("KEYS", keysBytes);
    w.bytes(keysNow, sizeof keysNow);
    w.bytes(keysPrev, sizeof keysPrev);
    w.u8(pauseHoldFrames);
}

void readKeys(StateReader r, SavedKeys& k) {
    r.bytes(k.now, sizeof k.now);
    r.bytes(k.prev, sizeof k.prev);
    k.pauseHold = r.u8();
}

struct SectionKind {
    char tag[5];
    size_t length;
};

constexpr SectionKind sectionKinds[3] = {
    {"CORE", coreBytes}, {"BORD", boardBytes}, {"KEYS", keysBytes}};

int sectionKind(const uint8_t* tag) {
    for (int k = 0; k < 3; ++k) {
        if (std::memcmp(tag, sectionKinds[k].tag, 4) == 0) return k;
    }
    return -1;
}

// Header, length and CRC; then the board and the set it was made for.
bool checkFrame(const uint8_t* data, size_t size, std::string& error) {
    if (size > 0 && std::memcmp(data, stateMagic, size < 8 ? size : 8) != 0) {
        error = "not a Korvalo state";
        return false;
    }
    if (size < formatOffset + 2) {
        error = "truncated";
        return false;
    }
    const uint16_t format = uint16_t(data[formatOffset] | data[formatOffset + 1] << 8);
    if (format == 0) {
        error = "not a Korvalo state";
        return false;
    }
    if (format > machineStateFormat) {
        error = "made by a newer Korvalo (format " + std::to_string(format) + ")";
        return false;
    }
    if (size < headerBytes + crcBytes || size < readU32(data + lengthOffset)) {
        error = "truncated";
        return false;
    }
    if (size > readU32(data + lengthOffset)) {
        error = "damaged (wrong length)";
        return false;
    }
    if (stateCrc(data, size - crcBytes) != readU32(data + size - crcBytes)) {
        error = "damaged (CRC mismatch)";
        return false;
    }
    StateReader r{data + lengthOffset + 4};
    const uint8_t model = r.u8();
    if (model != tiaBoard.boardModel) {
        error = model == tiaMc1   ? "made for the TIA-MC-1"
                : model == tiaMc2 ? "made for the TIA-MC-2"
                                  : "made for another board";
        return false;
    }
    if (r.u64() != tiaBoard.romSetHash) {
        error = "made for another ROM set";
        return false;
    }
    return true;
}

// Every section into the scratch copy: each known one exactly once and at
// least as long as this format's, unknown ones skipped.
bool readSections(const uint8_t* data, size_t size, std::string& error) {
    const uint8_t* at = data + headerBytes;
    const uint8_t* const end = data + size - crcBytes;
    bool seen[3] = {};
    while (at != end) {
        const size_t left = size_t(end - at);
        if (left < sectionHeaderBytes || readU32(at + 4) > left - sectionHeaderBytes) {
            error = "a section length is wrong";
            return false;
        }
        const uint32_t length = readU32(at + 4);
        const int kind = sectionKind(at);
        at += sectionHeaderBytes;
        if (kind >= 0) {
            if (seen[kind]) {
                error = "a section is repeated";
                return false;
            }
            if (length < sectionKinds[kind].length) {
                error = "a section length is wrong";
                return false;
            }
            seen[kind] = true;
            if (kind == 0) readCore(StateReader{at}, scratch.core, scratch.phase);
            if (kind == 1) readBoard(StateReader{at}, scratch.board);
            if (kind == 2) readKeys(StateReader{at}, scratch.keys);
        }
        at += length;
    }
    if (!seen[0] || !seen[1] || !seen[2]) {
        error = "a section is missing";
        return false;
    }
    return true;
}

// Values the processor can never hold between two frames.
bool checkValues(std::string& error) {
    const CpuCore& c = scratch.core;
    const bool possible = scratch.phase <= afterFdPrefix && c.im <= 3 && !(c.iff & ~6) &&
                          !(c.R7 & 0x7F) && c.cycleBudget <= 0 &&
                          c.cycleBudget >= -largestOverdraft;
    if (!possible) error = "a value is out of range";
    return possible;
}

void applyScratch() {
    CpuCore& c = scratch.core;
    c.stepFn = scratch.phase == betweenInstructions ? decodeOpcode : decodeIndexed;
    c.busFn = c.fetchFn;
    if (scratch.phase == afterDdPrefix) c.indexReg = &cpuCore.IX;
    if (scratch.phase == afterFdPrefix) c.indexReg = &cpuCore.IY;
    cpuCore = c;

    const SavedBoard& s = scratch.board;
    TiaBoard& b = tiaBoard;
    std::memcpy(b.boardMemory + workRamStart, s.workRam, sizeof s.workRam);
    std::memcpy(b.charRam, s.charRam, sizeof s.charRam);
    std::memcpy(b.tileRam, s.tileRam, sizeof s.tileRam);
    std::memcpy(b.spriteRegs, s.spriteRegs, sizeof s.spriteRegs);
    for (int i = 0; i < 16; ++i)
        b.paletteRegs[i] = b.colourTable[s.palette[i]];
    b.inputD0 = s.inputD0;
    b.inputD1 = s.inputD1;
    b.inputD2 = s.inputD2;
    b.videoControl = s.videoControl;
    b.spriteXOrigin = s.spriteXOrigin;
    b.auxLatch = s.auxLatch;
    b.analogValue = s.analogValue;

    std::memcpy(keysNow, scratch.keys.now, sizeof keysNow);
    std::memcpy(keysPrev, scratch.keys.prev, sizeof keysPrev);
    pauseHoldFrames = scratch.keys.pauseHold;
}

} // namespace

void sealMachineState(std::vector<uint8_t>& state) {
    StateWriter{state.data() + lengthOffset}.u32(uint32_t(state.size()));
    const size_t covered = state.size() - crcBytes;
    StateWriter{state.data() + covered}.u32(stateCrc(state.data(), covered));
}

std::vector<uint8_t> saveMachineState() {
    uint8_t phase;
    if (!findCorePhase(phase)) return {};
    std::vector<uint8_t> state(stateBytes);
    StateWriter w{state.data()};
    w.bytes(stateMagic, sizeof stateMagic);
    w.u16(machineStateFormat);
    w.u32(0); // the total length, written by sealMachineState
    w.u8(tiaBoard.boardModel);
    w.u64(tiaBoard.romSetHash);
    writeCore(w, phase);
    writeBoard(w);
    writeKeys(w);
    sealMachineState(state);
    return state;
}

bool loadMachineState(const uint8_t* data, size_t size, std::string& error) {
    if (!cpuCore.fetchFn) {
        error = "no game is running";
        return false;
    }
    scratch.core = cpuCore;
    if (!checkFrame(data, size, error) || !readSections(data, size, error) || !checkValues(error))
        return false;
    applyScratch();
    return true;
}
