// Korvalo's own ROM sets played end to end: the korvalo program runs each set
// headless under a key script, and its screenshots must equal the golden
// pictures pixel for pixel. A differing or missing picture is written to the
// build tree's e2e_actual folder for inspection.
#include "golden_png.h"
#include "tests/support/shell_run.h"
#include "tiapack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Shot {
    int frame;
    const char* golden;
};

struct E2eCase {
    const char* name;
    const char* romSet;
    std::vector<const char*> consoleLines; // in the order they must appear
    int frames;
    std::vector<Shot> shots;
};

// Key scripts are tests/e2e/scripts/<name>.keys.
const E2eCase cases[] = {
    {"SelfTest",
     "KorvaloSelfTest.tia",
     {"Model: TIA-MC-1\n", "Screen X-scale = 1.0\n", "Screen X-scale = 1.25\n",
      "Smooth scanlines\n", "Double lines\n"},
     130,
     {{60, "selftest_preset3_black"}, {120, "selftest_preset12_double"}}},
    {"SelfTest2", "KorvaloSelfTest2.tia", {"Model: TIA-MC-2\n"}, 60, {{50, "selftest2"}}},
    {"Demo1",
     "KorvaloDemo1.tia",
     {"Model: TIA-MC-1\n", "Screen X-scale = 1.0\n", "Screen X-scale = 1.25\n",
      "Smooth scanlines\n", "Double lines\n", "Black scanlines\n", "Screen Y-scale = 3.0\n"},
     2050,
     {{100, "demo1_title"},
      {330, "demo1_play"},
      {520, "demo1_preset1_paused"},
      {580, "demo1_preset12_black"},
      {605, "demo1_preset12_smooth_bomb"},
      {1700, "demo1_game_over"},
      {2000, "demo1_restarted"}}},
    {"Analog",
     "KorvaloAnalog.tia",
     {"Model: TIA-MC-1\n"},
     210,
     {{120, "analog_left"}, {200, "analog_right"}}},
    {"Demo2",
     "KorvaloDemo2.tia",
     {"Model: TIA-MC-2\n"},
     1400,
     {{90, "demo2_title_bank1"}, {260, "demo2_paused_bank2"}, {1350, "demo2_game_over_bank3"}}},
};

void PrintTo(const E2eCase& c, std::ostream* os) { *os << c.name; }

std::string shotName(size_t index) {
    std::string number = std::to_string(index);
    if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
    return "ScreenShot_" + number + ".png";
}

class RomSetRun : public ::testing::TestWithParam<E2eCase> {
  protected:
    void SetUp() override {
        // Inside this build tree, so that runs from other build trees never share it.
        dir = fs::path(E2E_WORK_DIR) / GetParam().name;
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    int run(const E2eCase& c) {
        std::string frames;
        for (const Shot& s : c.shots) {
            if (!frames.empty()) frames += ',';
            frames += std::to_string(s.frame);
        }
        const std::string command =
            "cd '" + dir.string() +
            "' && '" KORVALO_PROGRAM "' --headless --rom '" KORVALO_ROM_DIR "/" + c.romSet +
            "' --frames " + std::to_string(c.frames) + " --keys-file '" E2E_SOURCE_DIR "/scripts/" +
            c.name + ".keys' --screenshot " + frames + " >out.txt 2>err.txt";
        return runShellCommand(command);
    }

    void compareShot(size_t index, const Shot& shot) {
        const fs::path actual = dir / shotName(index);
        const fs::path golden =
            fs::path(E2E_SOURCE_DIR) / "golden" / (std::string(shot.golden) + ".png");
        const DecodedPng actualPicture = decodePng(actual.string());
        ASSERT_NE(actualPicture.width, 0u) << "no screenshot at frame " << shot.frame;
        const DecodedPng goldenPicture = decodePng(golden.string());
        std::string difference = goldenPicture.width == 0
                                     ? "no golden picture"
                                     : comparePictures(goldenPicture, actualPicture);
        if (difference.empty()) return;
        const fs::path kept = fs::path(E2E_ACTUAL_DIR) / (std::string(shot.golden) + ".png");
        fs::create_directories(kept.parent_path());
        fs::copy_file(actual, kept, fs::copy_options::overwrite_existing);
        ADD_FAILURE() << shot.golden << " at frame " << shot.frame << ": " << difference
                      << "; the picture taken is " << kept;
    }

    fs::path dir;
};

TEST_P(RomSetRun, ScreenshotsMatchTheGoldenPictures) {
    const E2eCase& c = GetParam();
    ASSERT_EQ(run(c), 0) << readText(dir / "err.txt");
    const std::string out = readText(dir / "out.txt");
    size_t at = 0;
    for (const char* line : c.consoleLines) {
        at = out.find(line, at);
        ASSERT_NE(at, std::string::npos) << "no \"" << line << "\" in order in:\n" << out;
    }
    for (size_t i = 0; i < c.shots.size(); ++i)
        compareShot(i, c.shots[i]);
    EXPECT_FALSE(fs::exists(dir / shotName(c.shots.size()))) << "more screenshots than asked for";
}

// Each installed set has the file size of a ROM set, and its sprite ROM
// checksum tells the board the set was packed for.
TEST(RomSetFiles, SizesAndChecksumsTellTheirBoards) {
    const struct {
        const char* file;
        int checksum; // -1: any value that selects a digital TIA-MC-1 set
    } sets[] = {{"KorvaloDemo1.tia", -1},
                {"KorvaloSelfTest.tia", -1},
                {"KorvaloAnalog.tia", analogChecksum},
                {"KorvaloDemo2.tia", tiaMc2Checksum},
                {"KorvaloSelfTest2.tia", tiaMc2Checksum}};
    for (const auto& set : sets) {
        std::ifstream in(std::string(KORVALO_ROM_DIR "/") + set.file, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        ASSERT_EQ(bytes.size(), romSetBytes) << set.file;
        const uint16_t sum = romChecksum(bytes.data(), spriteRomBytes);
        if (set.checksum >= 0) {
            EXPECT_EQ(sum, set.checksum) << set.file;
        } else {
            EXPECT_NE(sum, analogChecksum) << set.file;
            EXPECT_NE(sum, tiaMc2Checksum) << set.file;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(KorvaloRomSets, RomSetRun, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A run recorded with keys and a drop, then replayed: every frame's picture
// hash is the recorded run's. While the replay plays, keys and a drop of the
// host's own are ignored; once it has ended the host's drop and keys count
// again, exactly as if the recorded run had gone on with them. A run may
// start from a state file and save and load slots and rewind: the replay
// needs neither the file nor the slots, the recording holds what they gave.
struct ReplayCase {
    const char* name;
    const char* romSet;
    std::string keys;
    int dropFrame;
    const char* dropSet; // beside the program
    int frames;
    const char* otherSet;  // a recording of romSet is refused with this one
    const char* startKeys; // a run from power-on to frame 200 whose state the
                           // recorded run starts from; null: power-on
};

const ReplayCase replayCases[] = {
    {"Demo1", "KorvaloDemo1.tia",
     "110:down:Enter,112:up:Enter,130:down:Space,130:down:Left,170:up:Left,200:down:Right,"
     "260:up:Right,340:down:Delete,342:up:Delete,400:up:Space,500:down:Enter,502:up:Enter,"
     "520:down:Up,560:up:Up",
     450, "KorvaloDemo2.tia", 600, "KorvaloDemo2.tia", nullptr},
    {"Analog", "KorvaloAnalog.tia",
     "60:down:Enter,62:up:Enter,80:down:Left,120:up:Left,140:down:Right,200:down:Space,"
     "230:up:Right,232:up:Space,300:down:LCtrl,301:down:Delete,303:up:Delete,306:up:LCtrl",
     250, "KorvaloSelfTest.tia", 400, "KorvaloDemo1.tia", nullptr},
    {"SlotsAndRewind", "KorvaloDemo1.tia",
     "10:down:Left,40:up:Left,60:down:F2,62:up:F2,70:down:Right,120:up:Right,150:down:F4,"
     "152:up:F4,170:down:Space,200:down:Backspace,260:up:Backspace,280:up:Space",
     320, "KorvaloDemo2.tia", 400, "KorvaloSelfTest.tia",
     "110:down:Enter,112:up:Enter,130:down:Space,135:up:Space"},
};

void PrintTo(const ReplayCase& c, std::ostream* os) { *os << c.name; }

// Frames counted from the end of the recording.
std::string after(int frames, int late, const std::string& what) {
    return std::to_string(frames + late) + ":" + what;
}

class ReplayRun : public ::testing::TestWithParam<ReplayCase> {
  protected:
    void SetUp() override {
        dir = fs::path(E2E_WORK_DIR) / (std::string("Replay") + GetParam().name);
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // The program in dir on a set beside it; out and err keep its console.
    int run(const std::string& name, const std::string& set, const std::string& arguments) {
        return runShellCommand(
            "cd '" + dir.string() + "' && XDG_DATA_HOME='" + (dir / "slots").string() +
            "' '" KORVALO_PROGRAM "' --headless --picture-hashes " + name + ".hashes " + arguments +
            " '" KORVALO_ROM_DIR "/" + set + "' >" + name + ".out 2>" + name + ".err");
    }

    std::vector<std::string> hashes(const std::string& name) {
        std::vector<std::string> lines;
        std::istringstream text(readText(dir / (name + ".hashes")));
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    }

    std::string console(const std::string& name) { return readText(dir / (name + ".out")); }

    fs::path dir;
};

TEST_P(ReplayRun, ReplaysEveryFrameAndHandsOverAtTheEnd) {
    const ReplayCase& c = GetParam();
    const std::string rom = KORVALO_ROM_DIR "/";
    const std::string frames = std::to_string(c.frames);
    std::string start;
    if (c.startKeys) {
        ASSERT_EQ(
            run("start", c.romSet,
                std::string("--frames 200 --save-state 200:start.state --keys ") + c.startKeys),
            0)
            << readText(dir / "start.err");
        start = "--load-state start.state ";
    }
    const std::string recorded = start + "--keys " + c.keys + " --drop " +
                                 std::to_string(c.dropFrame) + ":" + rom + c.dropSet;
    const std::string later = " --drop " + after(c.frames, 10, rom + "KorvaloSelfTest2.tia") +
                              " --keys " + after(c.frames, 30, "down:Delete,") +
                              after(c.frames, 32, "up:Delete");
    const std::string longer = " --frames " + std::to_string(c.frames + 60);
    ASSERT_EQ(run("recorded", c.romSet, recorded + " --frames " + frames + " --record rec.kvr"), 0)
        << console("recorded");
    ASSERT_EQ(run("untouched", c.romSet, "--frames " + frames), 0);
    ASSERT_EQ(run("goneOn", c.romSet, recorded + later + longer), 0);
    fs::remove_all(dir / "slots");
    fs::remove(dir / "start.state");
    const std::string ignored = " --keys 40:down:Enter,42:up:Enter,150:down:Right,180:up:Right"
                                " --drop 90:" +
                                rom + "KorvaloSelfTest.tia";
    ASSERT_EQ(run("replayed", c.romSet, "--replay rec.kvr" + ignored + later + longer), 0)
        << readText(dir / "replayed.err");

    const std::vector<std::string> recordedHashes = hashes("recorded");
    const std::vector<std::string> goneOn = hashes("goneOn");
    ASSERT_EQ(recordedHashes.size(), size_t(c.frames));
    ASSERT_EQ(goneOn.size(), size_t(c.frames + 60));
    EXPECT_NE(hashes("untouched"), recordedHashes) << "the keys and the drop changed nothing";
    EXPECT_TRUE(std::equal(recordedHashes.begin(), recordedHashes.end(), goneOn.begin()));
    const std::vector<std::string> replayed = hashes("replayed");
    ASSERT_EQ(replayed.size(), goneOn.size());
    for (size_t i = 0; i < replayed.size(); ++i)
        ASSERT_EQ(replayed[i], goneOn[i]) << "frame " << i + 1 << " of " << c.frames << " recorded";
    EXPECT_NE(goneOn.back().substr(goneOn.back().find(' ')),
              recordedHashes.back().substr(recordedHashes.back().find(' ')));

    const std::string out = console("replayed");
    size_t at = 0;
    for (const std::string& line : {"Replaying " + frames + " frames\n",
                                    std::string("Dropped file ignored: a replay is playing\n"),
                                    "Replay ended at frame " + frames + "\n",
                                    std::string("Drag & Drop file\nModel: TIA-MC-2\n")}) {
        at = out.find(line, at);
        ASSERT_NE(at, std::string::npos) << "no \"" << line << "\" in order in:\n" << out;
    }

    EXPECT_EQ(run("refused", c.otherSet, "--frames 5 --replay rec.kvr"), 1);
    EXPECT_EQ(readText(dir / "refused.err"),
              "System Error! Can't replay: recorded with another ROM set\n");
}

INSTANTIATE_TEST_SUITE_P(Recordings, ReplayRun, ::testing::ValuesIn(replayCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A run that stops at frame `at`, saving the state, and a second program
// that starts from that state with the rest of the key script (frame `at`
// becoming frame 0) must reach the pictures of the run that never stopped:
// every frame's picture hash and the screenshots byte for byte. Keys held
// across `at` stay held in the second run only because --load-state takes
// them from the state.
struct ResumeCase {
    const char* name;
    const char* romSet;
    std::vector<std::string> keys; // "FRAME:down:KEY" / "FRAME:up:KEY", in frame order
    int at;
    int frames;
    std::vector<int> shots; // after `at`
};

const ResumeCase resumeCases[] = {
    {"Demo1",
     "KorvaloDemo1.tia",
     {"60:down:Enter", "62:up:Enter", "150:down:Space", "180:down:Right", "200:up:Space",
      "240:up:Right", "250:down:LCtrl", "252:up:LCtrl", "260:down:Left", "290:up:Left"},
     200,
     300,
     {201, 230, 255, 300}},
    {"Analog",
     "KorvaloAnalog.tia",
     {"60:down:Enter", "62:up:Enter", "192:down:Left", "215:up:Left", "216:down:Right",
      "260:down:Space", "262:up:Space", "280:up:Right"},
     200,
     300,
     {205, 240, 300}},
    {"Demo2",
     "KorvaloDemo2.tia",
     {"60:down:Enter", "62:up:Enter", "190:down:Right", "199:down:Space", "201:up:Space",
      "230:up:Right"},
     200,
     260,
     {210, 260}},
};

void PrintTo(const ResumeCase& c, std::ostream* os) { *os << c.name; }

class ResumeRun : public ::testing::TestWithParam<ResumeCase> {
  protected:
    void SetUp() override {
        dir = fs::path(E2E_WORK_DIR) / (std::string("Resume") + GetParam().name);
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // The program in a folder of dir named name, its console there.
    int run(const std::string& name, const std::string& arguments) {
        fs::create_directories(dir / name);
        return runShellCommand(
            "cd '" + (dir / name).string() + "' && XDG_DATA_HOME='" + (dir / "slots").string() +
            "' '" KORVALO_PROGRAM "' --headless --picture-hashes hashes " + arguments +
            " '" KORVALO_ROM_DIR "/" + GetParam().romSet + "' >out.txt 2>err.txt");
    }

    std::vector<std::string> hashes(const std::string& name) {
        std::vector<std::string> lines;
        std::istringstream text(readText(dir / name / "hashes"));
        for (std::string line; std::getline(text, line);)
            lines.push_back(line.substr(line.find(' ') + 1));
        return lines;
    }

    fs::path dir;
};

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ",") + item;
    return text;
}

TEST_P(ResumeRun, FromASavedStateTheRunReachesTheSamePictures) {
    const ResumeCase& c = GetParam();
    std::vector<std::string> before, rest, shots, restShots;
    for (const std::string& event : c.keys) {
        const int frame = std::stoi(event);
        const std::string what = event.substr(event.find(':'));
        (frame < c.at ? before : rest).push_back(event);
        if (frame >= c.at) restShots.push_back(std::to_string(frame - c.at) + what);
    }
    for (int shot : c.shots)
        shots.push_back(std::to_string(shot));
    std::vector<std::string> laterShots;
    for (int shot : c.shots)
        laterShots.push_back(std::to_string(shot - c.at));
    ASSERT_EQ(run("whole", "--frames " + std::to_string(c.frames) + " --keys " + joined(c.keys) +
                               " --screenshot " + joined(shots)),
              0)
        << readText(dir / "whole/err.txt");
    ASSERT_EQ(run("first", "--frames " + std::to_string(c.at) + " --keys " + joined(before) +
                               " --save-state " + std::to_string(c.at) + ":../at.state"),
              0)
        << readText(dir / "first/err.txt");
    ASSERT_EQ(run("resumed", "--frames " + std::to_string(c.frames - c.at) +
                                 " --load-state ../at.state --keys " + joined(restShots) +
                                 " --screenshot " + joined(laterShots)),
              0)
        << readText(dir / "resumed/err.txt");

    const std::vector<std::string> whole = hashes("whole"), resumed = hashes("resumed");
    ASSERT_EQ(whole.size(), size_t(c.frames));
    ASSERT_EQ(resumed.size(), size_t(c.frames - c.at));
    EXPECT_EQ(hashes("first"), std::vector<std::string>(whole.begin(), whole.begin() + c.at));
    for (size_t i = 0; i < resumed.size(); ++i)
        ASSERT_EQ(resumed[i], whole[size_t(c.at) + i]) << "frame " << c.at + int(i) + 1;
    for (size_t i = 0; i < c.shots.size(); ++i) {
        const std::string taken = readText(dir / "whole" / shotName(i));
        ASSERT_FALSE(taken.empty()) << "no screenshot of frame " << c.shots[i];
        EXPECT_TRUE(readText(dir / "resumed" / shotName(i)) == taken)
            << "the screenshot of frame " << c.shots[i] << " differs";
    }
}

INSTANTIATE_TEST_SUITE_P(States, ResumeRun, ::testing::ValuesIn(resumeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The slots outlive the program: F2 in one run writes slot 0 under
// $XDG_DATA_HOME/korvalo/<the set's hash>/, F4 in the next loads it, and that
// run goes on from the saved moment. F2 is seen in frame 150 and saves the
// state after it, as frame 151 starts; F4 is seen in frame 1 and loads the
// state as frame 2 starts, so frame 2 is frame 151 again. F4 is still held
// after the load, and loads nothing more.
TEST_P(ResumeRun, SlotSavedInOneRunLoadsInTheNext) {
    ASSERT_EQ(run("saving", "--frames 250 --keys 60:down:Enter,62:up:Enter,149:down:F2,150:up:F2,"
                            "170:down:Right,200:up:Right"),
              0);
    ASSERT_EQ(run("loading", "--frames 101 --keys 0:down:F4,4:up:F4,21:down:Right,51:up:Right"), 0);
    EXPECT_NE(readText(dir / "saving/out.txt").find("State saved to slot 0\n"), std::string::npos);
    const std::string loadingOut = readText(dir / "loading/out.txt");
    const size_t loaded = loadingOut.find("State loaded from slot 0\n");
    EXPECT_NE(loaded, std::string::npos);
    EXPECT_EQ(loadingOut.find("State loaded", loaded + 1), std::string::npos) << loadingOut;
    uint64_t hash = 0xCBF29CE484222325;
    for (char byte : readText(fs::path(KORVALO_ROM_DIR) / GetParam().romSet))
        hash = (hash ^ uint8_t(byte)) * 0x100000001B3;
    char folder[17];
    std::snprintf(folder, sizeof folder, "%016llx", static_cast<unsigned long long>(hash));
    const fs::path slots = dir / "slots/korvalo" / folder;
    EXPECT_EQ(readText(slots / "slot0.state").substr(0, 8), "KORVSTAT");
    EXPECT_EQ(std::distance(fs::directory_iterator(slots), fs::directory_iterator()), 1);
    const std::vector<std::string> saving = hashes("saving"), loading = hashes("loading");
    ASSERT_EQ(saving.size(), 250u);
    ASSERT_EQ(loading.size(), 101u);
    for (size_t frame = 2; frame <= 101; ++frame)
        ASSERT_EQ(loading[frame - 1], saving[frame + 148]) << "frame " << frame;
}

} // namespace

namespace {

// A monitor session on the self-test set, typed from a file: breakpoints on
// execution, on a port write and on a memory write, stepping into and over
// calls, registers set and shown, a trace, memory written and shown, bad
// commands, the dump. The console must read as the transcript (the banner
// line aside), the trace must be the same on a second run, and the dump
// must name the board.
TEST(MonitorSession, ScriptedSessionReadsAsTheTranscript) {
    const fs::path dir = fs::path(E2E_WORK_DIR) / "MonitorSession";
    fs::remove_all(dir);
    std::string traces[2];
    for (int run = 0; run < 2; ++run) {
        const fs::path work = dir / std::to_string(run);
        fs::create_directories(work);
        fs::copy_file(fs::path(KORVALO_SYMBOL_DIR) / "selftest.sym", work / "selftest.sym");
        ASSERT_EQ(runShellCommand("cd '" + work.string() +
                                  "' && '" KORVALO_PROGRAM
                                  "' --headless --monitor '" KORVALO_ROM_DIR
                                  "/KorvaloSelfTest.tia' <'" E2E_SOURCE_DIR
                                  "/scripts/monitor.session' >out.txt 2>err.txt"),
                  0);
        const std::string out = readText(work / "out.txt");
        EXPECT_EQ(out.substr(out.find('\n') + 1),
                  readText(fs::path(E2E_SOURCE_DIR) / "golden/monitor.transcript"));
        traces[run] = readText(work / "trace.txt");
        EXPECT_EQ(std::count(traces[run].begin(), traces[run].end(), '\n'), 12);
        const std::string dump = readText(work / "TIA-DisDump.txt");
        EXPECT_NE(dump.find("; Model: TIA-MC-1\n"), std::string::npos);
        EXPECT_NE(dump.find("\n011B  FB           EI"), std::string::npos);
    }
    EXPECT_EQ(traces[0], traces[1]);
    fs::remove_all(dir);
}

} // namespace
