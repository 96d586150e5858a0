// Hostile and broken inputs through the real program: each row runs
// `korvalo --headless` in a fresh working directory and checks the exact
// console output, the exit status, and that nothing on disk changed except
// the files the row expects to appear.
#include "platforms/common/version.h"
#include "tests/badinput/dir_snapshot.h"
#include "tests/badinput/read_only_dir.h"
#include "tests/support/rom_set_builder.h"
#include "tests/support/shell_run.h"
#include "tests/support/z80_emitter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string banner = std::string("Korvalo ") + programVersion + " (TIA-MC-Mode)\n";
const std::string fatalOpen = "System Error! Can't open file!\n";

enum class WorkDir { writable, readOnly };

struct BadInputRow {
    std::string name;
    std::function<void(const fs::path&)> prepare; // lays out the working directory
    std::string arguments;
    int exitCode;
    std::string out;
    std::string err; // exact, or with errPrefixOnly the start of it
    std::set<std::string> created = {};
    WorkDir workDir = WorkDir::writable;
    bool errPrefixOnly = false;
};

// A game that runs for ever: it paints palette entry 0 in a loop.
void PrintTo(const BadInputRow& row, std::ostream* out) { *out << row.name; }

std::vector<uint8_t> gameSet(RomModel model) {
    Z80Emitter z;
    z.di().label("loop").ldA(0x38).outA(model == RomModel::tiaMc2 ? 0xE0 : 0xA0).jr("loop");
    return RomSetBuilder(model).programImage(z.image()).build();
}

void saveGame(const fs::path& dir) {
    writeFile((dir / "game.tia").string(), gameSet(RomModel::tiaMc1));
}

std::function<void(const fs::path&)> romOfSize(RomModel model, size_t size) {
    return [model, size](const fs::path& dir) {
        std::vector<uint8_t> bytes = gameSet(model);
        bytes.resize(size, 0xAB);
        writeFile((dir / "set.tia").string(), bytes);
    };
}

void saveScreenshots0to4(const fs::path& dir) {
    saveGame(dir);
    for (int i = 0; i < 5; ++i)
        std::ofstream(dir / ("ScreenShot_00" + std::to_string(i) + ".png")) << "earlier shot " << i;
}

void makeFifo(const fs::path& path) {
    if (mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo " + path.string());
}

// The first set fills the work RAM 0xE000-0xFFFF with DD prefixes (the
// TIA-MC-1 loader keeps that RAM), the dropped one is DD from 0x0000 to
// 0xDFFF: after the drop the processor runs one endless chain of prefixes,
// and the frames must still end on time.
void saveEndlessPrefixChain(const fs::path& dir) {
    Z80Emitter fill;
    fill.ldHl(0xE000).op({0x36, 0xDD, 0x11, 0x01, 0xE0, 0x01, 0xFF, 0x1F, 0xED, 0xB0});
    fill.label("idle").jr("idle");
    writeFile((dir / "fill.tia").string(),
              RomSetBuilder(RomModel::tiaMc1).programImage(fill.image()).build());
    writeFile(
        (dir / "chain.tia").string(),
        RomSetBuilder(RomModel::tiaMc1).programImage(std::vector<uint8_t>(0x10000, 0xDD)).build());
}

// A recording for the set's bytes: the header (model 0, the whole file's
// FNV-1a hash), then the records as given.
std::vector<uint8_t> recordingFor(const std::vector<uint8_t>& set, std::vector<uint8_t> records,
                                  uint16_t format = 1) {
    uint64_t hash = 0xCBF29CE484222325;
    for (uint8_t byte : set)
        hash = (hash ^ byte) * 0x100000001B3;
    std::vector<uint8_t> out = {
        'K', 'O', 'R', 'V', 'R', 'E', 'C', 'D', uint8_t(format), uint8_t(format >> 8), 0};
    for (int shift = 0; shift < 64; shift += 8)
        out.push_back(uint8_t(hash >> shift));
    out.insert(out.end(), records.begin(), records.end());
    return out;
}

// The game and rec.kvr beside it.
std::function<void(const fs::path&)> gameAndRecording(std::vector<uint8_t> recording) {
    return [recording](const fs::path& dir) {
        saveGame(dir);
        writeFile((dir / "rec.kvr").string(), recording);
    };
}

// The game, and a state file made by the program itself: the state after
// frame 2 of the set `from` (model, program seed), cut to `keep` bytes when
// keep is not 0.
std::function<void(const fs::path&)> gameAndState(RomModel model, uint8_t seed, size_t keep = 0) {
    return [model, seed, keep](const fs::path& dir) {
        saveGame(dir);
        Z80Emitter z;
        z.di().label("loop").ldA(seed).outA(model == RomModel::tiaMc2 ? 0xE0 : 0xA0).jr("loop");
        writeFile((dir / "from.tia").string(),
                  RomSetBuilder(model).programImage(z.image()).build());
        const std::string made =
            "cd " + quoted(dir) +
            " && '" KORVALO_PROGRAM
            "' --headless --frames 2 --save-state 2:s.state from.tia >/dev/null";
        if (runShellCommand(made) != 0) throw std::runtime_error("no state made: " + made);
        fs::remove(dir / "from.tia");
        if (keep) fs::resize_file(dir / "s.state", keep);
    };
}

void blockScreenshot0(const fs::path& dir) {
    saveGame(dir);
    fs::create_directory(dir / "ScreenShot_000.png");
    std::ofstream(dir / "ScreenShot_000.png" / "inside.txt") << "kept";
}

std::vector<BadInputRow> rows() {
    const std::string longRom(5000, 'r');
    const std::string longDrop(1200, 'd');
    const std::string gameModel = banner + "Model: TIA-MC-1\n";
    const std::vector<uint8_t> game = gameSet(RomModel::tiaMc1);
    // Space down before frame 6, up before frame 8.
    const std::vector<uint8_t> spaceTapped = {'K', 5, 1, 0x39, 'K', 2, 1, 0x39};
    std::vector<uint8_t> cutInADrop = spaceTapped;
    cutInADrop.insert(cutInADrop.end(), {'D', 3, 0xE8, 0x03, 0, 0, 1, 2, 3});
    std::vector<uint8_t> unknownKind = spaceTapped;
    unknownKind.insert(unknownKind.end(), {'Z', 0});
    const std::string refused = "System Error! Can't replay: ";
    return {
        {"MissingRomSet", [](const fs::path&) {}, "--frames 3 Derev.tia", 1, banner, fatalOpen},
        {"EmptyFile", romOfSize(RomModel::tiaMc1, 0), "--frames 3 set.tia", 0, gameModel, ""},
        {"OneByte", romOfSize(RomModel::tiaMc1, 1), "--frames 3 set.tia", 0, gameModel, ""},
        {"OneByteShortTiaMc2", romOfSize(RomModel::tiaMc2, romSetBytes - 1), "--frames 3 set.tia",
         0, banner + "Model: TIA-MC-2\n", ""},
        {"OneByteOver", romOfSize(RomModel::tiaMc1, romSetBytes + 1), "--frames 3 set.tia", 0,
         gameModel, ""},
        {"TenMegabytes", romOfSize(RomModel::tiaMc1, 10u << 20), "--frames 3 set.tia", 0, gameModel,
         ""},
        {"DirectoryAsRomSet", [](const fs::path& d) { fs::create_directory(d / "set.tia"); },
         "--frames 3 set.tia", 1, banner, fatalOpen},
        // Opening a named pipe for reading waits for a writer: refused instead.
        {"NamedPipeAsRomSet", [](const fs::path& d) { makeFifo(d / "set.tia"); },
         "--frames 3 set.tia", 1, banner, fatalOpen},
        // A terminal or another character device, named directly or through a
        // link, is no ROM set either: reading one may wait for input for ever
        // (/dev/zero stands in here because it answers at once, so a program
        // that read it would load a set of zeros instead of refusing it).
        {"CharacterDeviceAsRomSet",
         [](const fs::path& d) { fs::create_symlink("/dev/zero", d / "set.tia"); },
         "--frames 3 set.tia", 1, banner, fatalOpen},
        {"LinkToARomSet",
         [](const fs::path& d) {
             saveGame(d);
             fs::create_symlink("game.tia", d / "set.tia");
         },
         "--frames 3 set.tia", 0, gameModel, ""},
        {"RomPathOf5000Characters", [](const fs::path&) {}, "--frames 3 " + longRom, 1, banner,
         fatalOpen},
        {"DroppedPathMissing", saveGame, "--frames 5 game.tia --drop 2:nosuch.tia", 0,
         gameModel + "Drag & Drop file\nCan't open file!\n", ""},
        {"DroppedDirectory",
         [](const fs::path& d) {
             saveGame(d);
             fs::create_directory(d / "folder.tia");
         },
         "--frames 5 game.tia --drop 2:folder.tia", 0,
         gameModel + "Drag & Drop file\nCan't open file!\n", ""},
        {"DroppedNamedPipe",
         [](const fs::path& d) {
             saveGame(d);
             makeFifo(d / "pipe.tia");
         },
         "--frames 5 game.tia --drop 2:pipe.tia", 0,
         gameModel + "Drag & Drop file\nCan't open file!\n", ""},
        {"DroppedCharacterDevice", saveGame, "--frames 5 game.tia --drop 2:/dev/null", 0,
         gameModel + "Drag & Drop file\nCan't open file!\n", ""},
        {"DroppedPathOf1200Characters", saveGame, "--frames 5 game.tia --drop 2:" + longDrop, 0,
         gameModel + "Dropped file ignored: its path has 1200 characters, at most 999 fit\n", ""},
        {"ScreenshotsNeverOverwrite",
         saveScreenshots0to4,
         "--frames 4 game.tia --screenshot 2,3",
         0,
         gameModel + "Saving ScreenShot_005.png\nSaving ScreenShot_006.png\n",
         "",
         {"ScreenShot_005.png", "ScreenShot_006.png"}},
        {"DirectoryInTheScreenshotsWay",
         blockScreenshot0,
         "--frames 4 game.tia --screenshot 2",
         0,
         gameModel + "Saving ScreenShot_001.png\n",
         "",
         {"ScreenShot_001.png"}},
        {"ReadOnlyWorkingDirectory",
         saveGame,
         "--frames 4 game.tia --screenshot 2,3",
         0,
         gameModel + "Can't save ScreenShot_000.png\nCan't save ScreenShot_000.png\n",
         "",
         {},
         WorkDir::readOnly},
        {"EndlessPrefixChainAfterADrop", saveEndlessPrefixChain,
         "--frames 14 fill.tia --drop 8:chain.tia", 0,
         gameModel + "Drag & Drop file\nModel: TIA-MC-1\n", ""},
        {"UnknownKeyName",
         saveGame,
         "--frames 5 game.tia --keys 3:down:Spacebar",
         2,
         "",
         "korvalo: unknown key \"Spacebar\"",
         {},
         WorkDir::writable,
         true},
        {"ReplayOfAnotherSet", gameAndRecording(recordingFor(gameSet(RomModel::tiaMc2), {})),
         "--frames 5 --replay rec.kvr game.tia", 1, gameModel,
         refused + "recorded with another ROM set\n"},
        {"ReplayOfNoRecording", gameAndRecording({'h', 'e', 'l', 'l', 'o'}),
         "--frames 5 --replay rec.kvr game.tia", 1, gameModel,
         refused + "not a Korvalo recording\n"},
        {"ReplayOfANewerFormat", gameAndRecording(recordingFor(game, spaceTapped, 2)),
         "--frames 5 --replay rec.kvr game.tia", 1, gameModel,
         refused + "made by a newer Korvalo (format 2)\n"},
        {"ReplayOfAnUnknownRecord", gameAndRecording(recordingFor(game, unknownKind)),
         "--frames 5 --replay rec.kvr game.tia", 1, gameModel, refused + "damaged (at byte 27)\n"},
        {"ReplayOfKeysOutOfOrder", gameAndRecording(recordingFor(game, {'K', 5, 2, 0x39, 0x1C})),
         "--frames 5 --replay rec.kvr game.tia", 1, gameModel, refused + "damaged (at byte 19)\n"},
        {"ReplayOfChangesToNoState",
         gameAndRecording(recordingFor(game, {'T', 1, 3, 0, 0, 0, 0, 1, 0xAA})),
         "--frames 5 --replay rec.kvr game.tia", 1, gameModel, refused + "damaged (at byte 19)\n"},
        // A program that dies mid-record leaves it cut: the whole records play.
        {"ReplayCutInADrop", gameAndRecording(recordingFor(game, cutInADrop)),
         "--frames 12 --replay rec.kvr game.tia", 0,
         gameModel + "Replaying 8 frames (the recording was cut off there)\n"
                     "Replay ended at frame 8\n",
         ""},
        {"ReplayMissing", saveGame, "--frames 5 --replay nosuch.kvr game.tia", 2, "",
         "korvalo: can't read the recording \"nosuch.kvr\"\n"},
        {"RecordAndReplayTogether", gameAndRecording(recordingFor(game, {})),
         "--frames 5 --record new.kvr --replay rec.kvr game.tia", 2, "",
         "korvalo: --record and --replay can't be given together\n"},
        {"RecordOverTheRomSet", saveGame, "--frames 5 --record ./game.tia game.tia", 2, "",
         "korvalo: won't write the recording over \"game.tia\"\n"},
        {"LoadStateMissing", saveGame, "--frames 3 game.tia --load-state nosuch.state", 1,
         gameModel,
         "System Error! Can't load state: can't read nosuch.state: No such file or directory\n"},
        {"LoadStateTruncated", gameAndState(RomModel::tiaMc1, 0x38, 1000),
         "--frames 3 game.tia --load-state s.state", 1, gameModel,
         "System Error! Can't load state: truncated\n"},
        // The game paints palette entry 0 with 0x38, the set the state came
        // from with 0x39: one byte apart.
        {"LoadStateOfAnotherSet", gameAndState(RomModel::tiaMc1, 0x39),
         "--frames 3 game.tia --load-state s.state", 1, gameModel,
         "System Error! Can't load state: made for another ROM set\n"},
        {"LoadStateOfTheTiaMc2", gameAndState(RomModel::tiaMc2, 0x38),
         "--frames 3 game.tia --load-state s.state", 1, gameModel,
         "System Error! Can't load state: made for the TIA-MC-2\n"},
        {"LoadStateThatIsAFolder",
         [](const fs::path& d) {
             saveGame(d);
             fs::create_directory(d / "s.state");
         },
         "--frames 3 game.tia --load-state s.state", 1, gameModel,
         "System Error! Can't load state: can't read s.state: not a file\n"},
        {"SaveStateIntoAMissingFolder", saveGame, "--frames 3 game.tia --save-state 2:no/s.state",
         1, gameModel,
         "System Error! Can't save state to no/s.state: can't write in no: No such file or "
         "directory\n"},
        {"SaveStateOverAFolder",
         [](const fs::path& d) {
             saveGame(d);
             fs::create_directory(d / "s.state");
             std::ofstream(d / "s.state" / "inside.txt") << "kept";
         },
         "--frames 3 game.tia --save-state 2:s.state", 1, gameModel,
         "System Error! Can't save state to s.state: can't replace s.state: Is a directory\n"},
        {"SaveStateInAReadOnlyFolder",
         saveGame,
         "--frames 3 game.tia --save-state 2:s.state",
         1,
         gameModel,
         "System Error! Can't save state to s.state: can't write in .: ",
         {},
         WorkDir::readOnly,
         true},
        {"SaveStateWithoutAPath", saveGame, "--frames 3 game.tia --save-state 2", 2, "",
         "korvalo: --save-state wants FRAME:PATH, got \"2\"\n"},
        {"SaveStateAtNoFrame", saveGame, "--frames 3 game.tia --save-state x:s.state", 2, "",
         "korvalo: --save-state wants FRAME:PATH, got \"x:s.state\"\n"},
        {"SaveStateAfterTheLastFrame", saveGame, "--frames 3 game.tia --save-state 4:s.state", 2,
         "", "korvalo: a state to save at frame 4 comes after the last frame, 3\n"},
        {"TwoStatesToLoad", saveGame, "--frames 3 game.tia --load-state a --load-state b", 2, "",
         "korvalo: more than one state to load given: \"b\"\n"},
        {"EmptyStatePath", saveGame, "--frames 3 game.tia --load-state ''", 2, "",
         "korvalo: --load-state wants a file\n"},
        {"BackBufferTooLarge", saveGame, "--frames 5 game.tia --screen 100000x100000", 2, "",
         "korvalo: --screen must be at most 8192x8192\n"},
        {"KeyFramesOutOfOrder",
         saveGame,
         "--frames 5 game.tia --keys 3:down:T,2:up:T",
         2,
         "",
         "korvalo: key event \"2:up:T\" is out of order",
         {},
         WorkDir::writable,
         true},
    };
}

class BadInput : public ::testing::TestWithParam<BadInputRow> {
  protected:
    void SetUp() override {
        root = fs::path(::testing::TempDir()) / ("korvalo_badinput_" + GetParam().name);
        fs::remove_all(root);
        work = root / "work";
        fs::create_directories(work);
    }
    void TearDown() override { fs::remove_all(root); }

    // The program under `timeout`, its console captured outside the working
    // directory.
    std::string programCommand(const std::string& arguments) const {
        return "timeout 60 '" KORVALO_PROGRAM "' --headless " + arguments + " >" +
               quoted(root / "out.txt") + " 2>" + quoted(root / "err.txt");
    }

    int run(const std::string& arguments, ReadOnlyMethod readOnly) {
        const std::string command =
            readOnly == ReadOnlyMethod::none
                ? "cd " + quoted(work) + " && " + programCommand(arguments)
                : readOnlyCommand(readOnly, work, programCommand(arguments), root);
        return runShellCommand(command);
    }

    fs::path root, work;
};

TEST_P(BadInput, GivesItsMessageAndExitStatusAndLeavesTheDiskAlone) {
    const BadInputRow& row = GetParam();
    ReadOnlyMethod readOnly = ReadOnlyMethod::none;
    if (row.workDir == WorkDir::readOnly) {
        readOnly = findReadOnlyMethod(root / "probe");
        if (readOnly == ReadOnlyMethod::none)
            GTEST_SKIP() << "no way to make a directory read-only for this user here";
    }
    row.prepare(work);
    const DirSnapshot before = snapshot(work);
    const int exitCode = run(row.arguments, readOnly);
    const std::string out = readText(root / "out.txt"), err = readText(root / "err.txt");
    EXPECT_EQ(exitCode, row.exitCode) << err;
    EXPECT_EQ(out, row.out);
    if (row.errPrefixOnly) {
        EXPECT_EQ(err.substr(0, row.err.size()), row.err) << err;
    } else {
        EXPECT_EQ(err, row.err);
    }
    const DirChanges changes = compare(before, snapshot(work));
    EXPECT_EQ(changes.changed, std::vector<std::string>{});
    EXPECT_EQ(changes.removed, std::vector<std::string>{});
    EXPECT_EQ(std::set<std::string>(changes.added.begin(), changes.added.end()), row.created);
    for (const std::string& name : row.created)
        EXPECT_TRUE(isPngFile(work / name)) << name;
}

INSTANTIATE_TEST_SUITE_P(Rows, BadInput, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<BadInputRow>& info) {
                             return info.param.name;
                         });

} // namespace
