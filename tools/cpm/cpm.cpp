// The CP/M machine drives the core only through its bus slots and budget
// stretches, as a board's frame loop would.
#include "tools/cpm/cpm.h"

#include "cpu/z80.h"

#include <cstdio>
#include <cstring>
#include <vector>

CpmMachine cpmMachine;

namespace {

constexpr uint16_t bdosEntry = 0x0005;
constexpr uint16_t stackTop = 0xFE00;
// One stretch of the budget: a TIA-MC frame's worth of time.
constexpr int32_t stretch = 35000 * 256;

void fetchByte(CpuCore& c) { c.dataLatch.hi = c.memory[c.PC++]; }
void readByte(CpuCore& c) { c.dataLatch.hi = c.memory[c.busAddress]; }
void writeByte(CpuCore& c) { c.memory[c.busAddress] = c.dataLatch.hi; }
void portIn(CpuCore& c) { c.dataLatch.hi = 0xFF; }
void portOut(CpuCore&) {}

void printChar(uint8_t ch) {
    if (cpmMachine.consoleOut) cpmMachine.consoleOut(ch);
}

// BDOS call: C = 2 prints E, C = 9 prints the '$'-terminated string at DE.
// Then returns to the caller as the RET at the entry point would.
void bdosCall(CpuCore& c) {
    const uint8_t* mem = cpmMachine.memory;
    if (c.BC.lo == 2) printChar(c.DE.lo);
    if (c.BC.lo == 9) {
        // A string without its '$' stops after one trip round memory.
        for (unsigned n = 0, a = c.DE.w; n < 0x10000 && mem[a & 0xFFFF] != '$'; ++n, ++a)
            printChar(mem[a & 0xFFFF]);
    }
    c.PC = uint16_t(mem[c.SP] | mem[uint16_t(c.SP + 1)] << 8);
    c.SP += 2;
}

void setUpCore(CpuCore& c) {
    c = CpuCore{};
    fillStandardCostTable(c);
    c.memory = cpmMachine.memory;
    c.fetchFn = fetchByte;
    c.readFn = readByte;
    c.writeFn = writeByte;
    c.portInFn = portIn;
    c.portOutFn = portOut;
    c.stepFn = decodeOpcode;
    c.busFn = c.fetchFn;
    c.PC = 0x0100;
    c.SP = stackTop;
}

} // namespace

bool cpmLoadProgram(const uint8_t* program, size_t size) {
    uint8_t* mem = cpmMachine.memory;
    std::memset(mem, 0, sizeof cpmMachine.memory);
    size_t room = stackTop - 0x0100;
    bool fits = size <= room;
    std::memcpy(mem + 0x0100, program, fits ? size : room);
    // 0005h: JP to the BDOS, whose address is also the top of the program's
    // memory; the call itself is trapped before it runs.
    mem[bdosEntry] = 0xC3;
    mem[bdosEntry + 1] = stackTop & 0xFF;
    mem[bdosEntry + 2] = stackTop >> 8;
    cpmMachine.tStates = 0;
    cpmMachine.instructions = 0;
    setUpCore(cpuCore);
    return fits;
}

bool cpmLoad(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    std::vector<uint8_t> program(stackTop);
    size_t size = std::fread(program.data(), 1, program.size(), f);
    std::fclose(f);
    return cpmLoadProgram(program.data(), size);
}

bool cpmRun(uint64_t tStateLimit) {
    CpuCore& c = cpuCore;
    uint64_t added = 0, start = cpmMachine.tStates, count = 0;
    bool ended = false;
    while (!ended && cpmMachine.tStates - start < tStateLimit) {
        c.cycleBudget += stretch;
        added += stretch;
        while (c.cycleBudget >= 0) {
            if (c.PC <= bdosEntry) [[unlikely]] {
                if (c.PC == 0) {
                    ended = true;
                    break;
                }
                if (c.PC == bdosEntry) bdosCall(c);
            }
            runInstruction(c);
            ++count;
        }
        cpmMachine.tStates = start + (added - c.cycleBudget) / 256;
    }
    cpmMachine.instructions += count;
    return ended;
}
