// Input recordings and their replay (the format is described in
// recording.h). Both stand in the frame inputs' place: the recorder around
// the host's snapshot and drop loader, the replay instead of them.
#include "machines/tiamc/recording.h"

#include "host/host.h"
#include "machines/tiamc/state.h"
#include "machines/tiamc/statechanges.h"
#include "machines/tiamc/tiamc.h"

#include <cstring>

namespace {

constexpr char recordingMagic[8] = {'K', 'O', 'R', 'V', 'R', 'E', 'C', 'D'};
constexpr size_t formatOffset = 8;
constexpr size_t modelOffset = 10;
constexpr size_t hashOffset = 11;
constexpr size_t headerBytes = 19;

constexpr uint8_t stateRecord = 'S';
constexpr uint8_t stateChangeRecord = 'T';
constexpr uint8_t dropRecord = 'D';
constexpr uint8_t keysRecord = 'K';
constexpr uint8_t endRecord = 'E';
constexpr uint8_t keyDownBit = 0x80;

bool isState(uint8_t kind) { return kind == stateRecord || kind == stateChangeRecord; }

void putU8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }

void putU16(std::vector<uint8_t>& out, uint16_t v) {
    putU8(out, uint8_t(v));
    putU8(out, uint8_t(v >> 8));
}

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    putU16(out, uint16_t(v));
    putU16(out, uint16_t(v >> 16));
}

void putU64(std::vector<uint8_t>& out, uint64_t v) {
    putU32(out, uint32_t(v));
    putU32(out, uint32_t(v >> 32));
}

// Recording ----------------------------------------------------------------

struct Recorder {
    bool on;
    RecordingSink sink;
    uint32_t frame;     // frames started: key snapshots taken
    uint32_t lastFrame; // the frame of the last record
    uint8_t keys[256];  // the key snapshot as last recorded
    std::vector<uint8_t> record;
    std::vector<uint8_t> dropped;   // the file of a drop, read whole
    std::vector<uint8_t> lastState; // the state last recorded
    std::vector<uint8_t> changes;
};

Recorder recorder;

void beginRecord(uint8_t kind) {
    recorder.record.clear();
    putU8(recorder.record, kind);
    putCount(recorder.record, recorder.frame - recorder.lastFrame);
    recorder.lastFrame = recorder.frame;
}

void writeRecord() { recorder.sink.write(recorder.record.data(), recorder.record.size()); }

void writeBlobRecord(uint8_t kind, const uint8_t* data, size_t size) {
    beginRecord(kind);
    putU32(recorder.record, uint32_t(size));
    recorder.record.insert(recorder.record.end(), data, data + size);
    writeRecord();
}

void recordKeySnapshot() {
    snapshotKeys();
    uint8_t changed[256];
    uint32_t count = 0;
    for (int code = 0; code < 256; ++code) {
        if (keysNow[code] == recorder.keys[code]) continue;
        changed[count++] = uint8_t(code);
        recorder.keys[code] = keysNow[code];
    }
    if (count) {
        beginRecord(keysRecord);
        putCount(recorder.record, count);
        recorder.record.insert(recorder.record.end(), changed, changed + count);
        writeRecord();
    }
    ++recorder.frame;
}

// The file is read whole, for the record; a set of 4 GiB or more cannot be
// recorded and is refused as a file that cannot be opened.
bool loadAndRecordDrop(const char* path) {
    std::vector<uint8_t>& bytes = recorder.dropped;
    if (!readRomSetFile(path, bytes) || bytes.size() > UINT32_MAX) return false;
    loadRomSetBytes(bytes.data(), bytes.size());
    writeBlobRecord(dropRecord, bytes.data(), bytes.size());
    bytes = {};
    return true;
}

// Replay ---------------------------------------------------------------------

struct Record {
    uint8_t kind;
    uint32_t frame;
    const uint8_t* payload; // S, D: the state or file; T: the runs; K: the key codes
    uint32_t size;
    size_t end; // offset of the next record
};

uint32_t readU32(const uint8_t* at) {
    return at[0] | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

bool readCount(const std::vector<uint8_t>& bytes, size_t& at, uint32_t& value, Parsed& why) {
    const uint8_t* from = bytes.data() + at;
    why = takeCount(from, bytes.data() + bytes.size(), value);
    at = size_t(from - bytes.data());
    return why == Parsed::whole;
}

// The record at offset at, whose frame counts from frameBefore.
Parsed parseRecord(const std::vector<uint8_t>& bytes, size_t at, uint32_t frameBefore,
                   Record& record) {
    Parsed why = Parsed::whole;
    record = Record{bytes[at++], 0, nullptr, 0, 0};
    uint32_t delta = 0;
    if (!readCount(bytes, at, delta, why)) return why;
    if (delta > UINT32_MAX - frameBefore) return Parsed::damaged;
    record.frame = frameBefore + delta;
    const size_t left = bytes.size() - at;
    switch (record.kind) {
    case stateRecord:
    case stateChangeRecord:
    case dropRecord:
        if (left < 4) return Parsed::cut;
        record.size = readU32(&bytes[at]);
        at += 4;
        if (left - 4 < record.size) return Parsed::cut;
        break;
    case keysRecord:
        if (!readCount(bytes, at, record.size, why)) return why;
        if (record.size == 0 || record.size > 256) return Parsed::damaged;
        if (bytes.size() - at < record.size) return Parsed::cut;
        for (uint32_t i = 1; i < record.size; ++i) {
            if (bytes[at + i] <= bytes[at + i - 1]) return Parsed::damaged;
        }
        break;
    case endRecord: break;
    default: return Parsed::damaged;
    }
    record.payload = bytes.data() + at;
    record.end = at + record.size;
    return Parsed::whole;
}

struct Replay {
    bool playing;
    std::vector<uint8_t> bytes;
    size_t wholeEnd; // the end of the last whole record
    Record next;     // the next record, when there is one (next.end != 0)
    uint32_t frame;  // frames started: key snapshots taken
    uint8_t keys[256];
    std::vector<uint8_t> lastState; // the state last loaded from the recording
};

Replay replay;

bool nextIs(uint8_t kind) {
    return replay.next.end != 0 && replay.next.kind == kind && replay.next.frame == replay.frame;
}

void advance() {
    const size_t at = replay.next.end;
    if (at >= replay.wholeEnd) {
        replay.next = Record{};
        return;
    }
    parseRecord(replay.bytes, at, replay.next.frame, replay.next);
}

void finishReplay() {
    replay.playing = false;
    replay.bytes = {};
    replay.lastState = {};
    frameInputs = hostFrameInputs;
    pauseHoldFrames = 0;
    consolePrintf("Replay ended at frame %u\n", replay.frame);
}

void loadNextState() {
    std::vector<uint8_t>& state = replay.lastState;
    if (replay.next.kind == stateRecord) {
        state.assign(replay.next.payload, replay.next.payload + replay.next.size);
    } else {
        applyStateChanges(replay.next.payload, replay.next.size, state.data(), state.size(), true);
    }
    std::string error;
    if (!loadMachineState(state.data(), state.size(), error))
        host.fatalError(("Can't replay: a recorded state is refused: " + error).c_str());
    advance();
}

// As a frame's controls start: a state of an earlier frame that no loader
// asked for is loaded late; then the recording ends here or brings a drop for
// this frame. A drop of the host's own waits for no one: it is let go.
void replayFrameStarting() {
    while (replay.next.end != 0 && isState(replay.next.kind) && replay.next.frame < replay.frame)
        loadNextState();
    if (replay.next.end == 0 ||
        (replay.next.kind == endRecord && replay.next.frame <= replay.frame)) {
        finishReplay();
        return;
    }
    if (dropPending) {
        dropPending = false;
        consolePrintf("Dropped file ignored: a replay is playing\n");
    }
    if (nextIs(dropRecord)) {
        dropPending = true;
        dropPath[0] = '\0';
    }
}

bool replayDrop(const char*) {
    if (!nextIs(dropRecord)) return false;
    loadRomSetBytes(replay.next.payload, replay.next.size);
    advance();
    return true;
}

void replayKeySnapshot() {
    if (nextIs(keysRecord)) {
        for (uint32_t i = 0; i < replay.next.size; ++i)
            replay.keys[replay.next.payload[i]] ^= keyDownBit;
        advance();
    }
    std::memcpy(keysNow, replay.keys, sizeof keysNow);
    ++replay.frame;
}

// What a check of the records found.
struct RecordsFound {
    size_t wholeEnd; // the end of the last whole record
    uint32_t frames; // the frames a replay plays
    bool ended;      // the last record is the end
};

// The whole records, in order: in each frame the states, the drop, the keys;
// the end only last. The changes of a state stay within the state before.
bool checkRecords(const std::vector<uint8_t>& bytes, RecordsFound& found, std::string& error) {
    size_t at = headerBytes;
    uint32_t frame = 0;
    int stage = 0; // in this frame: 0 states so far, 1 after the drop, 2 after the keys
    Record record{};
    size_t stateSize = 0; // of the last state, 0 before the first
    found = RecordsFound{};
    while (at < bytes.size()) {
        const Parsed parsed = parseRecord(bytes, at, frame, record);
        if (parsed == Parsed::cut) break;
        int recordStage = 0;
        if (record.kind == dropRecord) recordStage = 1;
        if (record.kind == keysRecord) recordStage = 2;
        if (record.kind == endRecord) recordStage = 3;
        if (record.frame != frame) stage = -1;
        const bool misplaced = recordStage < stage || (recordStage == stage && recordStage > 0) ||
                               (record.kind == endRecord && record.end != bytes.size());
        const bool badChanges = parsed == Parsed::whole && record.kind == stateChangeRecord &&
                                (stateSize == 0 || !applyStateChanges(record.payload, record.size,
                                                                      nullptr, stateSize, false));
        if (parsed == Parsed::damaged || misplaced || badChanges) {
            error = "damaged (at byte " + std::to_string(at) + ")";
            return false;
        }
        if (record.kind == stateRecord) stateSize = record.size;
        frame = record.frame;
        stage = recordStage;
        // A drop or keys change the frame after theirs, which the replay
        // plays; it stops before the frame after a state or the end.
        found.frames = record.kind == dropRecord || record.kind == keysRecord ? frame + 1 : frame;
        found.ended = record.kind == endRecord;
        at = record.end;
    }
    found.wholeEnd = at;
    return true;
}

} // namespace

void startRecording(RecordingSink sink) {
    recorder.on = true;
    recorder.sink = sink;
    recorder.frame = recorder.lastFrame = 0;
    recorder.lastState.clear();
    std::memset(recorder.keys, 0, sizeof recorder.keys);
    std::vector<uint8_t>& header = recorder.record;
    header.assign(recordingMagic, recordingMagic + sizeof recordingMagic);
    putU16(header, recordingFormat);
    putU8(header, tiaBoard.boardModel);
    putU64(header, tiaBoard.romSetHash);
    writeRecord();
    frameInputs.loadDroppedSet = loadAndRecordDrop;
    frameInputs.snapshotKeys = recordKeySnapshot;
}

void endRecording() {
    if (!recorder.on) return;
    beginRecord(endRecord);
    writeRecord();
    recorder.on = false;
    frameInputs = hostFrameInputs;
}

// A state of the last one's size is written as its changes when they are
// smaller: a rewind's states differ in a few hundred bytes.
void noteStateLoad(const uint8_t* data, size_t size) {
    if (!recorder.on) return;
    std::vector<uint8_t>& changes = recorder.changes;
    changes.clear();
    if (recorder.lastState.size() == size)
        putStateChanges(changes, recorder.lastState.data(), data, size);
    if (recorder.lastState.size() == size && changes.size() < size) {
        writeBlobRecord(stateChangeRecord, changes.data(), changes.size());
    } else {
        writeBlobRecord(stateRecord, data, size);
    }
    recorder.lastState.assign(data, data + size);
}

bool startReplay(std::vector<uint8_t> recording, std::string& error) {
    const std::vector<uint8_t>& bytes = recording;
    if (bytes.size() < headerBytes ||
        std::memcmp(bytes.data(), recordingMagic, sizeof recordingMagic) != 0) {
        error = "not a Korvalo recording";
        return false;
    }
    const uint16_t format = uint16_t(bytes[formatOffset] | bytes[formatOffset + 1] << 8);
    if (format > recordingFormat) {
        error = "made by a newer Korvalo (format " + std::to_string(format) + ")";
        return false;
    }
    uint64_t hash = 0;
    for (int i = 7; i >= 0; --i)
        hash = hash << 8 | bytes[hashOffset + size_t(i)];
    if (format == 0 || bytes[modelOffset] > tiaMc2) {
        error =
            "damaged (at byte " + std::to_string(format == 0 ? formatOffset : modelOffset) + ")";
        return false;
    }
    if (hash != tiaBoard.romSetHash || bytes[modelOffset] != tiaBoard.boardModel) {
        error = "recorded with another ROM set";
        return false;
    }
    RecordsFound found;
    if (!checkRecords(bytes, found, error)) return false;
    replay = Replay{};
    replay.bytes = std::move(recording);
    replay.wholeEnd = found.wholeEnd;
    replay.playing = true;
    replay.next.end = headerBytes;
    replay.next.frame = 0;
    advance();
    // The states loaded before the first frame: the one the run started from.
    while (nextIs(stateRecord) || nextIs(stateChangeRecord))
        loadNextState();
    frameInputs = FrameInputs{replayFrameStarting, replayDrop, replayKeySnapshot};
    consolePrintf(found.ended ? "Replaying %u frames\n"
                              : "Replaying %u frames (the recording was cut off there)\n",
                  found.frames);
    return true;
}

bool replayPlaying() { return replay.playing; }

bool loadRecordedState() {
    if (!replay.playing || !(nextIs(stateRecord) || nextIs(stateChangeRecord))) return false;
    loadNextState();
    return true;
}
