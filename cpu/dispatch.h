// Expands X(n) for every byte value n, to spell out a dense 256-way switch in
// which each case calls its table entry directly (the compiler inlines it).
#pragma once

#define Z80_CASES4(n, X) X(n) X(n + 1) X(n + 2) X(n + 3)
#define Z80_CASES16(n, X)                                                                          \
    Z80_CASES4(n, X) Z80_CASES4(n + 4, X) Z80_CASES4(n + 8, X) Z80_CASES4(n + 12, X)
#define Z80_CASES64(n, X)                                                                          \
    Z80_CASES16(n, X) Z80_CASES16(n + 16, X) Z80_CASES16(n + 32, X) Z80_CASES16(n + 48, X)
#define Z80_CASES256(X) Z80_CASES64(0, X) Z80_CASES64(64, X) Z80_CASES64(128, X) Z80_CASES64(192, X)
