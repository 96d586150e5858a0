// The disassembler decodes each opcode by its fields (x = bits 7-6, y = bits
// 5-3, z = bits 2-0, p = y >> 1, q = y & 1) and reads operand bytes in the
// order the text names them, which is the order they follow the opcode.
#include "cpu/disasm.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

const char* const reg8Names[8] = {"B", "C", "D", "E", "H", "L", "(HL)", "A"};
const char* const pairNames[4] = {"BC", "DE", "HL", "SP"};
const char* const stackPairNames[4] = {"BC", "DE", "HL", "AF"};
const char* const conditionNames[8] = {"NZ", "Z", "NC", "C", "PO", "PE", "P", "M"};
const char* const aluNames[8] = {"ADD A,", "ADC A,", "SUB ", "SBC A,",
                                 "AND ",   "XOR ",   "OR ",  "CP "};
const char* const rotateNames[8] = {"RLC", "RRC", "RL", "RR", "SLA", "SRA", "SLL", "SRL"};
const char* const accumulatorOps[8] = {"RLCA", "RRCA", "RLA", "RRA", "DAA", "CPL", "SCF", "CCF"};
const char* const blockNames[4][4] = {{"LDI", "CPI", "INI", "OUTI"},
                                      {"LDD", "CPD", "IND", "OUTD"},
                                      {"LDIR", "CPIR", "INIR", "OTIR"},
                                      {"LDDR", "CPDR", "INDR", "OTDR"}};
// ED 46 + 8y: the mode each IM opcode selects.
const char interruptModes[8] = {'0', '0', '1', '2', '0', '0', '1', '2'};

// One instruction being decoded. `index` is 0, 'X' or 'Y'; indexUsed says
// whether the text took the prefix's meaning (IX, IXH, (IX+d)...).
struct Decoder {
    const uint8_t* memory;
    uint16_t address;
    uint8_t cursor; // next operand byte, from the instruction's first byte
    char index;
    bool indexUsed;
    const Z80Symbols* symbols;
    char text[64];
    size_t length;
};

uint8_t byteAt(const Decoder& d, uint8_t offset) {
    return d.memory[static_cast<uint16_t>(d.address + offset)];
}

uint8_t nextByte(Decoder& d) { return byteAt(d, d.cursor++); }

void put(Decoder& d, const char* s) {
    while (*s && d.length + 1 < sizeof d.text)
        d.text[d.length++] = *s++;
    d.text[d.length] = 0;
}

// Hex with a trailing H, a leading 0 when the first digit is a letter.
void putHex(Decoder& d, unsigned value, int digits) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    if (buffer[0] > '9') put(d, "0");
    put(d, buffer);
    put(d, "H");
}

void putWordValue(Decoder& d, uint16_t value) {
    if (const char* name = symbolAt(d.symbols, value)) {
        put(d, name);
    } else {
        putHex(d, value, 4);
    }
}

void putWord(Decoder& d) {
    const uint8_t low = nextByte(d);
    putWordValue(d, static_cast<uint16_t>(low | nextByte(d) << 8));
}

void putByte(Decoder& d) { putHex(d, nextByte(d), 2); }

// JR and DJNZ: the target, or $+n when it lies across the ends of memory
// (pasmo measures the jump without wrapping).
void putRelative(Decoder& d) {
    const int displacement = static_cast<int8_t>(nextByte(d));
    const int target = d.address + 2 + displacement;
    if (target >= 0 && target <= 0xFFFF) {
        putWordValue(d, static_cast<uint16_t>(target));
        return;
    }
    put(d, displacement + 2 < 0 ? "$-" : "$+");
    putHex(d, static_cast<unsigned>(std::abs(displacement + 2)), 2);
}

void putIndexed(Decoder& d) {
    const int displacement = static_cast<int8_t>(nextByte(d));
    put(d, d.index == 'X' ? "(IX" : "(IY");
    put(d, displacement < 0 ? "-" : "+");
    putHex(d, static_cast<unsigned>(std::abs(displacement)), 2);
    put(d, ")");
    d.indexUsed = true;
}

// HL, or the prefix's index register.
void putHL(Decoder& d) {
    if (d.index) {
        put(d, d.index == 'X' ? "IX" : "IY");
        d.indexUsed = true;
    } else {
        put(d, "HL");
    }
}

// Register field r: with a prefix, (HL) is (IX+d) and H, L the index halves,
// unless the instruction also names (IX+d) (halves false).
void putReg8(Decoder& d, int r, bool halves) {
    if (r == 6 && d.index) {
        putIndexed(d);
    } else if ((r == 4 || r == 5) && d.index && halves) {
        put(d, d.index == 'X' ? "IX" : "IY");
        put(d, r == 4 ? "H" : "L");
        d.indexUsed = true;
    } else {
        put(d, reg8Names[r]);
    }
}

void putPair(Decoder& d, int p) {
    if (p == 2) {
        putHL(d);
    } else {
        put(d, pairNames[p]);
    }
}

void putDigit(Decoder& d, int digit) {
    const char s[2] = {static_cast<char>('0' + digit), 0};
    put(d, s);
}

// The instruction's own bytes as DEFB, then a comment when one is given.
void putBytes(Decoder& d, uint8_t count, const char* comment) {
    d.length = 0;
    put(d, "DEFB ");
    for (uint8_t i = 0; i < count; ++i) {
        if (i) put(d, ",");
        putHex(d, byteAt(d, i), 2);
    }
    if (comment) {
        put(d, " ; ");
        put(d, comment);
    }
}

void decodeBase(Decoder& d, uint8_t op) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
    switch (x) {
    case 0:
        switch (z) {
        case 0:
            if (y == 0) put(d, "NOP");
            if (y == 1) put(d, "EX AF,AF'");
            if (y == 2) put(d, "DJNZ ");
            if (y == 3) put(d, "JR ");
            if (y >= 4) {
                put(d, "JR ");
                put(d, conditionNames[y - 4]);
                put(d, ",");
            }
            if (y >= 2) putRelative(d);
            return;
        case 1:
            if (q == 0) {
                put(d, "LD ");
                putPair(d, p);
                put(d, ",");
                putWord(d);
            } else {
                put(d, "ADD ");
                putHL(d);
                put(d, ",");
                putPair(d, p);
            }
            return;
        case 2:
            if (p < 2) {
                put(d, q ? "LD A," : "LD ");
                put(d, p ? "(DE)" : "(BC)");
                if (!q) put(d, ",A");
            } else if (q == 0) {
                put(d, "LD (");
                putWord(d);
                put(d, "),");
                if (p == 2) {
                    putHL(d);
                } else {
                    put(d, "A");
                }
            } else {
                put(d, "LD ");
                if (p == 2) {
                    putHL(d);
                } else {
                    put(d, "A");
                }
                put(d, ",(");
                putWord(d);
                put(d, ")");
            }
            return;
        case 3:
            put(d, q ? "DEC " : "INC ");
            putPair(d, p);
            return;
        case 4:
        case 5:
            put(d, z == 4 ? "INC " : "DEC ");
            putReg8(d, y, true);
            return;
        case 6:
            put(d, "LD ");
            putReg8(d, y, true);
            put(d, ",");
            putByte(d);
            return;
        default: put(d, accumulatorOps[y]); return;
        }
    case 1:
        if (y == 6 && z == 6) {
            put(d, "HALT");
            return;
        }
        put(d, "LD ");
        putReg8(d, y, z != 6);
        put(d, ",");
        putReg8(d, z, y != 6);
        return;
    case 2:
        put(d, aluNames[y]);
        putReg8(d, z, true);
        return;
    default: break;
    }
    switch (z) {
    case 0:
        put(d, "RET ");
        put(d, conditionNames[y]);
        return;
    case 1:
        if (q == 0) {
            put(d, "POP ");
            if (p == 2) {
                putHL(d);
            } else {
                put(d, stackPairNames[p]);
            }
        } else if (p == 0) {
            put(d, "RET");
        } else if (p == 1) {
            put(d, "EXX");
        } else if (p == 2) {
            put(d, "JP (");
            putHL(d);
            put(d, ")");
        } else {
            put(d, "LD SP,");
            putHL(d);
        }
        return;
    case 2:
    case 4:
        put(d, z == 2 ? "JP " : "CALL ");
        put(d, conditionNames[y]);
        put(d, ",");
        putWord(d);
        return;
    case 3:
        switch (y) {
        case 0:
            put(d, "JP ");
            putWord(d);
            return;
        case 2:
            put(d, "OUT (");
            putByte(d);
            put(d, "),A");
            return;
        case 3:
            put(d, "IN A,(");
            putByte(d);
            put(d, ")");
            return;
        case 4:
            put(d, "EX (SP),");
            putHL(d);
            return;
        case 5: put(d, "EX DE,HL"); return;
        case 6: put(d, "DI"); return;
        case 7: put(d, "EI"); return;
        default: return; // CB: decoded apart
        }
    case 5:
        if (q == 0) {
            put(d, "PUSH ");
            if (p == 2) {
                putHL(d);
            } else {
                put(d, stackPairNames[p]);
            }
        } else if (p == 0) {
            put(d, "CALL ");
            putWord(d);
        }
        return; // DD, ED, FD: decoded apart
    case 6:
        put(d, aluNames[y]);
        putByte(d);
        return;
    default:
        put(d, "RST ");
        putHex(d, y * 8u, 2);
        return;
    }
}

// CB table, or DDCB/FDCB with its displacement already at the cursor: the
// operand is r (or (IX+d)).
void putBitOperation(Decoder& d, uint8_t op, bool indexed) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
    if (x == 0) {
        put(d, rotateNames[y]);
        put(d, " ");
    } else {
        put(d, x == 1 ? "BIT " : x == 2 ? "RES " : "SET ");
        putDigit(d, y);
        put(d, ",");
    }
    putReg8(d, indexed ? 6 : z, false);
}

void decodeBits(Decoder& d) {
    if (!d.index) {
        putBitOperation(d, nextByte(d), false);
        return;
    }
    const uint8_t op = byteAt(d, 3);
    putBitOperation(d, op, true);
    d.cursor = 4;
    if ((op & 7) == 6) return;
    // Also loads the register field with the result (BIT: the same as z = 6).
    char comment[sizeof d.text + 8];
    std::snprintf(comment, sizeof comment, "%s%s%s", d.text, (op >> 6) == 1 ? "" : ",",
                  (op >> 6) == 1 ? "" : reg8Names[op & 7]);
    putBytes(d, 4, comment);
}

void decodeExtended(Decoder& d) {
    const uint8_t op = nextByte(d);
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
    if (x == 2 && z <= 3 && y >= 4) {
        put(d, blockNames[y - 4][z]);
        return;
    }
    if (x != 1) {
        putBytes(d, 2, nullptr);
        return;
    }
    switch (z) {
    case 0:
    case 1:
        if (y == 6) {
            putBytes(d, 2, z == 0 ? "IN F,(C)" : "OUT (C),0");
        } else if (z == 0) {
            put(d, "IN ");
            put(d, reg8Names[y]);
            put(d, ",(C)");
        } else {
            put(d, "OUT (C),");
            put(d, reg8Names[y]);
        }
        return;
    case 2:
        put(d, q ? "ADC HL," : "SBC HL,");
        put(d, pairNames[p]);
        return;
    case 3:
        put(d, "LD ");
        if (q) {
            put(d, pairNames[p]);
            put(d, ",(");
            putWord(d);
            put(d, ")");
        } else {
            put(d, "(");
            putWord(d);
            put(d, "),");
            put(d, pairNames[p]);
        }
        return;
    case 4: put(d, "NEG"); return;
    case 5: put(d, y == 1 ? "RETI" : "RETN"); return;
    case 6: {
        const char mode[] = {'I', 'M', ' ', interruptModes[y], 0};
        put(d, mode);
        return;
    }
    default: {
        const char* const names[8] = {"LD I,A", "LD R,A", "LD A,I", "LD A,R",
                                      "RRD",    "RLD",    nullptr,  nullptr};
        if (names[y]) {
            put(d, names[y]);
        } else {
            putBytes(d, 2, nullptr);
        }
        return;
    }
    }
}

} // namespace

void addZ80Symbol(Z80Symbols& symbols, uint16_t address, const std::string& name) {
    auto& list = symbols.byAddress;
    const auto at = std::upper_bound(
        list.begin(), list.end(), address,
        [](uint16_t a, const std::pair<uint16_t, std::string>& entry) { return a < entry.first; });
    list.insert(at, {address, name});
}

bool loadPasmoSymbols(const char* path, Z80Symbols& symbols, std::string& error) {
    std::FILE* file = std::fopen(path, "r");
    if (!file) {
        error = std::string(path) + ": cannot be opened";
        return false;
    }
    Z80Symbols loaded;
    char line[512];
    int number = 0;
    bool ok = true;
    while (ok && std::fgets(line, sizeof line, file)) {
        ++number;
        char name[256], equ[8], value[32];
        int used = 0;
        const int fields = std::sscanf(line, "%255s %7s %31s %n", name, equ, value, &used);
        if (fields <= 0) continue; // blank line
        char* end = nullptr;
        const size_t valueLength = fields == 3 ? std::strlen(value) : 0;
        unsigned long address = 0;
        if (valueLength >= 2 &&
            std::toupper(static_cast<unsigned char>(value[valueLength - 1])) == 'H') {
            address = std::strtoul(value, &end, 16);
        }
        ok = fields == 3 && strcasecmp(equ, "EQU") == 0 && end == value + valueLength - 1 &&
             address <= 0xFFFF && line[used] == 0;
        if (ok) addZ80Symbol(loaded, static_cast<uint16_t>(address), name);
    }
    ok = ok && !std::ferror(file);
    std::fclose(file);
    if (!ok) {
        error = std::string(path) + ":" + std::to_string(number) + ": not a line NAME EQU 0ABCDH";
        return false;
    }
    symbols = std::move(loaded);
    return true;
}

const char* symbolAt(const Z80Symbols* symbols, uint16_t address) {
    if (!symbols) return nullptr;
    const auto& list = symbols->byAddress;
    const auto at = std::lower_bound(
        list.begin(), list.end(), address,
        [](const std::pair<uint16_t, std::string>& entry, uint16_t a) { return entry.first < a; });
    return at != list.end() && at->first == address ? at->second.c_str() : nullptr;
}

bool symbolAddress(const Z80Symbols* symbols, const char* name, uint16_t& address) {
    if (!symbols) return false;
    for (const auto& entry : symbols->byAddress) {
        if (strcasecmp(entry.second.c_str(), name) == 0) {
            address = entry.first;
            return true;
        }
    }
    return false;
}

uint8_t disassembleZ80(const uint8_t* memory, uint16_t address, char* out, size_t outSize,
                       const Z80Symbols* symbols) {
    Decoder d{memory, address, 1, 0, false, symbols, {}, 0};
    uint8_t op = byteAt(d, 0);
    if (op == 0xDD || op == 0xFD) {
        d.index = op == 0xDD ? 'X' : 'Y';
        op = nextByte(d);
    }
    if (op == 0xCB) {
        decodeBits(d);
    } else if (op == 0xED && !d.index) {
        decodeExtended(d);
    } else if (!(op == 0xDD || op == 0xED || op == 0xFD)) {
        decodeBase(d, op);
    }
    // A prefix that changes nothing is an instruction of its own.
    if (d.index && !d.indexUsed) {
        d.cursor = 1;
        putBytes(d, 1, nullptr);
    }
    if (outSize) {
        std::snprintf(out, outSize, "%s", d.text);
    }
    return d.cursor;
}

void writeZ80Listing(std::FILE* out, const uint8_t* memory, uint16_t start, uint32_t length,
                     const char* header, const Z80Symbols* symbols) {
    if (header && *header) {
        std::fputs(header, out);
        if (header[std::strlen(header) - 1] != '\n') std::fputc('\n', out);
    }
    uint32_t offset = 0;
    while (offset < length) {
        const uint16_t address = static_cast<uint16_t>(start + offset);
        char text[80];
        uint8_t size = disassembleZ80(memory, address, text, sizeof text, symbols);
        if (size > length - offset) {
            size = static_cast<uint8_t>(length - offset);
            Decoder d{memory, address, size, 0, false, nullptr, {}, 0};
            putBytes(d, size, nullptr);
            std::snprintf(text, sizeof text, "%s", d.text);
        }
        static const char digits[] = "0123456789ABCDEF";
        char bytes[12] = "";
        for (uint8_t i = 0; i < size && i < 4; ++i) {
            const uint8_t value = memory[static_cast<uint16_t>(address + i)];
            char* at = bytes + 3 * i;
            at[0] = digits[value >> 4];
            at[1] = digits[value & 15];
            at[2] = i + 1 < size ? ' ' : 0;
        }
        // "DEFB ... ; note" keeps its note after the label.
        char* note = std::strchr(text, ';');
        if (note) {
            *note = 0;
            note += 2;
            for (char* end = note - 3; end > text && *end == ' '; --end)
                *end = 0;
        }
        const char* label = symbolAt(symbols, address);
        std::fprintf(out, "%04X  %-11s  %s", address, bytes, text);
        if (label || note) {
            std::fprintf(out, "%*s; %s%s%s", std::max(1, 24 - static_cast<int>(std::strlen(text))),
                         "", label ? label : "", label && note ? ": " : "", note ? note : "");
        }
        std::fputc('\n', out);
        offset += size;
    }
}
