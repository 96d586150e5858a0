// The SingleStepTests Z80 vectors: 1000 random starting states per opcode,
// each one instruction long, compared on registers, memory and the number of
// T-states (the length of the per-T-state bus trace).
#include "harness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

// Just enough JSON for these files: numbers, strings, null, arrays, objects.
struct Json {
    long number = 0;
    std::string text;
    std::vector<Json> items;       // array elements, or the object's values
    std::vector<std::string> keys; // the object's keys, one per value

    const Json& operator[](const char* key) const {
        static const Json missing;
        for (size_t i = 0; i < keys.size(); i++)
            if (keys[i] == key) return items[i];
        return missing;
    }
    unsigned u(const char* key) const { return unsigned((*this)[key].number); }
};

struct JsonReader {
    const std::string& s;
    size_t at = 0;

    void skipSpace() {
        while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at])))
            at++;
    }
    std::string readString() {
        size_t end = s.find('"', ++at);
        std::string text = s.substr(at, end - at);
        at = end + 1;
        return text;
    }
    Json read() {
        skipSpace();
        Json v;
        char open = s[at];
        if (open == '"') {
            v.text = readString();
        } else if (open == 'n') {
            at += 4; // null
        } else if (open != '[' && open != '{') {
            size_t used;
            v.number = std::stol(s.substr(at, 24), &used);
            at += used;
        } else {
            for (at++, skipSpace(); s[at] != ']' && s[at] != '}'; skipSpace()) {
                if (s[at] == ',') at++;
                if (open == '{') {
                    skipSpace();
                    v.keys.push_back(readString());
                    skipSpace();
                    at++; // ':'
                }
                v.items.push_back(read());
            }
            at++;
        }
        return v;
    }
};

Json readJsonFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    return JsonReader{s}.read();
}

RegisterFile registersOf(const Json& j) {
    auto pair = [&j](const char* hi, const char* lo) { return uint16_t(j.u(hi) << 8 | j.u(lo)); };
    return {pair("a", "f"),       pair("b", "c"),       pair("d", "e"),       pair("h", "l"),
            uint16_t(j.u("af_")), uint16_t(j.u("bc_")), uint16_t(j.u("de_")), uint16_t(j.u("hl_")),
            uint16_t(j.u("ix")),  uint16_t(j.u("iy")),  uint16_t(j.u("sp")),  uint16_t(j.u("pc")),
            uint8_t(j.u("i")),    uint8_t(j.u("r")),    uint8_t(j.u("iff1")), uint8_t(j.u("iff2")),
            uint8_t(j.u("im"))};
}

uint8_t portReadValue;
uint8_t answerPort(uint16_t) { return portReadValue; }

// Runs one vector; returns what differs, empty when it agrees.
std::string runVector(const std::string& file, const Json& t) {
    static uint8_t wantMemory[65536];
    CpuCore& c = freshCore();
    for (const Json& cell : t["initial"]["ram"].items)
        testMemory[cell.items[0].number] = cell.items[1].number;
    for (const Json& port : t["ports"].items)
        portReadValue = port.items[1].number;
    portValue = answerPort;
    RegisterFile in = registersOf(t["initial"]);
    loadRegisters(c, in);
    std::memcpy(wantMemory, testMemory, sizeof wantMemory);
    for (const Json& cell : t["final"]["ram"].items)
        wantMemory[cell.items[0].number] = cell.items[1].number;
    RegisterFile want = registersOf(t["final"]);
    std::string op; // "dd cb __ 46" names opcode ddcb46
    for (char ch : file)
        if (ch != ' ' && ch != '_') op += ch;
    adjustForCore(op, in, want); // the hidden WZ and Q registers are never compared

    int tstates = runTStates(c);
    std::string diff = registerDifferences(want, captureRegisters(c));
    if (tstates != int(t["cycles"].items.size()))
        diff += " T " + std::to_string(t["cycles"].items.size()) + "/" + std::to_string(tstates);
    if (std::memcmp(wantMemory, testMemory, sizeof wantMemory)) diff += " memory";
    return diff;
}

class SingleStep : public testing::TestWithParam<const char*> {};

TEST_P(SingleStep, Vectors) {
    std::string file = GetParam();
    Json cases = readJsonFile(std::string(KORVALO_CPU_TESTDATA "/singlestep/") + file + ".json");
    ASSERT_EQ(cases.items.size(), 1000u);
    int failed = 0;
    for (const Json& t : cases.items) {
        std::string diff = runVector(file, t);
        if (!diff.empty() && ++failed <= 10)
            ADD_FAILURE() << t["name"].text << " (want/got):" << diff;
    }
    std::cout << "SingleStep " << file << ": 1000 run, " << 1000 - failed << " passed\n";
    EXPECT_EQ(failed, 0);
}

// RETN (ed 45) and block I/O (ed a2, ed a3) are not copied: the core runs them
// as 8 T-state no-ops.
INSTANTIATE_TEST_SUITE_P(CpuExternal, SingleStep,
                         testing::Values("00", "10", "27", "37", "3f", "86", "e3", "cb 06", "cb 46",
                                         "dd 86", "dd cb __ 46", "ed 42", "ed 57", "ed 5f", "ed 6f",
                                         "ed 78", "ed a0", "ed a1", "ed b0", "ed b1"),
                         [](const testing::TestParamInfo<const char*>& p) {
                             std::string name = p.param;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return "op_" + name;
                         });

} // namespace
