// The FUSE emulator's Z80 test cases: each starts from a register set and
// memory image, runs whole instructions until its T-state count is reached,
// and is compared on registers, the whole memory, the T-states used and the
// order, addresses and data of its memory and port operations.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <vector>

namespace {

struct MemoryBlock {
    uint16_t address;
    std::vector<uint8_t> bytes;
};

struct FuseCase {
    RegisterFile regs;
    int tstates = 0;
    std::vector<MemoryBlock> memory;
    std::string busTrace; // "MR 1234 56 " per memory or port operation, in order
};

std::string traceEntry(const char* type, unsigned address, unsigned data) {
    char text[16];
    std::snprintf(text, sizeof text, "%s %04X %02X ", type, address, data);
    return text;
}

std::string traceOfCore() {
    std::string trace;
    for (const BusEvent& e : busEvents) {
        const char* type = e.kind == 'W'   ? "MW"
                           : e.kind == 'I' ? "PR"
                           : e.kind == 'O' ? "PW"
                                           : "MR";
        trace += traceEntry(type, e.address, e.data);
    }
    return trace;
}

// "time type address [data]"; contention entries (MC, PC) carry no data.
void readEvent(const std::string& line, FuseCase& t) {
    std::istringstream words(line);
    std::string time, type;
    unsigned address, data;
    words >> time >> type >> std::hex >> address >> data;
    if (type[1] != 'C') t.busTrace += traceEntry(type.c_str(), address, data);
}

// "AF BC DE HL AF' BC' DE' HL' IX IY SP PC MEMPTR" then "I R IFF1 IFF2 IM halted tstates".
void readState(std::istream& in, FuseCase& t) {
    unsigned w[13], i, r, iff1, iff2, im, halted;
    in >> std::hex;
    for (unsigned& v : w)
        in >> v;
    in >> i >> r >> std::dec >> iff1 >> iff2 >> im >> halted >> t.tstates;
    t.regs = {uint16_t(w[0]),  uint16_t(w[1]),  uint16_t(w[2]), uint16_t(w[3]), uint16_t(w[4]),
              uint16_t(w[5]),  uint16_t(w[6]),  uint16_t(w[7]), uint16_t(w[8]), uint16_t(w[9]),
              uint16_t(w[10]), uint16_t(w[11]), uint8_t(i),     uint8_t(r),     uint8_t(iff1),
              uint8_t(iff2),   uint8_t(im)};
}

// "address byte byte ... -1"
MemoryBlock readBlock(std::istream& in, const std::string& address) {
    MemoryBlock b{uint16_t(std::stoul(address, nullptr, 16)), {}};
    std::string word;
    while (in >> word && word != "-1")
        b.bytes.push_back(std::stoul(word, nullptr, 16));
    return b;
}

std::string dataPath(const char* name) { return std::string(KORVALO_CPU_TESTDATA "/fuse/") + name; }

std::vector<std::pair<std::string, FuseCase>> readInputs() {
    std::vector<std::pair<std::string, FuseCase>> cases;
    std::ifstream in(dataPath("tests.in"));
    std::string name, word;
    while (in >> name) {
        FuseCase t;
        readState(in, t);
        while (in >> word && word != "-1")
            t.memory.push_back(readBlock(in, word));
        cases.emplace_back(name, t);
    }
    return cases;
}

std::map<std::string, FuseCase> readExpectations() {
    std::map<std::string, FuseCase> results;
    std::ifstream in(dataPath("tests.expected"));
    std::string name, line;
    while (std::getline(in, name)) {
        if (name.empty()) continue;
        FuseCase& t = results[name];
        while (in.peek() == ' ' && std::getline(in, line))
            readEvent(line, t);
        readState(in, t);
        std::getline(in, line);
        while (std::getline(in, line) && !line.empty()) {
            std::istringstream words(line);
            std::string address;
            words >> address;
            t.memory.push_back(readBlock(words, address));
        }
    }
    return results;
}

// Cases where this core deliberately differs from the Z80 that FUSE models.
const char* const blockIo = " eda2 eda3 edaa edab edb2 edb3 edba edbb ";
const char* const retn = " ed45 ed55 ed5d ed65 ed6d ed75 ed7d ";

bool isIndexedBit(const std::string& op) {
    return op.size() == 6 && (op.compare(0, 4, "ddcb") == 0 || op.compare(0, 4, "fdcb") == 0);
}

// The reason a case is left out, or nullptr.
const char* exclusion(const std::string& op) {
    if (std::string(blockIo).find(" " + op + " ") != std::string::npos)
        return "block I/O runs as an 8 T-state no-op";
    if (std::string(retn).find(" " + op + " ") != std::string::npos)
        return "RETN runs as an 8 T-state no-op";
    if (isIndexedBit(op) && (std::stoul(op.substr(4), nullptr, 16) & 7) != 6)
        return "DDCB/FDCB forms naming a register do nothing";
    return nullptr;
}

// FUSE does not log the displacement read of a relative jump not taken.
bool untracedJump(const std::string& op) {
    return std::string(" 10 20 28 30 38 ").find(" " + op + " ") != std::string::npos;
}

} // namespace

TEST(CpuExternal, Fuse) {
    auto inputs = readInputs();
    auto expectations = readExpectations();
    ASSERT_EQ(inputs.size(), expectations.size());
    int run = 0, passed = 0;
    std::map<std::string, int> skipped;
    static uint8_t wantMemory[65536];
    for (auto& [name, in] : inputs) {
        std::string op = name.substr(0, name.find('_'));
        if (const char* reason = exclusion(op)) {
            skipped[reason]++;
            continue;
        }
        run++;
        CpuCore& c = freshCore();
        for (const MemoryBlock& b : in.memory)
            for (size_t i = 0; i < b.bytes.size(); i++)
                testMemory[uint16_t(b.address + i)] = b.bytes[i];
        loadRegisters(c, in.regs);
        FuseCase want = expectations.at(name);
        std::memcpy(wantMemory, testMemory, sizeof wantMemory);
        for (const MemoryBlock& b : want.memory)
            for (size_t i = 0; i < b.bytes.size(); i++)
                wantMemory[uint16_t(b.address + i)] = b.bytes[i];
        adjustForCore(op, in.regs, want.regs);
        if (op == "ed4f") want.tstates--; // LD R,A takes 8 T-states
        int tstates = 0;
        while (tstates < in.tstates)
            tstates += runTStates(c);
        std::string diff = registerDifferences(want.regs, captureRegisters(c));
        if (tstates != want.tstates)
            diff += " T " + std::to_string(want.tstates) + "/" + std::to_string(tstates);
        if (std::memcmp(wantMemory, testMemory, sizeof wantMemory)) diff += " memory";
        if (!untracedJump(op) && traceOfCore() != want.busTrace)
            diff += "\n  bus " + want.busTrace + "\n  got " + traceOfCore();
        if (diff.empty())
            passed++;
        else
            ADD_FAILURE() << name << " (want/got):" << diff;
    }
    std::cout << "FUSE: " << run << " run, " << passed << " passed\n";
    for (auto& [reason, count] : skipped)
        std::cout << "  excluded " << count << ": " << reason << "\n";
}
