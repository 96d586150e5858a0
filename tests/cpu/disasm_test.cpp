// The disassembler: every opcode of the seven tables reassembled by pasmo to
// the same bytes (apart from the ED duplicates pasmo writes another way), its
// lengths against the bytes the core fetches, the syntax of the undocumented
// forms, and labels from a symbol file pasmo wrote.
#include "cpu/disasm.h"
#include "harness.h"
#include "tests/support/pasmo_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const std::string pasmo = PASMO_PROGRAM;

std::string tempPath(const std::string& tag) {
    static const std::string run = std::to_string(std::random_device{}());
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return (std::filesystem::temp_directory_path() /
            ("korvalo_disasm_" + std::string(info->name()) + "_" + run + tag))
        .string();
}

// Every opcode of every table, followed by operand bytes from `fill`.
std::vector<Bytes> everyOpcode(const Bytes& fill) {
    std::vector<Bytes> all;
    auto add = [&](Bytes bytes) {
        bytes.insert(bytes.end(), fill.begin(), fill.end());
        all.push_back(bytes);
    };
    for (int op = 0; op < 256; ++op) {
        const uint8_t o = static_cast<uint8_t>(op);
        if (o != 0xCB && o != 0xDD && o != 0xED && o != 0xFD) add({o});
        add({0xCB, o});
        add({0xED, o});
        for (uint8_t prefix : {uint8_t(0xDD), uint8_t(0xFD)}) {
            if (o != 0xCB) add({prefix, o});
            add({prefix, 0xCB, fill[0], o});
        }
    }
    return all;
}

std::string disassemble(const Bytes& bytes, uint16_t address = 0x100,
                        const Z80Symbols* symbols = nullptr) {
    static uint8_t memory[0x10000];
    std::fill(std::begin(memory), std::end(memory), 0);
    for (size_t i = 0; i < bytes.size(); ++i)
        memory[static_cast<uint16_t>(address + i)] = bytes[i];
    char text[80];
    disassembleZ80(memory, address, text, sizeof text, symbols);
    return text;
}

TEST(Disassembler, EveryOpcodeReassemblesToItsBytes) {
    for (const Bytes& fill : {Bytes{0x05, 0x12, 0x34}, Bytes{0xFB, 0x80, 0xFF}}) {
        SCOPED_TRACE(testing::Message() << "operand bytes from " << int(fill[0]));
        static uint8_t memory[0x10000];
        std::string source;
        struct Placed {
            uint16_t address;
            Bytes bytes;
            std::string text;
        };
        std::vector<Placed> placed;
        uint16_t address = 0x100;
        for (const Bytes& sample : everyOpcode(fill)) {
            std::copy(sample.begin(), sample.end(), memory + address);
            char text[80];
            const uint8_t length = disassembleZ80(memory, address, text, sizeof text, nullptr);
            ASSERT_GE(length, 1);
            ASSERT_LE(length, 4);
            placed.push_back({address, Bytes(sample.begin(), sample.begin() + length), text});
            // Each line at its own address: a duplicate may come back shorter.
            char org[32];
            std::snprintf(org, sizeof org, " ORG %05XH\n", address);
            source += org + std::string(" ") + text + "\n";
            address += length;
        }
        Bytes image;
        ASSERT_TRUE(assembleWithPasmo(pasmo, source, tempPath("_roundtrip"), image));
        std::vector<int> seen(std::size(pasmoDuplicates));
        for (const Placed& p : placed) {
            const size_t at = p.address - 0x100;
            ASSERT_LE(at + p.bytes.size(), image.size());
            if (std::equal(p.bytes.begin(), p.bytes.end(), image.begin() + at)) continue;
            const int dup = checkPasmoDuplicate(p.bytes, image.data() + at);
            EXPECT_GE(dup, 0) << p.text << " at " << std::hex << p.address
                              << " does not reassemble to its bytes";
            if (dup >= 0) ++seen[dup];
        }
        for (size_t i = 0; i < std::size(pasmoDuplicates); ++i)
            EXPECT_EQ(seen[i], 1) << pasmoDuplicates[i].name;
    }
}

// The length of each instruction is what the core fetches for it; a prefix
// written on its own runs with the instruction after it.
TEST(Disassembler, LengthsMatchTheCoresFetches) {
    for (const Bytes& sample : everyOpcode({0x05, 0x12, 0x34, 0x00})) {
        CpuCore& c = freshCore();
        for (size_t i = 0; i < sample.size(); ++i)
            testMemory[i] = sample[i];
        int length = 0;
        for (;;) {
            char text[80];
            length += disassembleZ80(testMemory, static_cast<uint16_t>(length), text, sizeof text,
                                     nullptr);
            if (std::string(text) != "DEFB 0DDH" && std::string(text) != "DEFB 0FDH") break;
        }
        runTStates(c); // after: the instruction may write over itself
        int fetches = 0;
        for (const BusEvent& e : busEvents)
            fetches += e.kind == 'F';
        EXPECT_EQ(length, fetches) << disassemble(sample);
    }
}

// The syntax of the undocumented forms and of what pasmo cannot encode.
TEST(Disassembler, WritesEachFormInPasmoSyntax) {
    const struct {
        Bytes bytes;
        const char* text;
    } cases[] = {
        {{0xCB, 0x30}, "SLL B"},
        {{0xDD, 0xCB, 0x05, 0x36}, "SLL (IX+05H)"},
        {{0xFD, 0xCB, 0xFB, 0x06}, "RLC (IY-05H)"},
        {{0xDD, 0xCB, 0x05, 0x00}, "DEFB 0DDH,0CBH,05H,00H ; RLC (IX+05H),B"},
        {{0xFD, 0xCB, 0x80, 0xBF}, "DEFB 0FDH,0CBH,80H,0BFH ; RES 7,(IY-80H),A"},
        {{0xDD, 0xCB, 0x05, 0x41}, "DEFB 0DDH,0CBH,05H,41H ; BIT 0,(IX+05H)"},
        {{0xDD, 0x7C}, "LD A,IXH"},
        {{0xFD, 0x65}, "LD IYH,IYL"},
        {{0xDD, 0x66, 0x05}, "LD H,(IX+05H)"},
        {{0xDD, 0x75, 0xFB}, "LD (IX-05H),L"},
        {{0xDD, 0x36, 0x05, 0x12}, "LD (IX+05H),12H"},
        {{0xFD, 0x2E, 0xAB}, "LD IYL,0ABH"},
        {{0xDD, 0x21, 0xCD, 0xAB}, "LD IX,0ABCDH"},
        {{0xFD, 0xE3}, "EX (SP),IY"},
        {{0xDD, 0xE9}, "JP (IX)"},
        {{0xDD, 0xEB}, "DEFB 0DDH"},
        {{0xFD, 0x00}, "DEFB 0FDH"},
        {{0xDD, 0xFD, 0x21}, "DEFB 0DDH"},
        {{0xED, 0x70}, "DEFB 0EDH,70H ; IN F,(C)"},
        {{0xED, 0x71}, "DEFB 0EDH,71H ; OUT (C),0"},
        {{0xED, 0x00}, "DEFB 0EDH,00H"},
        {{0xED, 0x7F}, "DEFB 0EDH,7FH"},
        {{0xED, 0xB3}, "OTIR"},
        {{0xED, 0x4C}, "NEG"},
        {{0xED, 0x5D}, "RETN"},
        {{0xED, 0x4D}, "RETI"},
        {{0xED, 0x7E}, "IM 2"},
        {{0xED, 0x6B, 0x34, 0x12}, "LD HL,(1234H)"},
        {{0x08}, "EX AF,AF'"},
        {{0xFF}, "RST 38H"},
        {{0xDB, 0xFE}, "IN A,(0FEH)"},
        {{0x9E}, "SBC A,(HL)"},
        {{0x18, 0xFE}, "JR 0100H"},
        {{0x10, 0x80}, "DJNZ 0082H"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(disassemble(c.bytes), c.text);
    // A relative target across the ends of memory: pasmo does not wrap.
    EXPECT_EQ(disassemble({0x18, 0xF0}, 0x0002), "JR $-0EH");
    EXPECT_EQ(disassemble({0x20, 0x10}, 0xFFF0), "JR NZ,$+12H");
}

// Labels from the symbol file pasmo writes, in operands and in the listing.
TEST(Disassembler, LabelsFromPasmosSymbolFile) {
    const std::string source = " ORG 0F0H\n"
                               "START: LD HL,TABLE\n"
                               "LOOP: DJNZ LOOP\n"
                               " JR NZ,START\n"
                               " CALL FAR\n"
                               " LD (TABLE),A\n"
                               " JP LOOP\n"
                               "TABLE: DEFB 0EDH,70H,21H,0CDH\n"
                               "FAR EQU 0ABCDH\n";
    const std::string base = tempPath("_labels");
    Bytes image;
    ASSERT_TRUE(assembleWithPasmo(pasmo, source, base, image, base + ".sym"));
    Z80Symbols symbols;
    std::string error;
    ASSERT_TRUE(loadPasmoSymbols((base + ".sym").c_str(), symbols, error)) << error;
    uint16_t address = 0;
    EXPECT_TRUE(symbolAddress(&symbols, "far", address));
    EXPECT_EQ(address, 0xABCD);
    EXPECT_FALSE(symbolAddress(&symbols, "NOWHERE", address));
    EXPECT_EQ(symbolAt(&symbols, 0xF3), std::string("LOOP"));
    EXPECT_EQ(symbolAt(&symbols, 0xF4), nullptr);

    uint8_t memory[0x10000] = {};
    std::copy(image.begin(), image.end(), memory + 0xF0);
    const std::string listingPath = base + ".lst";
    std::FILE* out = std::fopen(listingPath.c_str(), "w");
    ASSERT_NE(out, nullptr);
    writeZ80Listing(out, memory, 0xF0, static_cast<uint32_t>(image.size()), "; header", &symbols);
    std::fclose(out);
    std::ifstream in(listingPath);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    const char* const expected[] = {
        "; header",
        "00F0  21 00 01     LD HL,TABLE             ; START",
        "00F3  10 FE        DJNZ LOOP               ; LOOP",
        "00F5  20 F9        JR NZ,START",
        "00F7  CD CD AB     CALL FAR",
        "00FA  32 00 01     LD (TABLE),A",
        "00FD  C3 F3 00     JP LOOP",
        "0100  ED 70        DEFB 0EDH,70H           ; TABLE: IN F,(C)",
        "0102  21 CD        DEFB 21H,0CDH",
    };
    ASSERT_EQ(lines.size(), std::size(expected));
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], expected[i]);

    std::ofstream(base + ".sym") << "START EQU 00F0H\nbroken line\n";
    EXPECT_FALSE(loadPasmoSymbols((base + ".sym").c_str(), symbols, error));
    EXPECT_NE(error.find(":2:"), std::string::npos) << error;
    EXPECT_EQ(symbolAt(&symbols, 0xF3), std::string("LOOP")); // left as it was
    std::filesystem::remove(base + ".sym");
    std::filesystem::remove(listingPath);
}

} // namespace
