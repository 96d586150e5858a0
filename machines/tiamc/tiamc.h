// The TIA-MC board: a Z80 with 64 KB of ROM and RAM, a tile layer of 32 x 32
// characters under 16 hardware sprites, a 16-entry palette and three input
// bytes. Two boards are emulated: the TIA-MC-1 (character graphics in RAM,
// written through a window at 0xB000) and the TIA-MC-2 (character graphics in
// a second ROM, tile map in ordinary RAM at 0xF000). The ROM set file decides
// which one runs.
#pragma once

#include "machines/tiamc/romset_format.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

struct CpuCore;

constexpr uint8_t tiaMc1 = 0;
constexpr uint8_t tiaMc2 = 1;

// Sprite composition buffer: picture pixel (x, y) is byte (y + 1) * 272 + x.
// The spare row 0, the 16 spare bytes closing each row and the rows below the
// picture catch the parts of sprites that leave the picture.
constexpr uint32_t spriteLayerStride = 272;
constexpr uint32_t spriteLayerRows = 274;
constexpr uint8_t noSpritePixel = 15;

struct TiaBoard {
    uint8_t boardMemory[0x10000];
    uint8_t spriteRom[0x8000]; // 4 planes of 0x2000
    uint8_t charRom[0x8000];   // TIA-MC-2: 4 planes of 4 banks of 0x800
    uint8_t charRam[4][0x800]; // TIA-MC-1: one array per plane
    uint8_t tileRam[0x800];    // TIA-MC-1: two pages of 32 x 32 codes
    uint8_t spriteRegs[16][4]; // x, y, inverted image, attributes
    uint32_t paletteRegs[16];  // 0x00RRGGBB
    uint32_t colourTable[256]; // host colour of each board colour byte
    uint8_t spriteLayer[spriteLayerRows * spriteLayerStride];
    uint8_t inputD0;
    uint8_t inputD1;
    uint8_t inputD2;
    uint8_t videoControl;
    uint8_t spriteXOrigin;
    uint8_t auxLatch;
    uint8_t boardModel; // tiaMc1 or tiaMc2
    uint8_t analogControl;
    uint16_t romSetChecksum;
    uint8_t analogValue = 152; // the analog control's position, 96 to 208
    // 64-bit FNV-1a of the whole ROM set file: the set a saved machine state
    // belongs to.
    uint64_t romSetHash;
};

extern TiaBoard tiaBoard;

// ROM set and memory map (romset.cpp).
// Reads count bytes of the open file into buffer; bytes past the end of the
// file read as 0xFF. Returns the checksum of exactly these bytes.
uint16_t readBlock(std::FILE* file, uint8_t* buffer, uint32_t count);
// 64-bit FNV-1a of the open file from its first byte to its end.
uint64_t hashRomSetFile(std::FILE* file);
// The same hash carried on over more bytes; a whole set starts from
// romSetHashStart.
constexpr uint64_t romSetHashStart = 0xCBF29CE484222325;
uint64_t hashRomSetBytes(const uint8_t* data, size_t size, uint64_t hash);
// Loads a ROM set, selects the model and installs the bus handlers. Returns
// false, with nothing changed, when the path cannot be opened as a file.
bool loadRomSet(const char* path);
// Loads a set held in memory exactly as loadRomSet loads a file of these
// bytes: a replay's recorded drops, the page's sets.
void loadRomSetBytes(const uint8_t* data, size_t size);
// The whole file, when loadRomSet would open it (a regular file); false,
// bytes unspecified, otherwise or on a read error.
bool readRomSetFile(const char* path, std::vector<uint8_t>& bytes);
void installBusHandlers();

// Video generator (video.cpp).
void setUpColourTable();
// Draws the 512 x 256 host-pixel picture (each board pixel doubled
// horizontally) at dest, rows stride pixels apart.
void renderFrame(uint32_t* dest, uint32_t stride);

// Ports and cabinet input (ports.cpp).
void readInputPort(CpuCore& c);
void writePortTiaMc1(CpuCore& c);
void writePortTiaMc2(CpuCore& c);
// True while the key is down in this frame's snapshot (keysNow).
bool keyDown(uint8_t key);
// Rebuilds inputD0..inputD2 from keysNow (once per frame).
void buildInputBytes();

// Driver (driver.cpp). startTiaMachine loads the set and readies the core and
// the host; runTiaFrame is one pass of the frame loop: beginTiaFrame (the
// state's turn, grant, host controls, frame interrupt), runFrameInstructions,
// endFrame. A rewind frame loads an earlier state and runs only the controls.
constexpr int32_t frameGrant = 35000 * 256; // 1/256 T-state units
// Bit 7 of inputD2 rises once 5000 T-states of the frame have passed.
constexpr int32_t framePhaseThreshold = 30000 * 256;
constexpr uint8_t framePhaseBit = 0x80;
void startTiaMachine(const char* romPath);
// startTiaMachine after its load: for a set already loaded (loadRomSetBytes).
void startLoadedTiaMachine();
void beginTiaFrame();
// False when the monitor holds the machine inside the frame: the frame stays
// open (frameHeld) and the next pass goes on with it, without endFrame.
bool runFrameInstructions();
// One pass of the frame loop; false when the frame was held, not ended.
bool runTiaFrame();
// The monitor holds the machine inside a frame: the next pass of the loop
// goes on with that frame instead of beginning one.
extern bool frameHeld;
// The frame being run, counting from 1 at start-up.
extern uint32_t tiaFramesRun;
// The monitor's seam in the frame loop: null while the loop runs free;
// otherwise it runs the frame's instructions in the loop's place and returns
// false when it holds the machine inside the frame.
extern bool (*monitoredFrame)();
[[noreturn]] void runTiaMachine(const char* romPath);

// Frame-start hook (controls.cpp).
void handleHostControls();

// Where a frame's inputs from outside enter the machine: the default is the
// host's, a recording watches them, a replay stands in for the keyboard and
// the drops.
struct FrameInputs {
    // First in handleHostControls, every frame: before a dropped set is
    // loaded and the keys are taken. Null: nothing happens there.
    void (*frameStarting)();
    // Loads a dropped set (loadRomSet); false when it cannot be opened.
    bool (*loadDroppedSet)(const char* path);
    // Fills keysNow for the frame, keysPrev already saved (snapshotKeys).
    void (*snapshotKeys)();
};
extern FrameInputs frameInputs;
extern const FrameInputs hostFrameInputs;
// Execution restarts at address 0 with the other registers as they were, as
// after a dropped set; a chain of prefixes left unfinished is abandoned.
void restartAtZero();
// What Delete and Left Ctrl + Delete do (after clearing the back buffer):
// the next scale preset, with its message and client size; the next
// scanline look, with its message.
void advanceScalePreset();
void advanceScanlineMode();

// Save states at the frame start (slots.cpp). The slot keys (F2 save, F4
// load, F6 and F7 the slot) and Backspace (rewind) are seen in a frame's
// controls; a save or load is done at the start of the next frame, before
// anything else of it. `given`: a state handed over by the host (a file the
// page was given), loaded the same way.
enum class StateRequest : uint8_t { none, save, load, given };
extern uint8_t stateSlot;         // 0 to 9, the slot F2 and F4 use
extern StateRequest stateRequest; // asked for in the last frame's controls
extern bool rewindHeld;           // Backspace down in the last frame's snapshot
// This frame loaded an earlier state from the rewind ring instead of running
// the processor: runFrameInstructions runs nothing.
extern bool frameRewound;
// F6 and F7: the previous or next slot, wrapping, with its console line.
void stepStateSlot(int step);
// A state's bytes to load at the start of the next frame, as F4 loads a
// slot, with the same console lines.
void requestStateLoad(const uint8_t* data, size_t size);
// The first thing of every frame: the save or load asked for, then the
// rewind ring's turn (the state the frame starts from taken into the ring, or
// while Backspace is held, the state before the one shown loaded). True when
// the frame rewinds.
bool takeStateTurn();
// Slot 0, nothing asked for, the rewind ring empty (at start-up).
void resetStateTurn();
// Empties the rewind ring (a new ROM set: its states are of another game).
void forgetRewind();

// Start-up and end-of-frame hooks (end_frame.cpp).
void prepareHost();
void endFrame();
// Told the hash of each frame's board picture (renderFrame's 512 x 256
// pixels, whatever the preset) once it is drawn, before the frame is paced.
// Null: nothing is hashed.
extern void (*pictureHashed)(uint64_t hash);
// A 64-bit hash of the 512 x 256 pixels' values (0x00RRGGBB): FNV-1a steps
// over pairs of pixels (the first in the low half) in four lanes, pair n
// going to lane n % 4, the lanes then hashed in turn.
uint64_t pictureHash(const uint32_t* picture, uint32_t stride);

// Disassembly dump (disdump.cpp).
struct Z80Symbols;
// Writes the listing of the loaded set's program ROM (writeZ80Listing's
// columns) to path under a header naming the model and the set's checksum;
// labels from symbols, if any. False when the file cannot be written.
bool writeDisassemblyDump(const char* path, const Z80Symbols* symbols);
