// The disassembly dump: the program ROM's address range of the loaded model
// as the processor reads it, one instruction a line.
#include "cpu/disasm.h"
#include "machines/tiamc/tiamc.h"

bool writeDisassemblyDump(const char* path, const Z80Symbols* symbols) {
    std::FILE* out = std::fopen(path, "w");
    if (!out) return false;
    const bool mc2 = tiaBoard.boardModel == tiaMc2;
    const uint32_t length = mc2 ? tiaMc2ProgramBytes : tiaMc1ProgramBytes;
    char header[320];
    std::snprintf(header, sizeof header,
                  "; TIA-DisDump.txt: disassembly of the program ROM, %04X-%04X\n"
                  "; Model: %s\n"
                  "; ROM set checksum: %04X\n"
                  "%s"
                  "; Columns: address, bytes, instruction (pasmo syntax, from column %d)\n",
                  0u, length - 1, mc2 ? "TIA-MC-2" : "TIA-MC-1", tiaBoard.romSetChecksum,
                  mc2 ? ""
                      : "; C000-DFFF is RAM: its bytes are the set's until the program "
                        "writes them\n",
                  z80ListingTextColumn);
    writeZ80Listing(out, tiaBoard.boardMemory, 0, length, header, symbols);
    const bool written = !std::ferror(out);
    return std::fclose(out) == 0 && written;
}
