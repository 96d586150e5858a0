// Every entry of the seven instruction tables, run one pass at a time: the bus
// operations and the charge of every step must match the machine cycles below.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>

namespace {

// One family: opcodes (hex, "a-b" for a range) and its machine cycles as bus
// letter + T-states per step; "taken|not taken" for the two outcomes.
struct Family {
    const char* opcodes;
    const char* cycles;
};

const Family baseFamilies[] = {
    {"00-FF", "F4"},
    {"03 13 23 33 0B 1B 2B 3B F9", "F6"},
    {"09 19 29 39", "F11"},
    {"06 0E 16 1E 26 2E 3E C6 CE D6 DE E6 EE F6 FE", "F4 F3"},
    {"46 4E 56 5E 66 6E 7E 86 8E 96 9E A6 AE B6 BE 0A 1A", "F4 R3"},
    {"70-75 77 02 12", "F4 W3"},
    {"36", "F4 F3 W3"},
    {"34 35", "F4 R4 W3"},
    {"01 11 21 31 C3", "F4 F3 F3"},
    {"C2 CA D2 DA E2 EA F2 FA", "F4 F3 F3|F4 F3 F3"},
    {"3A", "F4 F3 F3 R3"},
    {"32", "F4 F3 F3 W3"},
    {"2A", "F4 F3 F3 R3 R3"},
    {"22", "F4 F3 F3 W3 W3"},
    {"18", "F4 F8"},
    {"20 28 30 38", "F4 F8|F4 F3"},
    {"10", "F5 F8|F5 F3"},
    {"CD", "F4 F3 F4 W3 W3"},
    {"C4 CC D4 DC E4 EC F4 FC", "F4 F3 F4 W3 W3|F4 F3 F3"},
    {"C9 C1 D1 E1 F1", "F4 R3 R3"},
    {"C0 C8 D0 D8 E0 E8 F0 F8", "F5 R3 R3|F5"},
    {"C5 D5 E5 F5 C7 CF D7 DF E7 EF F7 FF", "F5 W3 W3"},
    {"E3", "F4 R3 R4 W3 W5"},
    {"DB", "F4 F3 I4"},
    {"D3", "F4 F3 O4"},
    {"CB DD ED FD", "F4 F4"}, // the prefix, then opcode 00 of its table
};

// Under DD/FD everything is the prefix's fetch plus the base cycles, except:
const Family indexedFamilies[] = {
    {"34 35", "F4 F4 F8 R4 W3"},
    {"36", "F4 F4 F3 F5 W3"},
    {"46 4E 56 5E 66 6E 7E 86 8E 96 9E A6 AE B6 BE", "F4 F4 F8 R3"},
    {"70-75 77", "F4 F4 F8 W3"},
    {"CB", "F4 F4 F3 F4"}, // DD CB 00 00: a DDCB form that changes nothing
    {"DD ED FD", "F4 F4 F4"},
};

const Family extendedFamilies[] = {
    {"00-FF", "F4 F4"},
    {"40 48 50 58 60 68 70 78", "F4 F4 I4"},
    {"41 49 51 59 61 69 71 79", "F4 F4 O4"},
    {"42 4A 52 5A 62 6A 72 7A", "F4 F11"},
    {"43 53 63 73", "F4 F4 F3 F3 W3 W3"},
    {"4B 5B 6B 7B", "F4 F4 F3 F3 R3 R3"},
    {"4D", "F4 F4 R3 R3"},
    {"47 57 5F", "F4 F5"},
    {"67 6F", "F4 F4 R7 W3"},
    {"A0 A8", "F4 F4 R3 W5"},
    {"A1 A9", "F4 F4 R8"},
    {"B0 B8", "F4 F4 R3 W10|F4 F4 R3 W5"},
    {"B1 B9", "F4 F4 R13|F4 F4 R8"},
};

const Family bitFamilies[] = {
    {"00-FF", "F4 F4"},
    {"06 0E 16 1E 26 2E 36 3E 86 8E 96 9E A6 AE B6 BE C6 CE D6 DE E6 EE F6 FE", "F4 F4 R4 W3"},
    {"46 4E 56 5E 66 6E 76 7E", "F4 F4 R4"},
};

const Family indexedBitFamilies[] = {
    {"00-FF", "F4 F4 F3 F4"},
    {"06 0E 16 1E 26 2E 36 3E 86 8E 96 9E A6 AE B6 BE C6 CE D6 DE E6 EE F6 FE",
     "F4 F4 F3 F5 R4 W3"},
    {"46 4E 56 5E 66 6E 76 7E", "F4 F4 F3 F5 R4"},
};

// Later families override earlier ones.
template <size_t N> void expand(const Family (&families)[N], std::string (&table)[256]) {
    for (const Family& f : families) {
        std::istringstream words(f.opcodes);
        std::string w;
        while (words >> w) {
            unsigned first = std::stoul(w.substr(0, 2), nullptr, 16);
            unsigned last = w.size() > 2 ? std::stoul(w.substr(3), nullptr, 16) : first;
            for (unsigned op = first; op <= last; op++)
                table[op] = f.cycles;
        }
    }
}

enum class Table { Base, Bit, Extended, Indexed, IndexedBit };

struct Expectations {
    std::string base[256], bit[256], extended[256], indexed[256], indexedBit[256];
    Expectations() {
        expand(baseFamilies, base);
        expand(bitFamilies, bit);
        expand(extendedFamilies, extended);
        expand(indexedBitFamilies, indexedBit);
        for (int op = 0; op < 256; op++) {
            std::string alt = base[op];
            size_t bar = alt.find('|');
            indexed[op] = bar == std::string::npos
                              ? "F4 " + alt
                              : "F4 " + alt.substr(0, bar) + "|F4 " + alt.substr(bar + 1);
        }
        expand(indexedFamilies, indexed);
    }
    const std::string& of(Table t, int op) const {
        switch (t) {
        case Table::Base: return base[op];
        case Table::Bit: return bit[op];
        case Table::Extended: return extended[op];
        case Table::Indexed: return indexed[op];
        default: return indexedBit[op];
        }
    }
};

// Flags, B or BC chosen so the condition of `op` holds (taken) or fails.
void prepareOutcome(CpuCore& c, Table t, int op, bool taken) {
    int cc = (op >> 3) & (op < 0x40 ? 3 : 7);
    bool oddTrue = cc & 1; // Z, C, PE, M hold with all flags set
    c.F = (oddTrue == taken) ? 0xFF : 0x00;
    if (t == Table::Extended)
        c.BC.w = taken ? 2 : 1;
    else if (op == 0x10)
        c.BC.hi = taken ? 2 : 1;
}

// The cost table the cases run with: the T-states each entry stands for and
// the units it charges (the driver's table unless a test sets another).
const int entryTStates[8] = {3, 4, 5, 6, 7, 8, 10, 11};
int32_t entryUnits[8] = {768, 1024, 1280, 1536, 1792, 2048, 2560, 2816};

void fillCostTable(CpuCore& c) {
    int32_t* const entries[] = {&c.cost3, &c.cost4, &c.cost5,  &c.cost6,
                                &c.cost7, &c.cost8, &c.cost10, &c.cost11};
    for (int i = 0; i < 8; i++)
        *entries[i] = entryUnits[i];
}

// The T-states of the one entry a step charged, or 13 for the repeating
// CPIR/CPDR compare cycle, which no entry holds and which charges cost8 +
// cost5; -1 for any other charge.
int tStatesCharged(int32_t units) {
    for (int i = 0; i < 8; i++)
        if (units == entryUnits[i]) return entryTStates[i];
    return units == entryUnits[5] + entryUnits[2] ? 13 : -1;
}

// Steps one pass by hand: "F4 R3 ..." as charged, raw units where a charge is
// none of the above.
std::string observe(CpuCore& c) {
    std::string seen;
    for (int guard = 0; guard < 16; guard++) {
        c.busFn(c);
        int32_t budget = c.cycleBudget;
        c.stepFn(c);
        int32_t units = budget - c.cycleBudget;
        const int tStates = tStatesCharged(units);
        char step[24];
        if (tStates < 0)
            std::snprintf(step, sizeof step, " %c%du", busEvents.back().kind, units);
        else
            std::snprintf(step, sizeof step, " %c%d", busEvents.back().kind, tStates);
        seen.append(step);
        if (c.stepFn == decodeOpcode) {
            if (!atInstructionStart(c)) seen.append(" <no fetch>");
            return seen.substr(1);
        }
    }
    return seen.append(" <unterminated>").substr(1);
}

std::string runCase(Table t, uint8_t prefix, int op, bool taken) {
    CpuCore& c = freshCore();
    fillCostTable(c);
    c.PC = 0x1000;
    c.SP = 0x8000;
    c.HL.w = 0x4000;
    c.DE.w = 0x5000;
    c.IX.w = c.IY.w = 0x6000;
    testMemory[0x4000] = 0x55; // CPIR finds no match with A = 0
    prepareOutcome(c, t, op, taken);
    uint8_t o = op;
    switch (t) {
    case Table::Base: poke(0x1000, {o}); break;
    case Table::Bit: poke(0x1000, {0xCB, o}); break;
    case Table::Extended: poke(0x1000, {0xED, o}); break;
    case Table::Indexed: poke(0x1000, {prefix, o}); break;
    case Table::IndexedBit: poke(0x1000, {prefix, 0xCB, 0x05, o}); break;
    }
    return observe(c);
}

// Runs every opcode of a table (both outcomes where there are two) and lists
// each mismatch.
void checkTable(Table t, uint8_t prefix = 0xDD) {
    static const Expectations expect;
    int mismatches = 0;
    for (int op = 0; op < 256; op++) {
        const std::string& want = expect.of(t, op);
        size_t bar = want.find('|');
        bool twoOutcomes = bar != std::string::npos;
        for (int outcome = 0; outcome < (twoOutcomes ? 2 : 1); outcome++) {
            std::string w = !twoOutcomes   ? want
                            : outcome == 0 ? want.substr(0, bar)
                                           : want.substr(bar + 1);
            std::string got = runCase(t, prefix, op, outcome == 0);
            if (got != w && ++mismatches <= 40)
                ADD_FAILURE() << std::hex << "opcode " << op << (outcome ? " (not taken)" : "")
                              << ": expected " << w << ", got " << got;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

} // namespace

TEST(CpuTiming, BaseTable) { checkTable(Table::Base); }
TEST(CpuTiming, BitTable) { checkTable(Table::Bit); }
TEST(CpuTiming, ExtendedTable) { checkTable(Table::Extended); }
TEST(CpuTiming, IxTable) { checkTable(Table::Indexed, 0xDD); }
TEST(CpuTiming, IyTable) { checkTable(Table::Indexed, 0xFD); }
TEST(CpuTiming, IxBitTable) { checkTable(Table::IndexedBit, 0xDD); }
TEST(CpuTiming, IyBitTable) { checkTable(Table::IndexedBit, 0xFD); }

// Every step charges exactly one entry of the cost table. With unrelated
// values per entry (no sum of two equals another entry or another sum) a
// step that charged a literal, a sum of entries or the wrong entry shows up,
// and so does one of the acknowledge's steps: the acknowledge cycle itself
// (cost7, charged by beginInterrupt), then its writes and vector reads.
TEST(CpuTiming, ChargesComeFromTheCostTable) {
    const int32_t standard[8] = {768, 1024, 1280, 1536, 1792, 2048, 2560, 2816};
    const int32_t unrelated[8] = {1001, 1013, 1039, 1087, 1151, 1279, 1423, 1777};
    std::copy(unrelated, unrelated + 8, entryUnits);
    for (Table t : {Table::Base, Table::Bit, Table::Extended})
        checkTable(t);
    for (Table t : {Table::Indexed, Table::IndexedBit})
        for (uint8_t prefix : {0xDD, 0xFD})
            checkTable(t, prefix);
    struct Acknowledge {
        uint8_t im;
        const char* steps;
    };
    const Acknowledge acknowledges[] = {
        {0, "W3 W3"}, {1, "W3 W3"}, {2, "W3 W3"}, {3, "W3 W3 R3 R3"}};
    for (const Acknowledge& a : acknowledges) {
        CpuCore& c = freshCore();
        fillCostTable(c);
        c.iff = 6;
        c.im = a.im;
        c.SP = 0x8000;
        beginInterrupt(c);
        EXPECT_EQ(tStatesCharged(-c.cycleBudget), 7) << "im code " << int(a.im);
        EXPECT_EQ(observe(c), a.steps) << "im code " << int(a.im);
    }
    std::copy(standard, standard + 8, entryUnits);
}
