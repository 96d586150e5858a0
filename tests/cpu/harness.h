// A bare machine for the core's tests: 64 KB of RAM, ports that answer with
// their high address byte (or a test's own rule), and bus slots that log every
// operation in order.
#pragma once

#include "cpu/z80.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct BusEvent {
    char kind; // F fetch, R read, W write, I port in, O port out
    uint16_t address;
    uint8_t data;
};

extern uint8_t testMemory[65536];
extern std::vector<BusEvent> busEvents;
// Value a port read returns; the default answers with the high byte of the address.
extern uint8_t (*portValue)(uint16_t address);

// Zeroes `cpuCore` and the memory, then sets the core up as the driver does:
// standard cost table, logged bus slots, PC = 0, at an instruction start.
CpuCore& freshCore();
void poke(uint16_t address, std::initializer_list<uint8_t> bytes);
bool atInstructionStart(const CpuCore& c);
// Runs one pass of the step loop and returns the T-states it charged.
int runTStates(CpuCore& c);

// The programmer-visible state as the external test suites describe it: R as
// the 7-bit counter plus the loaded bit 7, `im` as the Z80's mode 0, 1 or 2.
struct RegisterFile {
    uint16_t af, bc, de, hl, af2, bc2, de2, hl2, ix, iy, sp, pc;
    uint8_t i, r, iff1, iff2, im;
};

void loadRegisters(CpuCore& c, const RegisterFile& s);
RegisterFile captureRegisters(const CpuCore& c);
// Replaces flag bits 5 and 3 with those of `value`.
void setUndocumentedBits(RegisterFile& r, uint8_t value);
// Rewrites an expectation of the external suites where this core specifies a
// detail differently from the Z80 they record; `op` is the opcode in hex
// without spaces ("eda1", "ddcb46").
void adjustForCore(const std::string& op, const RegisterFile& in, RegisterFile& want);
// "name want/got" for every field that differs; empty when they agree.
std::string registerDifferences(const RegisterFile& want, const RegisterFile& got);
