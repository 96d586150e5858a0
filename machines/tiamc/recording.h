// Input recordings: everything from outside that reaches the board, frame by
// frame, kept as it happens, and played back exactly.
//
// What is in one: the key snapshot each frame starts from, where it changes
// (keysNow after the snapshot: the cabinet keys, the restart keys, the hot
// keys, the game pads folded in), every dropped set with the whole file, and
// every state loaded into the running machine, whole. It starts from
// power-on: the machine started on a set, no frame run; a state loaded
// before the first frame (--load-state) is its first record. Not in it: what
// only the host sees (the presentation, full screen, screenshots written).
//
// Format, little-endian throughout, written field by field, record by record
// as the run goes (a program that dies loses only the record it was
// writing):
//   header  "KORVRECD", u16 format (1), u8 board model (0 TIA-MC-1,
//           1 TIA-MC-2), u64 hash of the ROM set file the machine started on
//           (TiaBoard::romSetHash)
//   records each a u8 kind, its frame as the count of frames since the last
//           record's (the first's since frame 0) in unsigned LEB128 (seven
//           bits a byte, low first, bit 7 set on all but the last), then:
//     'S'   a state loaded between frames: u32 length, the state (state.h)
//     'T'   a state loaded, of the size of the last one recorded (S or T),
//           as its changes from that one: u32 length, then runs, each the
//           count of unchanged bytes before it and its length (both LEB128,
//           the length from 1) and its bytes; written when smaller than the
//           state (a rewind's states differ in a few hundred bytes)
//     'D'   a dropped set loaded as the next frame starts: u32 length, the
//           whole file
//     'K'   the next frame's key snapshot, where it differs from the last
//           one recorded (every key up before the first): LEB128 count
//           (1-256), the key codes, ascending; each flips between up (0x00)
//           and down (0x80), the only values a snapshot holds
//     'E'   the end: the recording holds this many frames; the last record,
//           missing when the program never ended the recording (a replay
//           then plays every whole record)
// "Frame N" is the moment after N frames have run, before frame N + 1
// starts. The records of one frame come in the order S or T..., D, K.
// Frames without a change have no record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint16_t recordingFormat = 1;

// Where a recording goes: each call hands over one whole record (the header
// first), in order. The native program appends them to a file; the page
// keeps them in memory.
struct RecordingSink {
    void (*write)(const uint8_t* bytes, size_t count);
};

// Starts recording the machine as it is, started on its set and no frame
// run: writes the header and watches the frame inputs (frameInputs).
void startRecording(RecordingSink sink);
// Writes the end record and stops recording; the frame inputs are the
// host's again. Nothing happens when no recording runs.
void endRecording();
// A state loaded into the running machine (the slot keys, rewind,
// --load-state), told after the load: the recording keeps it whole. States
// are loaded between frames: before the first, or as a frame starts, before
// anything else of it.
void noteStateLoad(const uint8_t* data, size_t size);

// Checks the whole recording (header, the set the machine runs, every
// record) and starts playing it from the next frame: the key snapshots, the
// drops and the states come from it, and the keyboard, the game pads and
// the host's drops are ignored until it ends ("Replay ended at frame N");
// the player has the game from then on. False, nothing changed, with the
// reason in error, the text to follow "Can't replay: " ("not a Korvalo
// recording", "made by a newer Korvalo (format 2)", "recorded with another
// ROM set", "damaged (at byte 27)"). A recorded state that the machine
// refuses while it plays is a fatal error.
bool startReplay(std::vector<uint8_t> recording, std::string& error);
// True while a replay plays. The state loaders then load nothing of their
// own (a slot's file may have changed since): each calls loadRecordedState
// where it would load, and the recording's state of that moment is loaded.
bool replayPlaying();
// While a replay plays, loads the state the recording holds for this moment
// and returns true; false when it holds none here. The replay starts with
// the states loaded before the first frame, and loads one that no loader
// asked for as the next frame starts.
bool loadRecordedState();
