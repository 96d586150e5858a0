// The TIA-MC driver: start-up, then one emulated video frame per pass of an
// endless loop. Each frame grants the processor 35000 T-states, offers the
// frame interrupt and runs instructions until the grant is spent; an
// overdraft carries into the next frame.
#include "machines/tiamc/tiamc.h"

#include "cpu/z80.h"
#include "display/present.h"
#include "host/host.h"

namespace {

void setUpCore() {
    fillStandardCostTable(cpuCore);
    cpuCore.memory = tiaBoard.boardMemory;
    cpuCore.stepFn = decodeOpcode;
    cpuCore.busFn = cpuCore.fetchFn;
    cpuCore.cycleBudget = 0;
    cpuCore.PC = 0;
}

} // namespace

bool frameHeld;
uint32_t tiaFramesRun;
bool (*monitoredFrame)();

void startTiaMachine(const char* romPath) {
    if (!loadRomSet(romPath)) host.fatalError("Can't open file!");
    startLoadedTiaMachine();
}

void startLoadedTiaMachine() {
    allocateFrameBuffer(); // fatal itself when the memory is not there
    setUpColourTable();
    prepareHost();
    setUpCore();
    resetStateTurn();
    tiaFramesRun = 0;
    frameHeld = false;
}

void beginTiaFrame() {
    ++tiaFramesRun;
    // A rewind frame shows an earlier moment, loaded from the rewind ring:
    // the controls run (keys, hot keys), the processor does not.
    frameRewound = takeStateTurn();
    if (frameRewound) {
        handleHostControls();
        return;
    }
    tiaBoard.inputD2 &= ~framePhaseBit;
    cpuCore.cycleBudget += frameGrant;
    handleHostControls();
    // Within a chain of prefixes carried over from the last frame the
    // processor accepts no interrupt: this frame's is dropped.
    if (isBetweenInstructions(cpuCore)) beginInterrupt(cpuCore);
}

// The first instruction of a frame always runs. The frame-phase bit is set
// before the first instruction that starts below the threshold, so it changes
// only between instructions; each phase costs one budget test per instruction.
bool runFrameInstructions() {
    if (frameRewound) return true;
    if (monitoredFrame) {
        frameHeld = !monitoredFrame();
        return !frameHeld;
    }
    CpuCore& c = cpuCore;
    if (c.cycleBudget >= framePhaseThreshold) {
        do {
            runInstruction(c);
        } while (c.cycleBudget >= framePhaseThreshold);
        if (c.cycleBudget < 0) return true;
    }
    tiaBoard.inputD2 |= framePhaseBit;
    do {
        runInstruction(c);
    } while (c.cycleBudget >= 0);
    return true;
}

bool runTiaFrame() {
    if (!frameHeld) beginTiaFrame();
    if (!runFrameInstructions()) return false;
    endFrame();
    return true;
}

void runTiaMachine(const char* romPath) {
    startTiaMachine(romPath);
    for (;;) {
        runTiaFrame();
    }
}
