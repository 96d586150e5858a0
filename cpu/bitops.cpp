// Decoders of the CB table and of the operation byte after DD CB d / FD CB d.
#include "cpu/steps_bits.h"

#include <array>
#include <cstddef>
#include <utility>

namespace z80 {
namespace {

// The memory steps of DDCB / FDCB, one per operation whose operand is
// (IX+d), indexed by bits 7-3 of the operation byte.
template <std::size_t... i> constexpr auto makeIndexedBitSteps(std::index_sequence<i...>) {
    return std::array<CpuStep, sizeof...(i)>{
        ((i >> 3) == 1 ? CpuStep(bitTestIndexedStep<i & 7>) : bitOpMemoryStep<(i << 3) | 6>)...};
}

constexpr auto indexedBitSteps = makeIndexedBitSteps(std::make_index_sequence<32>());

template <std::size_t... i> constexpr auto makeBitOpcodes(std::index_sequence<i...>) {
    return std::array<CpuStep, sizeof...(i)>{bitOp<i>...};
}

// One entry per CB opcode, bitOp<op> decoding its fields at compile time.
constexpr auto bitOpcodes = makeBitOpcodes(std::make_index_sequence<256>());

} // namespace
} // namespace z80

void decodeBitOp(CpuCore& c) {
    c.R += 1;
    c.stepFn = decodeOpcode;
    z80::bitOpcodes[c.dataLatch.hi](c);
}

// Only operation bytes with operand code 6, the (IX+d) forms, do anything;
// the others are 4 T-state no-operations that change nothing.
void decodeIndexedBitOp(CpuCore& c) {
    uint8_t op = c.dataLatch.hi;
    c.R += 1;
    if ((op & 7) != 6) {
        c.cycleBudget -= c.cost4;
        z80::finish(c);
        return;
    }
    c.cycleBudget -= c.cost5;
    c.busFn = c.readFn;
    c.stepFn = z80::indexedBitSteps[op >> 3];
}
