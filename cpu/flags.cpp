// Decimal adjust: the one ALU operation with enough cases to live apart.
#include "cpu/flags.h"

namespace z80 {

void decimalAdjust(CpuCore& c) {
    uint8_t a = c.A, f = c.F;
    uint8_t correction = 0, carry = 0, half;
    if ((f & FH) || (a & 0x0F) > 9) correction = 0x06;
    if ((f & FC) || a > 0x99) {
        correction |= 0x60;
        carry = FC;
    }
    if (f & FN) {
        c.A = uint8_t(a - correction);
        half = ((f & FH) && (a & 0x0F) < 6) ? FH : 0;
    } else {
        c.A = uint8_t(a + correction);
        half = (a & 0x0F) > 9 ? FH : 0;
    }
    c.F = flagTables.sz53p[c.A] | half | (f & FN) | carry;
}

} // namespace z80
