// The libretro core's time per retro_run: the core opened with dlopen as a
// frontend opens it, a ROM set loaded from memory, frames run with the
// picture handed to a frontend that only takes its pointer.
//
// Usage: libretro_bench CORE ROM [frames]   (default 20000)
#include "platforms/libretro/libretro_api.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

bool environment(unsigned cmd, void* data) {
    if (cmd == retroEnvSetPixelFormat) return true;
    if (cmd == retroEnvGetVariableUpdate) {
        *static_cast<bool*>(data) = false;
        return true;
    }
    return false;
}

const void* lastPicture;
void videoRefresh(const void* data, unsigned, unsigned, size_t) { lastPicture = data; }
size_t audioBatch(const int16_t*, size_t frames) { return frames; }
void inputPoll() {}
int16_t inputState(unsigned, unsigned, unsigned, unsigned) { return 0; }

template <typename Fn> Fn find(void* core, const char* name) {
    void* symbol = dlsym(core, name);
    if (!symbol) {
        std::fprintf(stderr, "libretro_bench: no %s in the core\n", name);
        std::exit(1);
    }
    return reinterpret_cast<Fn>(symbol);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: libretro_bench CORE ROM [frames]\n");
        return 2;
    }
    const int frames = argc > 3 ? std::atoi(argv[3]) : 20000;
    void* core = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!core) {
        std::fprintf(stderr, "libretro_bench: %s\n", dlerror());
        return 1;
    }
    std::ifstream in(argv[2], std::ios::binary);
    const std::vector<char> rom{std::istreambuf_iterator<char>(in), {}};
    find<decltype(&retro_set_environment)>(core, "retro_set_environment")(environment);
    find<decltype(&retro_init)>(core, "retro_init")();
    const retro_game_info game{argv[2], rom.data(), rom.size(), nullptr};
    if (!find<decltype(&retro_load_game)>(core, "retro_load_game")(&game)) return 1;
    find<decltype(&retro_set_video_refresh)>(core, "retro_set_video_refresh")(videoRefresh);
    find<decltype(&retro_set_audio_sample_batch)>(core, "retro_set_audio_sample_batch")(audioBatch);
    find<decltype(&retro_set_input_poll)>(core, "retro_set_input_poll")(inputPoll);
    find<decltype(&retro_set_input_state)>(core, "retro_set_input_state")(inputState);
    auto run = find<decltype(&retro_run)>(core, "retro_run");
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    for (int i = 0; i < frames; ++i)
        run();
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("libretro_bench: %d frames, %.1f us per retro_run in processor time, %.1f us by "
                "the clock\n",
                frames, cpu * 1e6 / frames, wall * 1e6 / frames);
    find<decltype(&retro_unload_game)>(core, "retro_unload_game")();
    find<decltype(&retro_deinit)>(core, "retro_deinit")();
    return lastPicture ? 0 : 1;
}
