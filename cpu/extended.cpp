// The ED table and its decoder. Rows 00-3F, 80-9F and C0-FF hold no
// instructions; neither do the block port transfers.
#include "cpu/steps_extended.h"

#include <array>

namespace z80 {
namespace {

// clang-format off
constexpr CpuStep extendedRow40[64] = {
    /* 40 */ inRegC<B>, outCReg<B>, sbcPair<BC>, ldAbsPair<BC>,
    /* 44 */ neg, edNop, interruptMode<0>, ldIA,
    /* 48 */ inRegC<C>, outCReg<C>, adcPair<BC>, ldPairAbs<BC>,
    /* 4C */ neg, reti, interruptMode<1>, ldRA,
    /* 50 */ inRegC<D>, outCReg<D>, sbcPair<DE>, ldAbsPair<DE>,
    /* 54 */ neg, edNop, interruptMode<2>, ldAI,
    /* 58 */ inRegC<E>, outCReg<E>, adcPair<DE>, ldPairAbs<DE>,
    /* 5C */ neg, edNop, interruptMode<3>, ldAR,
    /* 60 */ inRegC<H>, outCReg<H>, sbcPair<HL>, ldAbsPair<HL>,
    /* 64 */ neg, edNop, interruptMode<0>, nibbleRotate<false>,
    /* 68 */ inRegC<L>, outCReg<L>, adcPair<HL>, ldPairAbs<HL>,
    /* 6C */ neg, edNop, interruptMode<1>, nibbleRotate<true>,
    /* 70 */ inDiscardC, outCZero, sbcPair<SP>, ldAbsPair<SP>,
    /* 74 */ neg, edNop, interruptMode<2>, edNop,
    /* 78 */ inRegC<A>, outCReg<A>, adcPair<SP>, ldPairAbs<SP>,
    /* 7C */ neg, edNop, interruptMode<3>, edNop,
};

constexpr CpuStep extendedRowA0[32] = {
    /* A0 */ blockLoad<1, false>, blockCompare<1, false>, edNop, edNop,
    /* A4 */ edNop, edNop, edNop, edNop,
    /* A8 */ blockLoad<-1, false>, blockCompare<-1, false>, edNop, edNop,
    /* AC */ edNop, edNop, edNop, edNop,
    /* B0 */ blockLoad<1, true>, blockCompare<1, true>, edNop, edNop,
    /* B4 */ edNop, edNop, edNop, edNop,
    /* B8 */ blockLoad<-1, true>, blockCompare<-1, true>, edNop, edNop,
    /* BC */ edNop, edNop, edNop, edNop,
};
// clang-format on

constexpr std::array<CpuStep, 256> makeExtendedOpcodes() {
    std::array<CpuStep, 256> table{};
    for (auto& entry : table)
        entry = edNop;
    for (int i = 0; i < 64; ++i)
        table[0x40 + i] = extendedRow40[i];
    for (int i = 0; i < 32; ++i)
        table[0xA0 + i] = extendedRowA0[i];
    return table;
}

constexpr std::array<CpuStep, 256> extendedOpcodes = makeExtendedOpcodes();

} // namespace
} // namespace z80

void decodeExtended(CpuCore& c) {
    c.R += 1;
    c.stepFn = decodeOpcode;
    z80::extendedOpcodes[c.dataLatch.hi](c);
}
