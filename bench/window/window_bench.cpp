// Window benchmark: the demo game in the SDL window at the display's pace.
// Prints the processor time per second of our own work (emulation and
// composition) and of presentation, the presents that came a refresh late or
// early, and the latency from a key event's arrival to the present of the
// first frame that saw it.
//
// Usage: window_bench ROM WAY [frames] [presses]
//   WAY: surface, software, accelerated; frames default 3600, presses 500.
// Run it through bench/window/run.sh, which starts the display.
#include "display/present.h"
#include "host/host.h"
#include "machines/tiamc/tiamc.h"
#include "platforms/common/pacer.h"
#include "platforms/common/refresh.h"
#include "platforms/sdl/sdl_host.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

uint64_t threadCpuNanos() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

double processCpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::vector<uint64_t> presents;
uint64_t presentCpu;
std::vector<double> latencies;
std::atomic<uint64_t> pushedAt;
std::atomic<bool> stopPressing;
std::atomic<uint32_t> framesDone;

void presented(uint64_t micros, uint64_t cpuNanos) {
    presents.push_back(micros);
    presentCpu += cpuNanos;
}

void keySeen(uint64_t micros) {
    const uint64_t pushed = pushedAt.exchange(0);
    if (pushed != 0 && micros > pushed) latencies.push_back(static_cast<double>(micros - pushed));
}

void pushKey(SDL_Scancode scancode, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = scancode;
    SDL_PushEvent(&event);
}

// Presses Q (no use to the game) at uneven moments, so that arrivals fall
// anywhere inside a frame.
void presser(int presses, uint32_t firstFrame) {
    while (framesDone < firstFrame && !stopPressing)
        SDL_Delay(5);
    uint32_t seed = 12345;
    for (int i = 0; i < presses && !stopPressing; ++i) {
        seed = seed * 1103515245u + 12345u;
        SDL_Delay(40 + (seed >> 16) % 60);
        pushedAt = steadyMicros();
        pushKey(SDL_SCANCODE_Q, true);
        SDL_Delay(30);
        pushKey(SDL_SCANCODE_Q, false);
    }
}

double percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(share * (values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_bench ROM surface|software|accelerated [frames] "
                             "[presses]\n");
        return 2;
    }
    const std::string way = argv[2];
    const PresentWay presentWay = way == "surface"    ? PresentWay::surface
                                  : way == "software" ? PresentWay::software
                                                      : PresentWay::accelerated;
    const uint32_t frames = argc > 3 ? static_cast<uint32_t>(std::atoi(argv[3])) : 3600;
    const int presses = argc > 4 ? std::atoi(argv[4]) : 500;
    host.consoleOut = [](const char*) {};
    startSdlHost(SdlHostConfig{1280, 960, presentWay, nullptr});
    sdlHostWatch = SdlHostWatch{presented, keySeen};
    startTiaMachine(argv[1]);
    presents.reserve(frames * 3);

    // Enter starts a game; the latency presses follow.
    std::thread keys([presses] {
        while (framesDone < 60 && !stopPressing)
            SDL_Delay(5);
        pushKey(SDL_SCANCODE_RETURN, true);
        SDL_Delay(50);
        pushKey(SDL_SCANCODE_RETURN, false);
        presser(presses, 120);
    });

    uint64_t emulation = 0, composition = 0, pacing = 0;
    const double cpuStart = processCpuSeconds();
    const uint64_t wallStart = steadyMicros();
    for (framesDone = 0; framesDone < frames; ++framesDone) {
        const uint64_t t0 = threadCpuNanos();
        beginTiaFrame();
        runFrameInstructions();
        const uint64_t t1 = threadCpuNanos();
        composeFrame(renderFrame);
        const uint64_t t2 = threadCpuNanos();
        host.pacingStep();
        const uint64_t t3 = threadCpuNanos();
        emulation += t1 - t0;
        composition += t2 - t1;
        pacing += t3 - t2;
    }
    const double wall = (steadyMicros() - wallStart) / 1e6;
    const double cpuAll = processCpuSeconds() - cpuStart;
    stopPressing = true;
    keys.join();

    const double period = 1e6 * 256 / framePacer.rateHz256;
    int late = 0, early = 0;
    for (size_t i = 1; i < presents.size(); ++i) {
        const double gap = static_cast<double>(presents[i] - presents[i - 1]);
        if (gap > 1.5 * period) ++late;
        if (gap < 0.5 * period) ++early;
    }
    auto percentOfCore = [wall](double nanos) { return nanos / 1e9 / wall * 100; };
    std::printf("way %s: %u frames in %.2f s (%.2f frames/s; pace %.3f Hz, %s)\n", way.c_str(),
                frames, wall, frames / wall, framePacer.rateHz256 / 256.0, sdlPacing());
    std::printf("  CPU, %% of one core: emulation %.2f, composition %.2f, our own work %.2f; "
                "presentation %.2f (present alone %.2f); whole process %.2f\n",
                percentOfCore(emulation), percentOfCore(composition),
                percentOfCore(emulation + composition), percentOfCore(pacing),
                percentOfCore(presentCpu), cpuAll / wall * 100);
    std::printf("  presents: %zu; a refresh late %d, early %d; pacer re-anchored %u times\n",
                presents.size(), late, early, framePacer.dropped);
    std::printf("  key to present over %zu presses: median %.2f, worst %.2f refreshes\n",
                latencies.size(), percentile(latencies, 0.5) / period,
                percentile(latencies, 1.0) / period);
    std::fflush(stdout);
    host.shutdownAndExit();
}
