// The core record, the unprefixed opcode table and its decoder.
#include "cpu/z80.h"

#include "cpu/steps_alu.h"
#include "cpu/steps_flow.h"
#include "cpu/steps_load.h"

CpuCore cpuCore;

namespace z80 {
namespace {

// clang-format off
constexpr CpuStep baseOpcodes[256] = {
    /* 00 */ nop, ldPairImm<BC>, ldIndReg<A, BC>, incPair<BC>,
    /* 04 */ incReg<B>, decReg<B>, ldRegImm<B>, rlca,
    /* 08 */ exAfAf, addPair<HL, BC>, ldRegInd<A, BC>, decPair<BC>,
    /* 0C */ incReg<C>, decReg<C>, ldRegImm<C>, rrca,
    /* 10 */ djnz, ldPairImm<DE>, ldIndReg<A, DE>, incPair<DE>,
    /* 14 */ incReg<D>, decReg<D>, ldRegImm<D>, rla,
    /* 18 */ jr, addPair<HL, DE>, ldRegInd<A, DE>, decPair<DE>,
    /* 1C */ incReg<E>, decReg<E>, ldRegImm<E>, rra,
    /* 20 */ jrCond<ifNZ>, ldPairImm<HL>, ldAbsPair<HL>, incPair<HL>,
    /* 24 */ incReg<H>, decReg<H>, ldRegImm<H>, daa,
    /* 28 */ jrCond<ifZ>, addPair<HL, HL>, ldPairAbs<HL>, decPair<HL>,
    /* 2C */ incReg<L>, decReg<L>, ldRegImm<L>, cpl,
    /* 30 */ jrCond<ifNC>, ldPairImm<SP>, ldAbsA, incPair<SP>,
    /* 34 */ incMem, decMem, ldMemImm, scf,
    /* 38 */ jrCond<ifC>, addPair<HL, SP>, ldAAbs, decPair<SP>,
    /* 3C */ incReg<A>, decReg<A>, ldRegImm<A>, ccf,
    /* 40 */ ldRegReg<B, B>, ldRegReg<B, C>, ldRegReg<B, D>, ldRegReg<B, E>,
    /* 44 */ ldRegReg<B, H>, ldRegReg<B, L>, ldRegInd<B>, ldRegReg<B, A>,
    /* 48 */ ldRegReg<C, B>, ldRegReg<C, C>, ldRegReg<C, D>, ldRegReg<C, E>,
    /* 4C */ ldRegReg<C, H>, ldRegReg<C, L>, ldRegInd<C>, ldRegReg<C, A>,
    /* 50 */ ldRegReg<D, B>, ldRegReg<D, C>, ldRegReg<D, D>, ldRegReg<D, E>,
    /* 54 */ ldRegReg<D, H>, ldRegReg<D, L>, ldRegInd<D>, ldRegReg<D, A>,
    /* 58 */ ldRegReg<E, B>, ldRegReg<E, C>, ldRegReg<E, D>, ldRegReg<E, E>,
    /* 5C */ ldRegReg<E, H>, ldRegReg<E, L>, ldRegInd<E>, ldRegReg<E, A>,
    /* 60 */ ldRegReg<H, B>, ldRegReg<H, C>, ldRegReg<H, D>, ldRegReg<H, E>,
    /* 64 */ ldRegReg<H, H>, ldRegReg<H, L>, ldRegInd<H>, ldRegReg<H, A>,
    /* 68 */ ldRegReg<L, B>, ldRegReg<L, C>, ldRegReg<L, D>, ldRegReg<L, E>,
    /* 6C */ ldRegReg<L, H>, ldRegReg<L, L>, ldRegInd<L>, ldRegReg<L, A>,
    /* 70 */ ldIndReg<B>, ldIndReg<C>, ldIndReg<D>, ldIndReg<E>,
    /* 74 */ ldIndReg<H>, ldIndReg<L>, halt, ldIndReg<A>,
    /* 78 */ ldRegReg<A, B>, ldRegReg<A, C>, ldRegReg<A, D>, ldRegReg<A, E>,
    /* 7C */ ldRegReg<A, H>, ldRegReg<A, L>, ldRegInd<A>, ldRegReg<A, A>,
    /* 80 */ aluReg<ADD, B>, aluReg<ADD, C>, aluReg<ADD, D>, aluReg<ADD, E>,
    /* 84 */ aluReg<ADD, H>, aluReg<ADD, L>, aluMem<ADD>, aluReg<ADD, A>,
    /* 88 */ aluReg<ADC, B>, aluReg<ADC, C>, aluReg<ADC, D>, aluReg<ADC, E>,
    /* 8C */ aluReg<ADC, H>, aluReg<ADC, L>, aluMem<ADC>, aluReg<ADC, A>,
    /* 90 */ aluReg<SUB, B>, aluReg<SUB, C>, aluReg<SUB, D>, aluReg<SUB, E>,
    /* 94 */ aluReg<SUB, H>, aluReg<SUB, L>, aluMem<SUB>, aluReg<SUB, A>,
    /* 98 */ aluReg<SBC, B>, aluReg<SBC, C>, aluReg<SBC, D>, aluReg<SBC, E>,
    /* 9C */ aluReg<SBC, H>, aluReg<SBC, L>, aluMem<SBC>, aluReg<SBC, A>,
    /* A0 */ aluReg<AND, B>, aluReg<AND, C>, aluReg<AND, D>, aluReg<AND, E>,
    /* A4 */ aluReg<AND, H>, aluReg<AND, L>, aluMem<AND>, aluReg<AND, A>,
    /* A8 */ aluReg<XOR, B>, aluReg<XOR, C>, aluReg<XOR, D>, aluReg<XOR, E>,
    /* AC */ aluReg<XOR, H>, aluReg<XOR, L>, aluMem<XOR>, aluReg<XOR, A>,
    /* B0 */ aluReg<OR, B>, aluReg<OR, C>, aluReg<OR, D>, aluReg<OR, E>,
    /* B4 */ aluReg<OR, H>, aluReg<OR, L>, aluMem<OR>, aluReg<OR, A>,
    /* B8 */ aluReg<CP, B>, aluReg<CP, C>, aluReg<CP, D>, aluReg<CP, E>,
    /* BC */ aluReg<CP, H>, aluReg<CP, L>, aluMem<CP>, aluReg<CP, A>,
    /* C0 */ retCond<ifNZ>, popPair<BC>, jpCond<ifNZ>, jp,
    /* C4 */ callCond<ifNZ>, pushPair<BC>, aluImm<ADD>, rst<0x00>,
    /* C8 */ retCond<ifZ>, ret, jpCond<ifZ>, prefixCb,
    /* CC */ callCond<ifZ>, call, aluImm<ADC>, rst<0x08>,
    /* D0 */ retCond<ifNC>, popPair<DE>, jpCond<ifNC>, outImmA,
    /* D4 */ callCond<ifNC>, pushPair<DE>, aluImm<SUB>, rst<0x10>,
    /* D8 */ retCond<ifC>, exx, jpCond<ifC>, inAImm,
    /* DC */ callCond<ifC>, prefixDd, aluImm<SBC>, rst<0x18>,
    /* E0 */ retCond<ifPO>, popPair<HL>, jpCond<ifPO>, exSpPair<HL>,
    /* E4 */ callCond<ifPO>, pushPair<HL>, aluImm<AND>, rst<0x20>,
    /* E8 */ retCond<ifPE>, jpPair<HL>, jpCond<ifPE>, exDeHl,
    /* EC */ callCond<ifPE>, prefixEd, aluImm<XOR>, rst<0x28>,
    /* F0 */ retCond<ifP>, popAf, jpCond<ifP>, di,
    /* F4 */ callCond<ifP>, pushAf, aluImm<OR>, rst<0x30>,
    /* F8 */ retCond<ifM>, ldSpPair<HL>, jpCond<ifM>, ei,
    /* FC */ callCond<ifM>, prefixFd, aluImm<CP>, rst<0x38>,
};
// clang-format on

} // namespace
} // namespace z80

// The opcode just fetched is in busData. R counts every opcode fetch. The
// table call is the decoder's last act, so it compiles to one indirect jump.
void decodeOpcode(CpuCore& c) {
    c.R += 1;
    z80::baseOpcodes[c.dataLatch.hi](c);
}

// The seventh and later machine cycles of a pass: the rest of a chain of
// DD/FD prefixes and the instruction it leads to, stopping early only right
// after a prefix step once the budget is spent.
void finishLongPass(CpuCore& c) {
    while (!runMachineCycle(c)) {
        if (c.cycleBudget < 0 && c.stepFn == decodeIndexed) return;
    }
}

void fillStandardCostTable(CpuCore& c) {
    c.cost3 = 3 * 256;
    c.cost4 = 4 * 256;
    c.cost5 = 5 * 256;
    c.cost6 = 6 * 256;
    c.cost7 = 7 * 256;
    c.cost8 = 8 * 256;
    c.cost10 = 10 * 256;
    c.cost11 = 11 * 256;
}
