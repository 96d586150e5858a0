// What the disassembler's tests share: pasmo run on a source, and the ED
// opcodes pasmo has a single encoding for, which a disassembly therefore
// reassembles to other bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The opcode's first bytes `from` come back as `to`, the operand bytes after
// them unchanged.
struct PasmoDuplicate {
    const char* name;
    std::vector<uint8_t> from;
    std::vector<uint8_t> to;
};

inline const PasmoDuplicate pasmoDuplicates[] = {
    {"NEG ED 4C", {0xED, 0x4C}, {0xED, 0x44}},  {"NEG ED 54", {0xED, 0x54}, {0xED, 0x44}},
    {"NEG ED 5C", {0xED, 0x5C}, {0xED, 0x44}},  {"NEG ED 64", {0xED, 0x64}, {0xED, 0x44}},
    {"NEG ED 6C", {0xED, 0x6C}, {0xED, 0x44}},  {"NEG ED 74", {0xED, 0x74}, {0xED, 0x44}},
    {"NEG ED 7C", {0xED, 0x7C}, {0xED, 0x44}},  {"RETN ED 55", {0xED, 0x55}, {0xED, 0x45}},
    {"RETN ED 5D", {0xED, 0x5D}, {0xED, 0x45}}, {"RETN ED 65", {0xED, 0x65}, {0xED, 0x45}},
    {"RETN ED 6D", {0xED, 0x6D}, {0xED, 0x45}}, {"RETN ED 75", {0xED, 0x75}, {0xED, 0x45}},
    {"RETN ED 7D", {0xED, 0x7D}, {0xED, 0x45}}, {"IM 0 ED 4E", {0xED, 0x4E}, {0xED, 0x46}},
    {"IM 0 ED 66", {0xED, 0x66}, {0xED, 0x46}}, {"IM 0 ED 6E", {0xED, 0x6E}, {0xED, 0x46}},
    {"IM 1 ED 76", {0xED, 0x76}, {0xED, 0x56}}, {"IM 2 ED 7E", {0xED, 0x7E}, {0xED, 0x5E}},
    {"LD (nn),HL ED 63", {0xED, 0x63}, {0x22}}, {"LD HL,(nn) ED 6B", {0xED, 0x6B}, {0x2A}},
};

// The duplicate the instruction `bytes` is (an index into pasmoDuplicates),
// -1 when none; fails the test when pasmo gave `back` (as many bytes or more,
// from the instruction's address on) other than the duplicate's encoding.
inline int checkPasmoDuplicate(const std::vector<uint8_t>& bytes, const uint8_t* back) {
    for (size_t i = 0; i < std::size(pasmoDuplicates); ++i) {
        const PasmoDuplicate& dup = pasmoDuplicates[i];
        if (bytes.size() < dup.from.size() ||
            !std::equal(dup.from.begin(), dup.from.end(), bytes.begin()))
            continue;
        std::vector<uint8_t> expected = dup.to;
        expected.insert(expected.end(), bytes.begin() + dup.from.size(), bytes.end());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), back))
            << dup.name << " came back otherwise";
        return static_cast<int>(i);
    }
    return -1;
}

// Assembles source with pasmo into image (a symbol file too when symPath is
// given); false, with the test failed and pasmo's messages, when it fails.
inline bool assembleWithPasmo(const std::string& pasmo, const std::string& source,
                              const std::string& base, std::vector<uint8_t>& image,
                              const std::string& symPath = "") {
    std::ofstream(base + ".asm") << source;
    const std::string command = "\"" + pasmo + "\" \"" + base + ".asm\" \"" + base + ".bin\" " +
                                (symPath.empty() ? "" : "\"" + symPath + "\" ") + "> \"" + base +
                                ".log\" 2>&1";
    const bool ok = std::system(command.c_str()) == 0;
    std::ifstream in(base + ".bin", std::ios::binary);
    image.assign(std::istreambuf_iterator<char>(in), {});
    if (!ok) {
        std::ifstream log(base + ".log");
        ADD_FAILURE() << "pasmo failed: " << std::string(std::istreambuf_iterator<char>(log), {});
    }
    for (const char* ext : {".asm", ".bin", ".log"})
        std::filesystem::remove(base + ext);
    return ok;
}
