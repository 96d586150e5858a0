// cpm_run [--quiet] [--tstates N] program.com
// Runs a CP/M program on the Z80 core; exits 0 when it ends by jumping to
// 0000h, 1 when the T-state limit is reached first, 2 on a usage or load error.
#include "tools/cpm/cpm.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static void printToStdout(uint8_t ch) { std::putchar(ch); }

int main(int argc, char** argv) {
    uint64_t limit = UINT64_MAX;
    bool quiet = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--quiet"))
            quiet = true;
        else if (!std::strcmp(argv[i], "--tstates") && i + 1 < argc)
            limit = std::strtoull(argv[++i], nullptr, 10);
        else
            path = argv[i];
    }
    if (!path) {
        std::fprintf(stderr, "usage: cpm_run [--quiet] [--tstates N] program.com\n");
        return 2;
    }
    if (!cpmLoad(path)) {
        std::fprintf(stderr, "cannot load %s\n", path);
        return 2;
    }
    cpmMachine.consoleOut = quiet ? nullptr : printToStdout;
    bool ended = cpmRun(limit);
    std::fflush(stdout);
    std::fprintf(stderr, "\n%llu T-states, %llu instructions\n",
                 (unsigned long long)cpmMachine.tStates,
                 (unsigned long long)cpmMachine.instructions);
    return ended ? 0 : 1;
}
