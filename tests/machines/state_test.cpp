// The machine's save state: round trips on every ROM set the build makes and
// on a processor that a frame left inside a chain of prefixes, the growth the
// format allows, and states that are refused without touching the machine.
#include "tiamc_fixture.h"

#include "host/keycodes.h"
#include "machines/tiamc/crc32.h"
#include "machines/tiamc/rewind.h"
#include "machines/tiamc/state.h"

#include <zlib.h>

#include <functional>
#include <set>

namespace {

const std::string romDir = KORVALO_ROM_DIR;
const char* const ownSets[] = {"KorvaloDemo1.tia", "KorvaloAnalog.tia", "KorvaloDemo2.tia",
                               "KorvaloSelfTest.tia", "KorvaloSelfTest2.tia"};

// The state's layout, as state.h describes it.
constexpr size_t formatOffset = 8;
constexpr size_t modelOffset = 14;
constexpr size_t headerBytes = 23;
constexpr size_t corePayload = headerBytes + 8;

template <typename T> uint64_t digest(const std::vector<T>& data) {
    uint64_t hash = 0xCBF29CE484222325;
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    for (size_t i = 0; i < data.size() * sizeof(T); ++i)
        hash = (hash ^ bytes[i]) * 0x100000001B3;
    return hash;
}

// Keys held over frames first..last (frames count from 1), and the frames
// before which Pause is pressed. Frame 100 is a save point: Space and F11 are
// held across it, and Pause still has two snapshots to show down in.
struct HeldKey {
    uint8_t key;
    int first, last;
};
constexpr HeldKey keyScript[] = {
    {enterKey, 20, 22},       {rightArrowKey, 40, 75}, {spaceKey, 45, 46},
    {spaceKey, 60, 61},       {leftArrowKey, 80, 98},  {leftCtrlKey, 90, 92},
    {spaceKey, 99, 101},      {f11Key, 99, 101},       {upArrowKey, 105, 112},
    {leftArrowKey, 113, 125}, {spaceKey, 115, 116},    {downArrowKey, 126, 130},
};
constexpr int pausePresses[] = {98, 120};

void applyKeys(int frame) {
    for (const HeldKey& k : keyScript)
        liveKeys[k.key] = 0;
    for (const HeldKey& k : keyScript) {
        if (frame >= k.first && frame <= k.last) liveKeys[k.key] = 0x80;
    }
    for (int press : pausePresses) {
        if (frame == press) pressPause();
    }
}

void runFrames(int first, int count) {
    for (int frame = first; frame < first + count; ++frame) {
        applyKeys(frame);
        runTiaFrame();
    }
}

// Each frame's picture and state, and the state after the last.
struct Recording {
    std::vector<uint64_t> pictures;
    std::vector<uint64_t> states;
    std::vector<uint8_t> finalState;
};

Recording record(int first, int count) {
    Recording r;
    std::vector<uint32_t> picture(512 * 256);
    for (int frame = first; frame < first + count; ++frame) {
        applyKeys(frame);
        runTiaFrame();
        renderFrame(picture.data(), 512);
        r.pictures.push_back(digest(picture));
        r.states.push_back(digest(saveMachineState()));
    }
    r.finalState = saveMachineState();
    return r;
}

// Everything a load could change, byte for byte.
std::vector<uint8_t> machineImage() {
    std::vector<uint8_t> image;
    const auto add = [&image](const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        image.insert(image.end(), bytes, bytes + size);
    };
    add(&tiaBoard, sizeof tiaBoard);
    add(&cpuCore, sizeof cpuCore);
    add(keysNow, sizeof keysNow);
    add(keysPrev, sizeof keysPrev);
    image.push_back(pauseHoldFrames);
    return image;
}

bool loadState(const std::vector<uint8_t>& state, std::string& error) {
    return loadMachineState(state.data(), state.size(), error);
}

// A state taken apart into its sections, edited and put back together
// with its length and CRC made right.
struct Section {
    std::string tag;
    std::vector<uint8_t> payload;
};

std::vector<uint8_t> rebuilt(const std::vector<uint8_t>& state,
                             const std::function<void(std::vector<Section>&)>& edit) {
    std::vector<Section> sections;
    for (size_t at = headerBytes; at + 4 < state.size();) {
        const size_t length =
            state[at + 4] | state[at + 5] << 8 | state[at + 6] << 16 | size_t(state[at + 7]) << 24;
        const auto payload = state.begin() + long(at + 8);
        sections.push_back({std::string(state.begin() + long(at), state.begin() + long(at + 4)),
                            std::vector<uint8_t>(payload, payload + long(length))});
        at += 8 + length;
    }
    edit(sections);
    std::vector<uint8_t> out(state.begin(), state.begin() + headerBytes);
    for (const Section& s : sections) {
        out.insert(out.end(), s.tag.begin(), s.tag.end());
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(uint8_t(s.payload.size() >> shift));
        out.insert(out.end(), s.payload.begin(), s.payload.end());
    }
    out.resize(out.size() + 4);
    sealMachineState(out);
    return out;
}

Section& sectionNamed(std::vector<Section>& sections, const std::string& tag) {
    for (Section& s : sections) {
        if (s.tag == tag) return s;
    }
    throw std::logic_error("no section " + tag);
}

std::vector<uint8_t> resealed(std::vector<uint8_t> state, size_t offset, uint8_t value) {
    state[offset] = value;
    sealMachineState(state);
    return state;
}

class StateTest : public TiaTest {
  protected:
    void startOwnSet(const std::string& name) {
        SetUp();
        startTiaMachine((romDir + "/" + name).c_str());
    }

    // Alternating DD and FD prefixes fill 0x0100-0xBFFF, entered with
    // interrupts on: a pilot run finds the byte at which the last of `frames`
    // frames stops inside the chain. The set returned ends the chain right
    // there with lastPrefix and INC HL (INC IX or INC IY) before a JR to
    // itself, so the phase alone decides which register the first
    // instruction after the save point counts up.
    std::string prefixChainSet(int frames, uint8_t lastPrefix) {
        Z80Emitter z;
        z.ldSp(0xFF00).im1().ei().jp("chain");
        z.org(0x38).ldAMem(0xC100).incA().ldMemA(0xC100).ei().reti();
        z.org(0x100).label("chain");
        std::vector<uint8_t> image = z.image();
        for (uint32_t a = 0x100; a < 0xC000; ++a)
            image[a] = a & 1 ? 0xFD : 0xDD;
        RomSetBuilder set(RomModel::tiaMc1);
        set.programImage(image);
        SetUp();
        start(set);
        runFrames(1, frames);
        const uint16_t stop = cpuCore.PC;
        image[stop - 1] = lastPrefix;
        image[stop] = 0x23;
        image[stop + 1] = 0x18;
        image[stop + 2] = 0xFE;
        set.programImage(image);
        return writeTemp(set.build(), "chain" + std::to_string(lastPrefix));
    }
};

TEST_F(StateTest, RoundTripReplaysTheSameFramesOnEverySet) {
    struct RoundTrip {
        std::string name;
        int framesBefore;
        int framesAfter;
        uint8_t lastPrefix; // 0: one of the build's sets, named by name
    };
    std::vector<RoundTrip> trips;
    for (const char* set : ownSets)
        trips.push_back({set, 100, 40, 0});
    trips.push_back({"prefix chain ending in DD", 2, 4, 0xDD});
    trips.push_back({"prefix chain ending in FD", 2, 4, 0xFD});

    for (const RoundTrip& trip : trips) {
        SCOPED_TRACE(trip.name);
        const std::string path = trip.lastPrefix
                                     ? prefixChainSet(trip.framesBefore, trip.lastPrefix)
                                     : romDir + "/" + trip.name;
        SetUp();
        startTiaMachine(path.c_str());
        runFrames(1, trip.framesBefore);
        if (trip.lastPrefix) {
            ASSERT_EQ(cpuCore.stepFn, decodeIndexed);
            ASSERT_EQ(cpuCore.indexReg, trip.lastPrefix == 0xDD ? &cpuCore.IX : &cpuCore.IY);
        }
        const std::vector<uint8_t> saved = saveMachineState();
        ASSERT_FALSE(saved.empty());
        const Recording original = record(trip.framesBefore + 1, trip.framesAfter);

        std::string error;
        ASSERT_TRUE(loadState(saved, error)) << error;
        EXPECT_TRUE(saveMachineState() == saved);
        const Recording inPlace = record(trip.framesBefore + 1, trip.framesAfter);
        EXPECT_EQ(inPlace.pictures, original.pictures);
        EXPECT_EQ(inPlace.states, original.states);
        EXPECT_TRUE(inPlace.finalState == original.finalState);

        SetUp();
        startTiaMachine(path.c_str());
        ASSERT_TRUE(loadState(saved, error)) << error;
        const Recording fresh = record(trip.framesBefore + 1, trip.framesAfter);
        EXPECT_EQ(fresh.pictures, original.pictures);
        EXPECT_EQ(fresh.states, original.states);
        EXPECT_TRUE(fresh.finalState == original.finalState);
    }
}

TEST_F(StateTest, LaterGrowthIsReadAndTheRestSkipped) {
    startOwnSet("KorvaloDemo1.tia");
    runFrames(1, 60);
    const std::vector<uint8_t> good = saveMachineState();
    runFrames(61, 20);
    const std::vector<uint8_t> later = saveMachineState();
    ASSERT_TRUE(later != good);

    struct Growth {
        const char* name;
        std::function<void(std::vector<Section>&)> edit;
    };
    const Growth growths[] = {
        {"unknown section last",
         [](auto& s) {
             s.push_back({"NOTE", {1, 2, 3, 4, 5}});
         }},
        {"unknown section first",
         [](auto& s) {
             s.insert(s.begin(), {"ZZZZ", {}});
         }},
        {"longer core", [](auto& s) { sectionNamed(s, "CORE").payload.resize(40, 0xAA); }},
        {"longer board", [](auto& s) { sectionNamed(s, "BORD").payload.resize(27000, 0x55); }},
        {"longer keys", [](auto& s) { sectionNamed(s, "KEYS").payload.push_back(7); }},
        {"sections in reverse", [](auto& s) { std::reverse(s.begin(), s.end()); }},
    };
    for (const Growth& g : growths) {
        SCOPED_TRACE(g.name);
        std::string error;
        ASSERT_TRUE(loadState(later, error)) << error;
        const std::vector<uint8_t> grown = rebuilt(good, g.edit);
        ASSERT_NE(grown, good);
        EXPECT_TRUE(loadState(grown, error)) << error;
        EXPECT_TRUE(saveMachineState() == good);
    }
}

TEST_F(StateTest, RefusedStatesLeaveTheMachineUntouched) {
    startOwnSet("KorvaloDemo2.tia");
    runFrames(1, 30);
    const std::vector<uint8_t> tiaMc2State = saveMachineState();
    startOwnSet("KorvaloAnalog.tia");
    runFrames(1, 30);
    const std::vector<uint8_t> analogState = saveMachineState();
    startOwnSet("KorvaloDemo1.tia");
    runFrames(1, 40);
    const std::vector<uint8_t> good = saveMachineState();
    runFrames(41, 10);

    const auto cut = [&good](size_t size) {
        return std::vector<uint8_t>(good.begin(), good.begin() + long(size));
    };
    const auto coreByte = [&good](size_t index, uint8_t value) {
        return rebuilt(good, [=](auto& s) { sectionNamed(s, "CORE").payload[index] = value; });
    };
    std::vector<uint8_t> flippedRam = good, flippedCrc = good, longer = good, sectionCut = good;
    flippedRam[corePayload + 34 + 8 + 100] ^= 0x10;
    flippedCrc.back() ^= 1;
    longer.push_back(0);
    sectionCut.insert(sectionCut.end() - 4, {'K', 'E', 'Y'});
    sealMachineState(sectionCut);

    struct Refusal {
        const char* name;
        std::vector<uint8_t> state;
        std::string error;
    };
    const Refusal refusals[] = {
        {"empty", cut(0), "truncated"},
        {"cut in the magic", cut(5), "truncated"},
        {"cut in the header", cut(17), "truncated"},
        {"cut in the board", cut(good.size() / 2), "truncated"},
        {"cut in the CRC", cut(good.size() - 1), "truncated"},
        {"a byte more", longer, "damaged (wrong length)"},
        {"other magic", resealed(good, 3, 'X'), "not a Korvalo state"},
        {"format 0", resealed(good, formatOffset, 0), "not a Korvalo state"},
        {"format 2", resealed(good, formatOffset, 2), "made by a newer Korvalo (format 2)"},
        {"format 258", resealed(resealed(good, formatOffset, 2), formatOffset + 1, 1),
         "made by a newer Korvalo (format 258)"},
        {"a bit flipped in the RAM", flippedRam, "damaged (CRC mismatch)"},
        {"a bit flipped in the CRC", flippedCrc, "damaged (CRC mismatch)"},
        {"the analog set's state", analogState, "made for another ROM set"},
        {"another hash", resealed(good, modelOffset + 8, good[modelOffset + 8] ^ 1),
         "made for another ROM set"},
        {"a TIA-MC-2 state", tiaMc2State, "made for the TIA-MC-2"},
        {"model 7", resealed(good, modelOffset, 7), "made for another board"},
        {"core length past the end", resealed(good, headerBytes + 7, 0x7F),
         "a section length is wrong"},
        {"core length a byte short", resealed(good, headerBytes + 4, 33),
         "a section length is wrong"},
        {"core section a byte short",
         rebuilt(good, [](auto& s) { sectionNamed(s, "CORE").payload.pop_back(); }),
         "a section length is wrong"},
        {"a section header cut by the CRC", sectionCut, "a section length is wrong"},
        {"no keys section", rebuilt(good, [](auto& s) { s.erase(s.begin() + 2); }),
         "a section is missing"},
        {"core section twice", rebuilt(good, [](auto& s) { s.push_back(sectionNamed(s, "CORE")); }),
         "a section is repeated"},
        {"phase 3", coreByte(29, 3), "a value is out of range"},
        {"interrupt mode 4", coreByte(28, 4), "a value is out of range"},
        {"iff bit 0", coreByte(27, 7), "a value is out of range"},
        {"R7 low bits", coreByte(26, 0x81), "a value is out of range"},
        {"budget above 0", coreByte(33, 0), "a value is out of range"},
        {"budget overdrawn far past an instruction", coreByte(33, 0xF5), "a value is out of range"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        const std::vector<uint8_t> before = machineImage();
        std::string error;
        EXPECT_FALSE(loadState(r.state, error));
        EXPECT_EQ(error, r.error);
        EXPECT_TRUE(machineImage() == before);
    }
    // The same comparison sees an accepted state.
    const std::vector<uint8_t> before = machineImage();
    std::string error;
    ASSERT_TRUE(loadState(good, error)) << error;
    EXPECT_FALSE(machineImage() == before);
}

TEST_F(StateTest, RomSetHashNamesTheWholeFile) {
    std::set<uint64_t> hashes;
    for (const char* name : ownSets) {
        startOwnSet(name);
        const uint64_t hash = tiaBoard.romSetHash;
        startOwnSet(name);
        EXPECT_EQ(tiaBoard.romSetHash, hash) << name;
        hashes.insert(hash);
    }
    EXPECT_EQ(hashes.size(), std::size(ownSets));

    RomSetBuilder set(RomModel::tiaMc1);
    std::vector<uint8_t> file = set.build();
    load(set);
    const uint64_t plain = tiaBoard.romSetHash;
    file.back() ^= 1;
    ASSERT_TRUE(loadRomSet(writeTemp(file, "changed").c_str()));
    EXPECT_NE(tiaBoard.romSetHash, plain);
    file.back() ^= 1;
    file.push_back(0); // past what the loader reads
    ASSERT_TRUE(loadRomSet(writeTemp(file, "longer").c_str()));
    EXPECT_NE(tiaBoard.romSetHash, plain);
}

// The state's own CRC-32 is zlib's, at every length and alignment the
// eight-byte steps meet.
TEST(StateCrc, SameAsZlibsAtEveryLengthAndAlignment) {
    std::vector<uint8_t> bytes(300);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 37 + (i >> 3));
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t size = 0; size + offset <= bytes.size(); size += 7) {
            EXPECT_EQ(crc32Of(bytes.data() + offset, size),
                      crc32(0, bytes.data() + offset, uInt(size)))
                << offset << " " << size;
        }
    }
}

TEST_F(StateTest, NothingToSaveOrLoadBeforeASetIsStarted) {
    startOwnSet("KorvaloDemo1.tia");
    const std::vector<uint8_t> state = saveMachineState();
    SetUp();
    EXPECT_TRUE(saveMachineState().empty());
    std::string error;
    EXPECT_FALSE(loadState(state, error));
    EXPECT_EQ(error, "no game is running");
}

// The rewind ring. A first run records the picture of every frame (frame 0:
// the machine as started). A second run plays the same keys up to `before`,
// then holds Backspace over `held` key snapshots: the frame that first sees
// it runs, each later one must show the picture before the one shown last,
// down to the oldest state the ring kept, which stays. Once Backspace is up
// the game goes on from the moment shown, with the keys the first run had
// from there, through the first run's pictures.
TEST_F(StateTest, RewindGoesBackThroughThePicturesAndPlaysOnFromThere) {
    struct Row {
        const char* name;
        const char* set;
        int before, held, after;
        uint32_t frameLimit;
        size_t memoryLimit;
    };
    constexpr size_t plenty = size_t(64) << 20;
    const Row rows[] = {
        {"a second back", "KorvaloDemo1.tia", 130, 60, 40, 1800, plenty},
        {"back past the first frame", "KorvaloDemo1.tia", 40, 70, 40, 1800, plenty},
        {"a ring of 25 frames", "KorvaloDemo1.tia", 130, 50, 40, 25, plenty},
        {"a ring of 80 KB", "KorvaloDemo1.tia", 130, 100, 40, 1800, size_t(80) << 10},
        {"TIA-MC-2", "KorvaloDemo2.tia", 120, 50, 40, 1800, plenty},
        {"analog control", "KorvaloAnalog.tia", 110, 30, 40, 1800, plenty},
        {"Left and Pause while rewinding", "KorvaloAnalog.tia", 110, 10, 40, 1800, plenty},
    };
    std::vector<uint32_t> picture(512 * 256);
    const auto shown = [&picture] {
        renderFrame(picture.data(), 512);
        return digest(picture);
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        rewindFrameLimit = row.frameLimit;
        rewindMemoryLimit = row.memoryLimit;
        startOwnSet(row.set);
        std::vector<uint64_t> first = {shown()};
        for (int frame = 1; frame <= row.before + 1 + row.after; ++frame) {
            applyKeys(frame);
            runTiaFrame();
            first.push_back(shown());
        }

        startOwnSet(row.set);
        for (int frame = 1; frame <= row.before + 1; ++frame) {
            applyKeys(frame);
            liveKeys[backspaceKey] = frame == row.before + 1 ? 0x80 : 0;
            runTiaFrame();
            ASSERT_EQ(shown(), first[size_t(frame)]) << "frame " << frame;
        }
        int oldest = 0;
        for (int step = 1; step <= row.held; ++step) {
            applyKeys(row.before + 1 + step); // the game's keys held too: not its frames
            liveKeys[backspaceKey] = step < row.held ? 0x80 : 0;
            runTiaFrame();
            if (step == 1) oldest = row.before + 1 - int(rewindStateCount());
            const int moment = std::max(row.before + 1 - step, oldest);
            ASSERT_EQ(shown(), first[size_t(moment)]) << "rewind step " << step;
            ASSERT_LE(rewindMemoryBytes(), row.memoryLimit);
        }
        if (row.memoryLimit == plenty) {
            EXPECT_EQ(oldest, std::max(0, row.before + 1 - int(row.frameLimit)));
        } else {
            EXPECT_GT(oldest, 0); // the memory, not the frames, set the depth
        }
        const int moment = std::max(row.before + 1 - row.held, oldest);
        for (int frame = moment + 1; frame <= moment + row.after; ++frame) {
            applyKeys(frame);
            runTiaFrame();
            ASSERT_EQ(shown(), first[size_t(frame)]) << "frame " << frame << " played on";
        }
    }
    rewindFrameLimit = 1800;
    rewindMemoryLimit = plenty;
    clearRewind();
}

} // namespace
