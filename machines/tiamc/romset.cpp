// The ROM set file, the model it selects, and the board's memory map as the
// processor sees it through the five bus slots.
#include "machines/tiamc/tiamc.h"

#include "cpu/z80.h"
#include "host/host.h"

#include <cstring>
#include <filesystem>
#include <system_error>

TiaBoard tiaBoard;

namespace {

constexpr uint16_t ramStart = 0xC000;
constexpr uint16_t videoWindow = 0xB000;
constexpr uint16_t videoWindowMask = 0xF800;
constexpr uint16_t videoRamIndexMask = 0x7FF;

// Fetch and read are one array access each: reads never see the video RAM,
// and PC wraps from 0xFFFF to 0x0000 by its own width.
void fetchByte(CpuCore& c) { c.busData() = tiaBoard.boardMemory[c.PC++]; }

void readByte(CpuCore& c) { c.busData() = tiaBoard.boardMemory[c.busAddress]; }

// Bits 0-4 of videoControl are active-low write enables of the tile map and
// the four character planes; a write may land in several of them, or none.
void writeVideoRam(uint32_t index, uint8_t value) {
    const uint8_t enables = ~tiaBoard.videoControl;
    if (enables & 1) tiaBoard.tileRam[index] = value;
    for (int plane = 0; plane < 4; ++plane) {
        if (enables & (2 << plane)) tiaBoard.charRam[plane][index] = value;
    }
}

// TIA-MC-1: RAM from 0xC000; the window 0xB000-0xB7FF goes to the video RAM
// only, leaving the ROM image under it unchanged.
void writeTiaMc1(CpuCore& c) {
    const uint16_t address = c.busAddress;
    if (address >= ramStart) {
        tiaBoard.boardMemory[address] = c.busData();
    } else if ((address & videoWindowMask) == videoWindow) {
        writeVideoRam(address & videoRamIndexMask, c.busData());
    }
}

// TIA-MC-2: RAM from 0xC000, tile map included; nothing else is writable.
void writeTiaMc2(CpuCore& c) {
    if (c.busAddress >= ramStart) tiaBoard.boardMemory[c.busAddress] = c.busData();
}

// The set's first romSetBytes bytes, those past the end of the file 0xFF:
// what either model reads of it.
uint8_t romSetImage[romSetBytes];

void loadTiaMc2() {
    std::memcpy(tiaBoard.charRom, romSetImage + spriteRomBytes, sizeof tiaBoard.charRom);
    std::memcpy(tiaBoard.boardMemory, romSetImage + tiaMc2ProgramOffset, tiaMc2ProgramBytes);
    std::memset(tiaBoard.boardMemory + tiaMc2ProgramBytes, 0,
                sizeof tiaBoard.boardMemory - tiaMc2ProgramBytes);
    tiaBoard.boardModel = tiaMc2;
}

// The work RAM above 0xE000 and the tile map keep their contents.
void loadTiaMc1() {
    std::memcpy(tiaBoard.boardMemory, romSetImage + tiaMc1ProgramOffset, tiaMc1ProgramBytes);
    std::memset(tiaBoard.charRam, 0, sizeof tiaBoard.charRam);
    tiaBoard.boardModel = tiaMc1;
}

// Only a regular file (after following links) is opened. fopen succeeds on a
// directory on some systems; opening a named pipe waits for a writer, and
// reading a terminal or another character device waits for input, either of
// which would freeze the frame loop.
std::FILE* openRomSet(const char* path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return nullptr;
    return std::fopen(path, "rb");
}

} // namespace

uint16_t readBlock(std::FILE* file, uint8_t* buffer, uint32_t count) {
    const size_t got = std::fread(buffer, 1, count, file);
    std::memset(buffer + got, 0xFF, count - got);
    return romChecksum(buffer, count);
}

uint64_t hashRomSetBytes(const uint8_t* data, size_t size, uint64_t hash) {
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 0x100000001B3;
    return hash;
}

uint64_t hashRomSetFile(std::FILE* file) {
    uint64_t hash = romSetHashStart;
    uint8_t chunk[4096];
    std::rewind(file);
    while (const size_t got = std::fread(chunk, 1, sizeof chunk, file))
        hash = hashRomSetBytes(chunk, got, hash);
    return hash;
}

void installBusHandlers() {
    const bool mc2 = tiaBoard.boardModel == tiaMc2;
    cpuCore.fetchFn = fetchByte;
    cpuCore.readFn = readByte;
    cpuCore.writeFn = mc2 ? writeTiaMc2 : writeTiaMc1;
    cpuCore.portInFn = readInputPort;
    cpuCore.portOutFn = mc2 ? writePortTiaMc2 : writePortTiaMc1;
}

namespace {

// Installs the set in romSetImage, whose whole file hashes to hash. Registers,
// palette and video control survive a load; the sprite registers do not.
void installRomSet(uint64_t hash) {
    std::memcpy(tiaBoard.spriteRom, romSetImage, sizeof tiaBoard.spriteRom);
    tiaBoard.romSetChecksum = romChecksum(romSetImage, spriteRomBytes);
    if (tiaBoard.romSetChecksum == tiaMc2Checksum) {
        loadTiaMc2();
    } else {
        loadTiaMc1();
    }
    installBusHandlers();
    consolePrintf(tiaBoard.boardModel == tiaMc2 ? "Model: TIA-MC-2\n" : "Model: TIA-MC-1\n");
    tiaBoard.analogControl = tiaBoard.romSetChecksum == analogChecksum;
    tiaBoard.romSetHash = hash;
    std::memset(tiaBoard.spriteRegs, 0, sizeof tiaBoard.spriteRegs);
}

} // namespace

bool loadRomSet(const char* path) {
    std::FILE* file = openRomSet(path);
    if (!file) return false;
    readBlock(file, romSetImage, romSetBytes);
    const uint64_t hash = hashRomSetFile(file);
    std::fclose(file);
    installRomSet(hash);
    return true;
}

void loadRomSetBytes(const uint8_t* data, size_t size) {
    const size_t used = size < romSetBytes ? size : romSetBytes;
    if (used) std::memcpy(romSetImage, data, used);
    std::memset(romSetImage + used, 0xFF, romSetBytes - used);
    installRomSet(hashRomSetBytes(data, size, romSetHashStart));
}

bool readRomSetFile(const char* path, std::vector<uint8_t>& bytes) {
    std::FILE* file = openRomSet(path);
    if (!file) return false;
    bytes.clear();
    uint8_t chunk[65536];
    while (const size_t got = std::fread(chunk, 1, sizeof chunk, file))
        bytes.insert(bytes.end(), chunk, chunk + got);
    const bool whole = !std::ferror(file);
    std::fclose(file);
    return whole;
}
