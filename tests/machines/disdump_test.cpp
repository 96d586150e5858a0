// The disassembly dump of each of our ROM sets, labels from the symbol file
// pasmo wrote beside its program, assembled back with pasmo: the program ROM's
// bytes again, apart from the ED duplicates pasmo encodes another way.
#include "tiamc_fixture.h"

#include "cpu/disasm.h"
#include "tests/support/pasmo_check.h"

#include <fstream>
#include <iomanip>
#include <sstream>

namespace {

class DisassemblyDump : public TiaTest {};

TEST_F(DisassemblyDump, OurSetsAssembleBackToTheirProgramRom) {
    const struct {
        const char* set;
        const char* symbols;
        bool mc2;
    } sets[] = {
        {"KorvaloDemo1.tia", "demo1.sym", false},
        {"KorvaloAnalog.tia", "analog.sym", false},
        {"KorvaloDemo2.tia", "demo2.sym", true},
        {"KorvaloSelfTest.tia", "selftest.sym", false},
        {"KorvaloSelfTest2.tia", "selftest2.sym", true},
    };
    const std::string romDir = KORVALO_ROM_DIR;
    for (const auto& s : sets) {
        SCOPED_TRACE(s.set);
        const std::string setPath = romDir + "/" + s.set;
        std::vector<uint8_t> file;
        ASSERT_TRUE(readRomSetFile(setPath.c_str(), file));
        const size_t programOffset = s.mc2 ? tiaMc2ProgramOffset : tiaMc1ProgramOffset;
        const size_t programBytes = s.mc2 ? tiaMc2ProgramBytes : tiaMc1ProgramBytes;
        file.resize(std::max(file.size(), programOffset + programBytes), 0xFF);
        const std::vector<uint8_t> program(file.begin() + programOffset,
                                           file.begin() + programOffset + programBytes);

        ASSERT_TRUE(loadRomSet(setPath.c_str()));
        const std::string symPath = romDir + "/" + s.symbols;
        Z80Symbols symbols;
        std::string error;
        ASSERT_TRUE(loadPasmoSymbols(symPath.c_str(), symbols, error)) << error;
        const std::string dumpPath = writeTemp({}, "dump");
        ASSERT_TRUE(writeDisassemblyDump(dumpPath.c_str(), &symbols));

        // The header names the model and the sprite ROM's checksum.
        std::ifstream dump(dumpPath);
        std::ostringstream expectedHeader;
        expectedHeader << "; Model: " << (s.mc2 ? "TIA-MC-2" : "TIA-MC-1")
                       << "\n; ROM set checksum: " << std::hex << std::uppercase << std::setw(4)
                       << std::setfill('0') << romChecksum(file.data(), spriteRomBytes);
        std::string header, line;
        std::ostringstream source;
        std::ifstream symText(symPath);
        source << symText.rdbuf() << " ORG 0\n";
        std::vector<std::pair<uint16_t, uint8_t>> instructions; // address, length
        while (std::getline(dump, line)) {
            if (line.starts_with(";")) {
                header += line + "\n";
                continue;
            }
            ASSERT_GT(line.size(), size_t(z80ListingTextColumn)) << line;
            const uint16_t address =
                static_cast<uint16_t>(std::stoul(line.substr(0, 4), nullptr, 16));
            const size_t bytesEnd = line.find("  ", z80ListingBytesColumn);
            const uint8_t length = static_cast<uint8_t>((bytesEnd - z80ListingBytesColumn + 1) / 3);
            instructions.push_back({address, length});
            // Each line at its own address: a duplicate may come back shorter.
            source << " ORG " << std::dec << address << "\n " << line.substr(z80ListingTextColumn)
                   << "\n";
        }
        EXPECT_NE(header.find(expectedHeader.str()), std::string::npos) << header;
        ASSERT_FALSE(instructions.empty());
        EXPECT_EQ(instructions.front().first, 0);
        EXPECT_EQ(instructions.back().first + instructions.back().second, programBytes);

        std::vector<uint8_t> image;
        ASSERT_TRUE(assembleWithPasmo(PASMO_PROGRAM, source.str(), writeTemp({}, "asm"), image));
        ASSERT_GE(image.size(), programBytes);
        for (const auto& [address, length] : instructions) {
            const std::vector<uint8_t> bytes(program.begin() + address,
                                             program.begin() + address + length);
            if (std::equal(bytes.begin(), bytes.end(), image.begin() + address)) continue;
            EXPECT_GE(checkPasmoDuplicate(bytes, image.data() + address), 0)
                << "at " << std::hex << address << " does not reassemble to its bytes";
        }
    }
}

} // namespace
