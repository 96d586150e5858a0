// cpu_bench [T-states] [program.com]
// Runs ZEXDOC (or the given CP/M program) through the CP/M harness with its
// output discarded for a fixed number of T-states (default 5e9) and prints the
// emulated clock rate and the host time per instruction. The figures use the
// process's processor time, so other load on the host does not skew them; the
// wall-clock time is printed beside it.
#include "tools/cpm/cpm.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
    uint64_t tStates = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 5000000000ull;
    const char* path = argc > 2 ? argv[2] : KORVALO_ZEXDOC_PATH;
    if (!cpmLoad(path)) {
        std::fprintf(stderr, "cannot load %s\n", path);
        return 2;
    }
    auto wallStart = std::chrono::steady_clock::now();
    std::clock_t cpuStart = std::clock();
    cpmRun(tStates);
    double seconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    std::printf("%llu T-states, %llu instructions in %.3f s processor time (%.3f s wall)\n",
                (unsigned long long)cpmMachine.tStates, (unsigned long long)cpmMachine.instructions,
                seconds, wall.count());
    std::printf("emulated clock: %.1f MHz\n", cpmMachine.tStates / seconds / 1e6);
    std::printf("host time per instruction: %.2f ns\n", seconds * 1e9 / cpmMachine.instructions);
    return 0;
}
