// The maskable interrupt acknowledge. No device drives the data bus, so the
// byte read during the acknowledge is always FFh: modes 0 and 1 both call
// 0038h (FFh is RST 38h), and mode 2 reads its vector at I * 256 + FFh.
#include "cpu/core.h"
#include "cpu/steps_load.h"

namespace {

void vectorHighStep(CpuCore& c) {
    c.PC = uint16_t(z80::busData(c) << 8 | (c.PC & 0xFF));
    c.cycleBudget -= c.cost3;
    z80::finish(c);
}

void vectorLowStep(CpuCore& c) {
    c.PC = uint16_t((c.PC & 0xFF00) | z80::busData(c));
    c.busAddress += 1;
    c.cycleBudget -= c.cost3;
    c.stepFn = vectorHighStep;
}

void vectorAddressStep(CpuCore& c) {
    c.cycleBudget -= c.cost3;
    z80::readNext(c, uint16_t(c.I << 8 | 0xFF), vectorLowStep);
}

} // namespace

void beginInterrupt(CpuCore& c) {
    if (!(c.iff & 2)) return;
    c.cycleBudget -= c.cost7;
    c.iff = 0;
    // An interrupt leaves the HALT loop: the return address is past it.
    if (c.memory[c.PC] == 0x76) c.PC += 1;
    c.stepFn = c.im == 3 ? interruptVectorStep : interruptRst38Step;
    c.busAddress = uint16_t(c.SP - 1);
    c.SP -= 2;
    c.dataLatch.w = c.PC;
    c.busFn = c.writeFn;
}

void interruptRst38Step(CpuCore& c) {
    z80::busData(c) = c.dataLatch.lo;
    c.busAddress = c.SP;
    c.PC = 0x0038;
    c.cycleBudget -= c.cost3;
    c.stepFn = z80::writeDone;
}

void interruptVectorStep(CpuCore& c) {
    z80::busData(c) = c.dataLatch.lo;
    c.busAddress = c.SP;
    c.cycleBudget -= c.cost3;
    c.stepFn = vectorAddressStep;
}
