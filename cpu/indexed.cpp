// The DD and FD table: the unprefixed table with HL, H, L and (HL) replaced by
// the index register, its halves and (IX+d) / (IY+d).
#include "cpu/steps_alu.h"
#include "cpu/steps_flow.h"
#include "cpu/steps_indexed.h"
#include "cpu/steps_load.h"

namespace z80 {
namespace {

// clang-format off
constexpr CpuStep indexedOpcodes[256] = {
    /* 00 */ nop, ldPairImm<BC>, ldIndReg<A, BC>, incPair<BC>,
    /* 04 */ incReg<B>, decReg<B>, ldRegImm<B>, rlca,
    /* 08 */ exAfAf, addPair<XY, BC>, ldRegInd<A, BC>, decPair<BC>,
    /* 0C */ incReg<C>, decReg<C>, ldRegImm<C>, rrca,
    /* 10 */ djnz, ldPairImm<DE>, ldIndReg<A, DE>, incPair<DE>,
    /* 14 */ incReg<D>, decReg<D>, ldRegImm<D>, rla,
    /* 18 */ jr, addPair<XY, DE>, ldRegInd<A, DE>, decPair<DE>,
    /* 1C */ incReg<E>, decReg<E>, ldRegImm<E>, rra,
    /* 20 */ jrCond<ifNZ>, ldPairImm<XY>, ldAbsPair<XY>, incPair<XY>,
    /* 24 */ incReg<XH>, decReg<XH>, ldRegImm<XH>, daa,
    /* 28 */ jrCond<ifZ>, addPair<XY, XY>, ldPairAbs<XY>, decPair<XY>,
    /* 2C */ incReg<XL>, decReg<XL>, ldRegImm<XL>, cpl,
    /* 30 */ jrCond<ifNC>, ldPairImm<SP>, ldAbsA, incPair<SP>,
    /* 34 */ incIdx, decIdx, ldIdxImm, scf,
    /* 38 */ jrCond<ifC>, addPair<XY, SP>, ldAAbs, decPair<SP>,
    /* 3C */ incReg<A>, decReg<A>, ldRegImm<A>, ccf,
    /* 40 */ ldRegReg<B, B>, ldRegReg<B, C>, ldRegReg<B, D>, ldRegReg<B, E>,
    /* 44 */ ldRegReg<B, XH>, ldRegReg<B, XL>, ldRegIdx<B>, ldRegReg<B, A>,
    /* 48 */ ldRegReg<C, B>, ldRegReg<C, C>, ldRegReg<C, D>, ldRegReg<C, E>,
    /* 4C */ ldRegReg<C, XH>, ldRegReg<C, XL>, ldRegIdx<C>, ldRegReg<C, A>,
    /* 50 */ ldRegReg<D, B>, ldRegReg<D, C>, ldRegReg<D, D>, ldRegReg<D, E>,
    /* 54 */ ldRegReg<D, XH>, ldRegReg<D, XL>, ldRegIdx<D>, ldRegReg<D, A>,
    /* 58 */ ldRegReg<E, B>, ldRegReg<E, C>, ldRegReg<E, D>, ldRegReg<E, E>,
    /* 5C */ ldRegReg<E, XH>, ldRegReg<E, XL>, ldRegIdx<E>, ldRegReg<E, A>,
    /* 60 */ ldRegReg<XH, B>, ldRegReg<XH, C>, ldRegReg<XH, D>, ldRegReg<XH, E>,
    /* 64 */ ldRegReg<XH, XH>, ldRegReg<XH, XL>, ldRegIdx<H>, ldRegReg<XH, A>,
    /* 68 */ ldRegReg<XL, B>, ldRegReg<XL, C>, ldRegReg<XL, D>, ldRegReg<XL, E>,
    /* 6C */ ldRegReg<XL, XH>, ldRegReg<XL, XL>, ldRegIdx<L>, ldRegReg<XL, A>,
    /* 70 */ ldIdxReg<B>, ldIdxReg<C>, ldIdxReg<D>, ldIdxReg<E>,
    /* 74 */ ldIdxReg<H>, ldIdxReg<L>, halt, ldIdxReg<A>,
    /* 78 */ ldRegReg<A, B>, ldRegReg<A, C>, ldRegReg<A, D>, ldRegReg<A, E>,
    /* 7C */ ldRegReg<A, XH>, ldRegReg<A, XL>, ldRegIdx<A>, ldRegReg<A, A>,
    /* 80 */ aluReg<ADD, B>, aluReg<ADD, C>, aluReg<ADD, D>, aluReg<ADD, E>,
    /* 84 */ aluReg<ADD, XH>, aluReg<ADD, XL>, aluIdx<ADD>, aluReg<ADD, A>,
    /* 88 */ aluReg<ADC, B>, aluReg<ADC, C>, aluReg<ADC, D>, aluReg<ADC, E>,
    /* 8C */ aluReg<ADC, XH>, aluReg<ADC, XL>, aluIdx<ADC>, aluReg<ADC, A>,
    /* 90 */ aluReg<SUB, B>, aluReg<SUB, C>, aluReg<SUB, D>, aluReg<SUB, E>,
    /* 94 */ aluReg<SUB, XH>, aluReg<SUB, XL>, aluIdx<SUB>, aluReg<SUB, A>,
    /* 98 */ aluReg<SBC, B>, aluReg<SBC, C>, aluReg<SBC, D>, aluReg<SBC, E>,
    /* 9C */ aluReg<SBC, XH>, aluReg<SBC, XL>, aluIdx<SBC>, aluReg<SBC, A>,
    /* A0 */ aluReg<AND, B>, aluReg<AND, C>, aluReg<AND, D>, aluReg<AND, E>,
    /* A4 */ aluReg<AND, XH>, aluReg<AND, XL>, aluIdx<AND>, aluReg<AND, A>,
    /* A8 */ aluReg<XOR, B>, aluReg<XOR, C>, aluReg<XOR, D>, aluReg<XOR, E>,
    /* AC */ aluReg<XOR, XH>, aluReg<XOR, XL>, aluIdx<XOR>, aluReg<XOR, A>,
    /* B0 */ aluReg<OR, B>, aluReg<OR, C>, aluReg<OR, D>, aluReg<OR, E>,
    /* B4 */ aluReg<OR, XH>, aluReg<OR, XL>, aluIdx<OR>, aluReg<OR, A>,
    /* B8 */ aluReg<CP, B>, aluReg<CP, C>, aluReg<CP, D>, aluReg<CP, E>,
    /* BC */ aluReg<CP, XH>, aluReg<CP, XL>, aluIdx<CP>, aluReg<CP, A>,
    /* C0 */ retCond<ifNZ>, popPair<BC>, jpCond<ifNZ>, jp,
    /* C4 */ callCond<ifNZ>, pushPair<BC>, aluImm<ADD>, rst<0x00>,
    /* C8 */ retCond<ifZ>, ret, jpCond<ifZ>, prefixIndexedCb,
    /* CC */ callCond<ifZ>, call, aluImm<ADC>, rst<0x08>,
    /* D0 */ retCond<ifNC>, popPair<DE>, jpCond<ifNC>, outImmA,
    /* D4 */ callCond<ifNC>, pushPair<DE>, aluImm<SUB>, rst<0x10>,
    /* D8 */ retCond<ifC>, exx, jpCond<ifC>, inAImm,
    /* DC */ callCond<ifC>, prefixDd, aluImm<SBC>, rst<0x18>,
    /* E0 */ retCond<ifPO>, popPair<XY>, jpCond<ifPO>, exSpPair<XY>,
    /* E4 */ callCond<ifPO>, pushPair<XY>, aluImm<AND>, rst<0x20>,
    /* E8 */ retCond<ifPE>, jpPair<XY>, jpCond<ifPE>, exDeHl,
    /* EC */ callCond<ifPE>, prefixEd, aluImm<XOR>, rst<0x28>,
    /* F0 */ retCond<ifP>, popAf, jpCond<ifP>, di,
    /* F4 */ callCond<ifP>, pushAf, aluImm<OR>, rst<0x30>,
    /* F8 */ retCond<ifM>, ldSpPair<XY>, jpCond<ifM>, ei,
    /* FC */ callCond<ifM>, prefixFd, aluImm<CP>, rst<0x38>,
};
// clang-format on

} // namespace
} // namespace z80

// The opcode after DD or FD. A following DD, FD or ED drops this prefix:
// their entries start the new prefix exactly as in the unprefixed table.
void decodeIndexed(CpuCore& c) {
    c.R += 1;
    c.stepFn = decodeOpcode;
    z80::indexedOpcodes[c.dataLatch.hi](c);
}
