// A minimal CP/M machine for running CPU exercisers (.com programs) on the Z80
// core: 64 KB of RAM, the program at 0100h, BDOS console output (functions 2
// and 9) trapped at 0005h, a jump to 0000h ends the run.
#pragma once

#include <cstddef>
#include <cstdint>

struct CpmMachine {
    uint8_t memory[65536];
    void (*consoleOut)(uint8_t ch); // receives console output; none: discarded
    uint64_t tStates;               // T-states run so far
    uint64_t instructions;          // instructions run so far (BDOS traps not counted)
};

extern CpmMachine cpmMachine;

// Clears memory, copies the program to 0100h and sets up the core to start
// it. Returns false when the program does not fit below the stack.
bool cpmLoadProgram(const uint8_t* program, size_t size);

// cpmLoadProgram with the contents of a .com file; false when it cannot be
// read or does not fit.
bool cpmLoad(const char* path);

// Runs until the program jumps to 0000h (returns true) or at least
// `tStateLimit` T-states have passed (returns false).
bool cpmRun(uint64_t tStateLimit);
