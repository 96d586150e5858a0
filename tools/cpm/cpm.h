// A minimal CP/M machine for running CPU exercisers (.com programs) on the Z80
// core: 64 KB of RAM, the program at 0100h, BDOS console output (functions 2
// and 9) trapped at 0005h, a jump to 0000h ends the run.
#pragma once

#include <cstdint>

struct CpmMachine {
    uint8_t memory[65536];
    bool quiet;            // discard console output
    uint64_t tStates;      // T-states run so far
    uint64_t instructions; // instructions run so far (BDOS traps not counted)
};

extern CpmMachine cpmMachine;

// Clears memory, loads the program at 0100h and sets up the core to start it.
// Returns false when the file cannot be read or does not fit.
bool cpmLoad(const char* path);

// Runs until the program jumps to 0000h (returns true) or at least
// `tStateLimit` T-states have passed (returns false).
bool cpmRun(uint64_t tStateLimit);
