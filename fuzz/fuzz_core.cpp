// The Z80 core alone on an arbitrary 64 KB image and register state, run for
// a bounded number of passes of runInstruction in short frames (a grant added
// whenever the budget is spent), with interrupts offered between
// instructions. The bus slots check the stepping contract at every machine
// cycle: each step charges exactly one cost-table entry and picks one of the
// five slots, stepFn is never null, and a pass never runs on past an
// instruction start. Every pass ends between instructions, except one that
// stops once the budget is spent right after a DD or FD prefix step of a
// chain, never inside the instruction the prefixes lead to; the next pass goes
// on with the chain.
//
// Input: a 48-byte header (register state, memory layout, grant, interrupt
// schedule), then the memory image, tiled or zero-padded to 64 KB.
#include "cpu/z80.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t headerSize = 48;
constexpr int instructionLimit = 1000;
// Passes longer than six machine cycles are prefix chains, which stop once
// the budget is spent: with grants of at most 2^20 units, a pass that has not
// ended after this many steps never will.
constexpr int stepsPerPassLimit = 4096;
constexpr int unrolledCycles = 6;

// The pass under way, as the bus slots see it.
uint16_t passStartPC;
int passStep;            // machine cycles begun in this pass
int32_t budgetAtLastBus; // cycleBudget when the last bus operation began
int64_t passCharged;     // the charges of the pass's steps so far
uint8_t lastFetched;

uint8_t image[0x10000];
uint8_t portLatch;
CpuCore core;

// Names the broken rule and where the pass started, then stops the run.
void require(bool condition, const char* rule) {
    if (condition) return;
    std::fprintf(stderr, "violated: %s (pass from PC %04X: %02X %02X %02X %02X, step %d)\n", rule,
                 passStartPC, image[passStartPC], image[(passStartPC + 1) & 0xFFFF],
                 image[(passStartPC + 2) & 0xFFFF], image[(passStartPC + 3) & 0xFFFF], passStep);
    __builtin_trap();
}

// Unrelated charges, so that a step's charge names the entry it used: no two
// entries, and no two sums of two entries, are equal, so a step that charged
// a sum of entries (or a step run where a bus operation belongs) shows too.
void fillDistinctCosts(CpuCore& c) {
    c.cost3 = 1001;
    c.cost4 = 1013;
    c.cost5 = 1039;
    c.cost6 = 1087;
    c.cost7 = 1151;
    c.cost8 = 1279;
    c.cost10 = 1423;
    c.cost11 = 1777;
}

// One entry, or the 13 T-states of a repeating CPIR/CPDR compare cycle, which
// no single entry holds and the core charges as cost8 + cost5.
bool isCostEntry(const CpuCore& c, int64_t charge) {
    const int32_t table[] = {c.cost3, c.cost4, c.cost5,  c.cost6,
                             c.cost7, c.cost8, c.cost10, c.cost11};
    for (int32_t entry : table)
        if (charge == entry) return true;
    return charge == static_cast<int64_t>(c.cost8) + c.cost5;
}

bool isBusSlot(const CpuCore& c, CpuStep fn) {
    return fn == c.fetchFn || fn == c.readFn || fn == c.writeFn || fn == c.portInFn ||
           fn == c.portOutFn;
}

// Checks the step that closed the last machine cycle (nothing before the
// pass's first), and counts the cycle about to begin.
void closeStep(const CpuCore& c) {
    if (passStep > 0) {
        const int64_t charge = static_cast<int64_t>(budgetAtLastBus) - c.cycleBudget;
        require(isCostEntry(c, charge), "a step charges one cost-table entry");
        passCharged += charge;
        require(c.stepFn != nullptr, "stepFn is set");
        require(c.stepFn != decodeOpcode, "a pass ends at the instruction start");
    }
    require(++passStep < stepsPerPassLimit, "a pass ends, or stops after a prefix");
    budgetAtLastBus = c.cycleBudget;
}

void fetch(CpuCore& c) {
    closeStep(c);
    c.busData() = lastFetched = image[c.PC];
    c.PC = c.PC + 1;
}
void read(CpuCore& c) {
    closeStep(c);
    c.busData() = image[c.busAddress];
}
void write(CpuCore& c) {
    closeStep(c);
    image[c.busAddress] = c.busData();
}
void portIn(CpuCore& c) {
    closeStep(c);
    c.busData() = portLatch ^ static_cast<uint8_t>(c.busAddress >> 8);
}
void portOut(CpuCore& c) {
    closeStep(c);
    portLatch = c.busData();
}

uint16_t word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void setUpCore(const uint8_t* h) {
    core = CpuCore{};
    fillDistinctCosts(core);
    core.memory = image;
    core.fetchFn = fetch;
    core.readFn = read;
    core.writeFn = write;
    core.portInFn = portIn;
    core.portOutFn = portOut;
    core.stepFn = decodeOpcode;
    core.busFn = fetch;
    core.A = h[0];
    core.F = h[1];
    core.HL.w = word(h + 2);
    core.DE.w = word(h + 4);
    core.BC.w = word(h + 6);
    core.SP = word(h + 8);
    core.PC = word(h + 10);
    core.IX.w = word(h + 12);
    core.IY.w = word(h + 14);
    core.AFx.w = word(h + 16);
    core.HLx.w = word(h + 18);
    core.DEx.w = word(h + 20);
    core.BCx.w = word(h + 22);
    core.R = h[24];
    core.R7 = h[25] & 0x80;
    core.I = h[26];
    core.iff = h[27] & 6;
    core.im = h[28] & 3;
    portLatch = h[29];
}

int32_t frameGrant(const uint8_t* h) { return (h[30] + 1) * 4096; }

void loadImage(const uint8_t* data, size_t size, bool tile) {
    std::memset(image, 0, sizeof image);
    if (size == 0) return;
    for (size_t at = 0; at < sizeof image; at += size) {
        const size_t n = size < sizeof image - at ? size : sizeof image - at;
        std::memcpy(image + at, data, n);
        if (!tile) break;
    }
}

// One pass of runInstruction, checked at every machine cycle by the bus slots
// and at its end here.
void checkedPass() {
    const int32_t budgetBefore = core.cycleBudget;
    passStartPC = core.PC;
    passStep = 0;
    passCharged = 0;
    require(isBusSlot(core, core.busFn), "busFn is one of the five slots");
    runInstruction(core);
    const int64_t lastCharge = static_cast<int64_t>(budgetAtLastBus) - core.cycleBudget;
    require(isCostEntry(core, lastCharge), "a step charges one cost-table entry");
    passCharged += lastCharge;
    require(core.stepFn != nullptr, "stepFn is set");
    require(isBusSlot(core, core.busFn), "busFn is one of the five slots");
    if (core.stepFn == decodeOpcode) {
        require(core.busFn == core.fetchFn, "a pass ends on the fetch slot");
    } else {
        require(core.stepFn == decodeIndexed && core.busFn == core.fetchFn &&
                    (lastFetched == 0xDD || lastFetched == 0xFD),
                "a pass stops early only right after a DD or FD prefix step");
        require(core.cycleBudget < 0 && passStep > unrolledCycles,
                "a pass stops early only after six machine cycles, with the budget spent");
    }
    require(static_cast<int64_t>(budgetBefore) - core.cycleBudget == passCharged,
            "the pass charges the sum of its steps");
}

// The acknowledge cycle is charged by beginInterrupt itself, and only when
// IFF1 lets the request in.
void offerInterrupt(const uint8_t* h) {
    if (h[35] & 1) core.im = h[36] & 3;
    const int32_t before = core.cycleBudget;
    const bool accepted = core.iff & 2;
    beginInterrupt(core);
    require(core.cycleBudget == before - (accepted ? core.cost7 : 0),
            "an accepted interrupt charges cost7, a dropped one nothing");
    require(isBusSlot(core, core.busFn) && core.stepFn != nullptr,
            "the acknowledge starts on a bus slot and a step");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < headerSize) return 0;
    const uint8_t* h = data;
    loadImage(data + headerSize, size - headerSize, h[32] & 1);
    setUpCore(h);
    const uint8_t* schedule = h + 40; // 64 bits: offer the interrupt before pass k % 64
    const int count = 1 + (word(h + 33) % instructionLimit);
    for (int k = 0; k < count; ++k) {
        if (core.cycleBudget < 0) core.cycleBudget += frameGrant(h);
        const bool offered = schedule[(k >> 3) & 7] >> (k & 7) & 1;
        if (offered && isBetweenInstructions(core)) offerInterrupt(h);
        checkedPass();
    }
    return 0;
}
