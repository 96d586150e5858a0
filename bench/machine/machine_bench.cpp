// Frame-pipeline benchmark: the TIA-MC driver run headless and unthrottled on
// a ROM set built here, whose program keeps the processor busy for the whole
// frame with a loop of varied instructions and shows all 16 sprites over a
// patterned tile layer; every frame is composed at scale preset 3. Prints
// frames per second and where the time goes: emulation (frame start, hooks
// and instructions), renderFrame, and composition (widening and the three
// rows per line into the back buffer). It runs twice, without and with the
// rewind ring (a state taken into it at every frame start), and prints what
// the ring costs a frame, its share of a core at 60 frames a second, and the
// memory it holds at the end.
//
// Usage: machine_bench [frames]   (default 20000)
//
// Figures are in processor time; the rate by the clock is printed beside it
// and falls behind when other work shares the cores.
#include "display/present.h"
#include "host/host.h"
#include "machines/tiamc/rewind.h"
#include "machines/tiamc/tiamc.h"
#include "platforms/headless/headless.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

constexpr uint16_t subroutineAddress = 0x0300;

struct Program {
    std::vector<uint8_t> bytes;
    void emit(std::initializer_list<uint8_t> code) { bytes.insert(bytes.end(), code); }
    // A relative jump (opcode jr/jr nz/djnz) back to target.
    void jumpBack(uint8_t opcode, size_t target) {
        emit({opcode, static_cast<uint8_t>(target - (bytes.size() + 2))});
    }
};

// Fills the video RAM window with a pattern (tile codes and the four
// character planes at once), sets the 16 palette entries and places the
// 16 sprites in view.
void emitSetUp(Program& p) {
    p.emit({0xF3, 0x31, 0x00, 0xF0});             // di; ld sp,0xF000
    p.emit({0xAF, 0xD3, 0xBE});                   // xor a; out (0xBE),a: all video writes on
    p.emit({0x21, 0x00, 0xB0, 0x01, 0x00, 0x08}); // ld hl,0xB000; ld bc,0x0800
    const size_t fill = p.bytes.size();
    p.emit({0x7D, 0xAC, 0x77, 0x23, 0x0B, 0x78, 0xB1}); // ld a,l; xor h; ld (hl),a; inc hl;
                                                        // dec bc; ld a,b; or c
    p.jumpBack(0x20, fill);                             // jr nz,fill
    for (uint8_t i = 0; i < 16; ++i) {
        p.emit({0x3E, static_cast<uint8_t>(i * 0x11), 0xD3, static_cast<uint8_t>(0xA0 + i)});
    }
    for (uint8_t i = 0; i < 16; ++i) {
        const uint8_t y = static_cast<uint8_t>(256 - (16 + i * 14));
        const uint8_t x = static_cast<uint8_t>(-(8 + i * 14) - 4);
        p.emit({0x3E, y, 0xD3, static_cast<uint8_t>(0x40 + i)});
        p.emit({0x3E, x, 0xD3, static_cast<uint8_t>(0x50 + i)});
        p.emit({0x3E, static_cast<uint8_t>(i * 7), 0xD3, static_cast<uint8_t>(0x60 + i)});
        p.emit({0x3E, static_cast<uint8_t>(i & 1 ? 8 : 2), 0xD3, static_cast<uint8_t>(0x70 + i)});
    }
}

// The busy loop: memory reads and writes, ALU, rotates, stack, exchanges,
// an indexed increment, a call and a port write that moves sprite 0.
void emitBusyLoop(Program& p) {
    const size_t loop = p.bytes.size();
    p.emit({0x21, 0x00, 0xC0, 0x06, 0x10}); // ld hl,0xC000; ld b,16
    const size_t inner = p.bytes.size();
    p.emit({0x7E, 0x80, 0x77, 0x23, 0x07, 0xA9, 0x4F}); // ld a,(hl); add a,b; ld (hl),a;
                                                        // inc hl; rlca; xor c; ld c,a
    p.emit({0xC5, 0xD1, 0xEB, 0xEB, 0xCB, 0x11});       // push bc; pop de; ex de,hl x2; rl c
    p.jumpBack(0x10, inner);                            // djnz inner
    p.emit({0x79, 0xE6, 0x7F, 0xD3, 0x50, 0xDD, 0x23}); // ld a,c; and 0x7F; out (0x50),a; inc ix
    p.emit({0xCD, subroutineAddress & 0xFF, subroutineAddress >> 8}); // call sub
    p.jumpBack(0x18, loop);                                           // jr loop
}

// A TIA-MC-1 set: random sprite graphics whose checksum names no other model.
std::vector<uint8_t> buildRomSet() {
    std::vector<uint8_t> file(romSetBytes, 0);
    std::mt19937 random(1);
    for (size_t i = 0; i < spriteRomBytes; ++i)
        file[i] = static_cast<uint8_t>(random());
    while (romChecksum(file.data(), spriteRomBytes) == tiaMc2Checksum ||
           romChecksum(file.data(), spriteRomBytes) == analogChecksum) {
        ++file[spriteRomBytes - 1];
    }
    Program program;
    emitSetUp(program);
    emitBusyLoop(program);
    std::copy(program.bytes.begin(), program.bytes.end(), file.begin() + tiaMc1ProgramOffset);
    file[tiaMc1ProgramOffset + subroutineAddress] = 0xC9; // ret
    return file;
}

std::string saveRomSet() {
    const auto path = std::filesystem::temp_directory_path() / "korvalo_machine_bench.tia";
    const std::vector<uint8_t> file = buildRomSet();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size()) {
        std::fprintf(stderr, "machine_bench: can't write %s\n", path.c_str());
        std::exit(1);
    }
    std::fclose(out);
    return path.string();
}

// The split is taken in processor time (std::clock), so time the process
// spends waiting for a core on a busy machine is left out of it.
std::clock_t renderTime;

void timedRender(uint32_t* dest, uint32_t stride) {
    const std::clock_t start = std::clock();
    renderFrame(dest, stride);
    renderTime += std::clock() - start;
}

int spritesInView() {
    int count = 0;
    for (const auto& regs : tiaBoard.spriteRegs) {
        const int y = 256 - regs[1];
        if (!(regs[3] & 1) && y >= 0 && y + 16 <= 256) ++count;
    }
    return count;
}

double microseconds(std::clock_t t) { return 1e6 * double(t) / CLOCKS_PER_SEC; }

// Processor time per frame, in microseconds.
double report(long frames, double wallSeconds, std::clock_t emulation, std::clock_t composition) {
    const double cpu = microseconds(emulation + composition) / frames;
    const double emulate = microseconds(emulation) / frames;
    const double render = microseconds(renderTime) / frames;
    const double compose = microseconds(composition - renderTime) / frames;
    std::printf("frames per second: %.0f in processor time, %.0f by the clock\n", 1e6 / cpu,
                frames / wallSeconds);
    std::printf("per frame: %.1f us = emulation %.1f us (%.0f%%) + renderFrame %.1f us (%.0f%%) "
                "+ composition %.1f us (%.0f%%)\n",
                cpu, emulate, 100 * emulate / cpu, render, 100 * render / cpu, compose,
                100 * compose / cpu);
    return cpu;
}

// Runs the frames and reports them: the ring kept for up to ringFrames.
double measure(long frames, uint32_t ringFrames) {
    rewindFrameLimit = ringFrames;
    clearRewind();
    scalePreset = 3;
    renderTime = 0;
    std::clock_t emulation = 0, composition = 0;
    const auto start = Clock::now();
    for (long i = 0; i < frames; ++i) {
        const std::clock_t frameStart = std::clock();
        beginTiaFrame();
        runFrameInstructions();
        const std::clock_t emulated = std::clock();
        composeFrame(timedRender);
        host.pacingStep();
        emulation += emulated - frameStart;
        composition += std::clock() - emulated;
    }
    const std::chrono::duration<double> wall = Clock::now() - start;
    return report(frames, wall.count(), emulation, composition);
}
} // namespace

int main(int argc, char** argv) {
    const long frames = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
    if (frames <= 0) {
        std::fprintf(stderr, "usage: machine_bench [frames]\n");
        return 2;
    }
    startHeadlessHost(1280, 960, nullptr);
    const std::string romPath = saveRomSet();
    startTiaMachine(romPath.c_str());
    std::filesystem::remove(romPath);
    for (int i = 0; i < 100; ++i)
        runTiaFrame();

    std::printf("machine_bench: %ld frames, preset 3 (960 x 768), %d sprites in view\n", frames,
                spritesInView());
    std::printf("without the rewind ring:\n");
    const double without = measure(frames, 0);
    const uint32_t ringFrames = 1800;
    std::printf("with the rewind ring (%u frames):\n", ringFrames);
    const double with = measure(frames, ringFrames);
    std::printf("the ring: %+.1f us a frame, %.2f%% of a core at 60 frames a second; "
                "%u states in %.2f MB\n",
                with - without, (with - without) * 60 / 1e4, rewindStateCount(),
                rewindMemoryBytes() / 1e6);
}
