// The Windows host's portable decisions: key translation of the keyboard
// hook, keyboard capture with the lock keys (against the hook's own thread),
// the pacing choice for the window's display, and the program directory
// taken from the command line.
#include "host/host.h"
#include "platforms/common/pacer.h"
#include "platforms/win32/hookkeys.h"
#include "platforms/win32/lockkeys.h"
#include "platforms/win32/pacingchoice.h"
#include "platforms/win32/progdir.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {
constexpr uint32_t down = 0, up = hookFlagUp, ext = hookFlagExtended;

// Every translated key, row by row: virtual key, flags, key code, withheld.
struct KeyRow {
    uint32_t vk;
    uint32_t flags;
    uint8_t code;
    bool withheld;
};
constexpr KeyRow keyRows[] = {
    {0x08, down, 0x0E, false},   {0x09, ext, 0x0F, false},  {0x13, down, 0xC5, false},
    {0x14, down, 0x3A, true},    {0x1B, down, 0x01, false}, {0x20, ext, 0x39, false},
    {0x2C, ext, 0xB7, false},    {0x30, down, 0x0B, false}, {0x31, down, 0x02, false},
    {0x39, down, 0x0A, false},   {0x41, down, 0x1E, false}, {0x46, down, 0x21, false},
    {0x4D, down, 0x32, false},   {0x4E, down, 0x31, false}, {0x54, down, 0x14, false},
    {0x5A, down, 0x2C, false},   {0x5B, ext, 0xDB, true},   {0x5C, ext, 0xDC, false},
    {0x5D, ext, 0xDD, true},     {0x60, down, 0x52, false}, {0x68, down, 0x48, false},
    {0x69, down, 0x49, false},   {0x6A, down, 0x37, false}, {0x6B, down, 0x4E, false},
    {0x6C, down, 0x00, false},   {0x6D, down, 0x4A, false}, {0x6E, down, 0x53, false},
    {0x6F, ext, 0xB5, false},    {0x70, down, 0x3B, false}, {0x79, down, 0x44, false},
    {0x7A, down, 0x57, false},   {0x7B, down, 0x58, false}, {0x90, ext, 0x45, true},
    {0x91, down, 0x46, true},    {0xA0, down, 0x2A, false}, {0xA1, ext, 0x36, false},
    {0xA2, down, 0x1D, false},   {0xA3, ext, 0x9D, false},  {0xA4, down, 0x38, false},
    {0xA5, ext, 0xB8, false},    {0xBA, down, 0x27, false}, {0xC0, down, 0x29, false},
    {0xDB, down, 0x1A, false},   {0xDE, down, 0x28, false}, {0x0C, down, 0x4C, false},
    {0x0C, ext, 0x00, false},    {0x0D, down, 0x1C, false}, {0x0D, ext, 0x9C, false},
    {0x21, down, 0x49, false},   {0x22, ext, 0xD1, false},  {0x23, ext, 0xCF, false},
    {0x24, down, 0x47, false},   {0x25, ext, 0xCB, false},  {0x26, down, 0x48, false},
    {0x26, ext, 0xC8, false},    {0x27, ext, 0xCD, false},  {0x28, ext, 0xD0, false},
    {0x2D, down, 0x52, false},   {0x2D, ext, 0xD2, false},  {0x2E, ext, 0xD3, false},
    {0xFF, down, 0x00, false},   {0x00, down, 0x00, false}, {0x12, down, 0x00, false},
    {0x1141, down, 0x1E, false}, // only the low byte of the virtual key counts
    {0x78, down, 0x43, false},   // F9, the monitor's key
};

class HookKeys : public ::testing::Test {
  protected:
    void SetUp() override { installTestHost(); }
};

TEST_F(HookKeys, EveryRowRecordsItsCodeDownThenUpAndWithholdsOnlyLocksAndWindowsKeys) {
    for (const KeyRow& row : keyRows) {
        SCOPED_TRACE(testing::Message() << std::hex << "vk 0x" << row.vk << " flags " << row.flags);
        EXPECT_EQ(keyCodeOf(row.vk, row.flags), row.code);
        if (row.code == 0xC5) continue; // Pause has its own test
        liveKeys[row.code] = 0;
        EXPECT_EQ(recordHookedKey(row.vk, row.flags), row.withheld);
        EXPECT_EQ(liveKeys[row.code], 0x80);
        EXPECT_EQ(recordHookedKey(row.vk, row.flags | up), row.withheld);
        EXPECT_EQ(liveKeys[row.code], 0);
    }
    // Nothing outside the table's codes was touched.
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(liveKeys[code], 0) << code;
}

TEST_F(HookKeys, TablesAgreeExceptOnTheNavigationBlockAndHaveNoStrayCodes) {
    int differing = 0, translated = 0;
    for (int vk = 0; vk < 256; ++vk) {
        differing += keyCodeTable[vk] != extendedKeyCodeTable[vk];
        translated += keyCodeTable[vk] != 0;
    }
    EXPECT_EQ(differing, 12);
    EXPECT_EQ(translated, 105); // 93 common keys and the 12 of the navigation block
}

TEST_F(HookKeys, InjectedEventsAndPauseReleaseAreNotRecorded) {
    EXPECT_FALSE(recordHookedKey(0x14, hookFlagInjected)) << "synthesized Caps Lock passes on";
    EXPECT_EQ(liveKeys[0x3A], 0);
    EXPECT_FALSE(recordHookedKey(0x20, hookFlagInjected));
    EXPECT_EQ(liveKeys[0x39], 0);
    EXPECT_FALSE(recordHookedKey(0x13, down));
    EXPECT_EQ(pauseHoldFrames, 5);
    EXPECT_FALSE(recordHookedKey(0x13, up));
    EXPECT_EQ(pauseHoldFrames, 5) << "the release of Pause is left to the snapshots";
    int shown = 0;
    for (int frame = 0; frame < 8; ++frame) {
        saveKeysPrev();
        snapshotKeys();
        shown += keysNow[0xC5] != 0;
    }
    EXPECT_EQ(shown, 5);
}

TEST_F(HookKeys, NothingIsRecordedOrWithheldWhileTheKeyboardIsNotCaptured) {
    keyboardCaptured = false;
    EXPECT_FALSE(recordHookedKey(0x14, down)) << "Caps Lock reaches the desktop";
    EXPECT_FALSE(recordHookedKey(0x13, down));
    EXPECT_EQ(liveKeys[0x3A] | pauseHoldFrames, 0);
}

// A fake host keyboard: the three lock lights and the toggles asked for.
struct FakeLocks {
    bool on[256];
    std::string toggles;
};
FakeLocks fakeLocks;

class Capture : public ::testing::Test {
  protected:
    void SetUp() override {
        installTestHost();
        keyboardCaptured = false;
        fakeLocks = FakeLocks{};
        machineLockState = LockState{};
        lockKeyOps = LockKeyOps{
            [](uint8_t vk) { return fakeLocks.on[vk]; },
            [](uint8_t vk) {
                fakeLocks.on[vk] = !fakeLocks.on[vk];
                fakeLocks.toggles += vk == vkNumLock ? "N" : vk == vkCapsLock ? "C" : "S";
            }};
    }
};

TEST_F(Capture, LockKeysGoOffWhileFocusedAndComeBackAfterwards) {
    struct Case {
        bool num, caps, scroll;
        const char* onEnter;
    } cases[] = {{false, false, false, ""},
                 {false, true, false, "C"},
                 {true, true, true, "NCS"},
                 {true, false, true, "NS"}};
    for (const Case& c : cases) {
        SetUp();
        fakeLocks.on[vkNumLock] = c.num;
        fakeLocks.on[vkCapsLock] = c.caps;
        fakeLocks.on[vkScrollLock] = c.scroll;
        enterKeyboardCapture();
        EXPECT_EQ(fakeLocks.toggles, c.onEnter);
        EXPECT_TRUE(keyboardCaptured);
        EXPECT_FALSE(fakeLocks.on[vkNumLock] || fakeLocks.on[vkCapsLock] ||
                     fakeLocks.on[vkScrollLock]);
        enterKeyboardCapture(); // a second focus message changes nothing
        applyMachineLockState();
        EXPECT_EQ(fakeLocks.toggles, c.onEnter);
        leaveKeyboardCapture();
        leaveKeyboardCapture();
        EXPECT_EQ(fakeLocks.toggles, std::string(c.onEnter) + c.onEnter);
        EXPECT_EQ(fakeLocks.on[vkNumLock], c.num);
        EXPECT_EQ(fakeLocks.on[vkCapsLock], c.caps);
        EXPECT_EQ(fakeLocks.on[vkScrollLock], c.scroll);
        EXPECT_FALSE(keyboardCaptured);
    }
}

TEST_F(Capture, AKeyHeldWhenTheFocusGoesIsReleasedNotStuck) {
    enterKeyboardCapture();
    recordHookedKey(0x25, ext); // Left arrow held
    recordHookedKey(0x13, down);
    saveKeysPrev();
    snapshotKeys();
    EXPECT_EQ(keysNow[0xCB], 0x80);
    leaveKeyboardCapture();
    saveKeysPrev();
    snapshotKeys();
    EXPECT_EQ(keysNow[0xCB], 0) << "all keys up while unfocused";
    enterKeyboardCapture(); // the release happened while unfocused
    saveKeysPrev();
    snapshotKeys();
    EXPECT_EQ(keysNow[0xCB], 0);
    EXPECT_EQ(keysNow[0xC5], 0);
}

// The hook's thread records keys, Pause among them, while this thread runs
// frames and the focus comes and goes, as in the program. After each focus
// loss no key stays down, and a Pause press made while captured shows, at the
// latest in the first snapshot begun after it. Under ThreadSanitizer the same
// run shows the shared key state race-free.
TEST_F(Capture, TheHookThreadAgainstFramesAndFocusChanges) {
    constexpr uint32_t hookedKeys[][2] = {{0x25, ext}, {0x20, down}, {0x41, down}, {0xA2, down}};
    constexpr int rounds = 100;
    std::vector<int> roundOf; // per snapshot
    std::vector<bool> paused;
    std::vector<std::pair<uint32_t, uint32_t>> presses; // snapshots taken before, after
    std::atomic<uint32_t> snapshotsTaken{0}, hookEvents{0}, pausePresses{0};
    std::atomic<bool> stop{false};
    std::thread hook([&] {
        uint32_t nextPause = 0;
        for (uint32_t i = 0; !stop.load(); hookEvents.store(++i)) {
            const uint32_t* key = hookedKeys[i % 4];
            recordHookedKey(key[0], key[1] | (i / 4 % 2 ? up : down));
            const uint32_t before = snapshotsTaken.load();
            if (before < nextPause) continue;
            recordHookedKey(0x13, down); // about when the last press's hold runs out
            presses.emplace_back(before, snapshotsTaken.load());
            pausePresses.store(static_cast<uint32_t>(presses.size()));
            nextPause = before + 5 + i % 3;
        }
    });
    int stuck = 0;
    for (int round = 0; round < rounds; ++round) {
        // Until four presses are made, then two frames: the last three began
        // and ended while captured.
        enterKeyboardCapture();
        const uint32_t pressesBefore = pausePresses.load();
        for (int after = 0; after < 2; after += pausePresses.load() >= pressesBefore + 4) {
            saveKeysPrev();
            snapshotKeys();
            applyMachineLockState();
            roundOf.push_back(round);
            paused.push_back(keysNow[0xC5] != 0);
            snapshotsTaken.store(static_cast<uint32_t>(roundOf.size()));
        }
        leaveKeyboardCapture();
        // Once the hook has finished the event it was recording as the
        // focus went, nothing may be down.
        for (const uint32_t seen = hookEvents.load(); hookEvents.load() < seen + 2;)
            std::this_thread::yield();
        for (int code = 0; code < 256; ++code)
            stuck += liveKeys[code] != 0;
        stuck += pauseHoldFrames != 0;
    }
    stop.store(true);
    hook.join();
    EXPECT_EQ(stuck, 0) << "keys left down after a focus loss";
    // Checked: the presses between two snapshots of one captured round.
    int checked = 0, lost = 0;
    for (const auto& [first, after] : presses) {
        const uint32_t last = after + 1;
        if (first == 0 || last >= roundOf.size() || roundOf[first - 1] != roundOf[last]) continue;
        ++checked;
        lost += std::find(paused.begin() + first, paused.begin() + last + 1, true) ==
                paused.begin() + last + 1;
    }
    EXPECT_EQ(lost, 0) << "of " << checked << " Pause presses";
    EXPECT_GE(checked, 3 * rounds);
}

// Up to 75 Hz the display's own refresh where the driver's waits are that
// display's, else the counter, which never runs the game faster than 60 Hz
// or the display: start-up, a mode change and another monitor alike.
TEST(PacingChoice, FollowsTheWindowsDisplayAndNeverRunsTheGameFaster) {
    constexpr uint32_t hz60 = 15361; // measured: 60.004 Hz
    constexpr RefreshWait blank = RefreshWait::driverBlank, counter = RefreshWait::counter;
    struct Case {
        DisplayFacts facts; // mode Hz, measured, measured rate, waits follow, blocks, raster
        RefreshWait wait;
        uint32_t rateHz256, gameHz256;
    } cases[] = {
        {{60, true, hz60, true, true, true}, blank, hz60, hz60},
        {{60, true, hz60, true, false, true}, RefreshWait::rasterWrap, hz60, hz60}, // Wine
        {{144, false, hz60, true, true, true}, counter, 144 * 256, 60 * 256},       // mode changed
        {{75, false, hz60, true, true, true}, blank, 75 * 256, 75 * 256},           // mode changed
        {{120, false, hz60, false, true, true}, counter, 120 * 256, 60 * 256},      // other monitor
        {{50, false, hz60, false, true, true}, counter, 50 * 256, 50 * 256},        // other monitor
        {{70, true, 0, true, true, true}, blank, 70 * 256, 70 * 256},               // not measured
    };
    for (const Case& c : cases) {
        const PacingChoice choice = choosePacing(c.facts);
        SCOPED_TRACE(testing::Message()
                     << c.facts.modeHz << " Hz, waits follow " << c.facts.waitsFollow);
        EXPECT_EQ(choice.wait, c.wait);
        EXPECT_EQ(choice.rateHz256, c.rateHz256);
        startPacer(choice.rateHz256, 0);
        EXPECT_EQ(choice.wait == counter ? framePacer.rateHz256 : choice.rateHz256, c.gameHz256);
    }
}

TEST(ProgramDirectory, CommandLines) {
    struct Case {
        std::string commandLine;
        std::string directory;
    } cases[] = {
        {"\"C:\\Emu Dir\\prog.exe\" game.tia", "C:\\Emu Dir"},
        {"C:\\prog.exe", "C:"},
        {"C:\\emu\\prog.exe \"D:\\roms\\x.tia\"", "D:\\roms"},
        {"prog.exe game.tia", ""},
        {"\"\\prog.exe\"", ""},
        {"\"C:\\a dir\\never closed.exe", "C:\\a dir"},
        {"C:\\Program Files\\emu\\prog.exe", "C:\\Program Files\\emu"},
        {"", ""},
        {"\"\"", ""},
    };
    for (const Case& c : cases) {
        char buffer[startDirectorySize];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(programDirectoryFromCommandLine(buffer, sizeof buffer, c.commandLine.c_str()),
                  !c.directory.empty())
            << c.commandLine;
        EXPECT_EQ(std::string(buffer), c.directory) << c.commandLine;
    }
}

TEST(ProgramDirectory, ADirectoryTooLongForTheBufferIsRefusedNotCut) {
    for (size_t length : {startDirectorySize - 2, startDirectorySize - 1, startDirectorySize,
                          startDirectorySize + 500}) {
        const std::string directory = "C:\\" + std::string(length - 3, 'd');
        const std::string commandLine = "\"" + directory + "\\prog.exe\" x";
        std::vector<char> buffer(startDirectorySize + 16, 'x');
        buffer[startDirectorySize] = 'G'; // guard past the buffer
        const bool fits = length < startDirectorySize;
        EXPECT_EQ(
            programDirectoryFromCommandLine(buffer.data(), startDirectorySize, commandLine.c_str()),
            fits)
            << length;
        EXPECT_EQ(std::string(buffer.data()), fits ? directory : "") << length;
        EXPECT_EQ(buffer[startDirectorySize], 'G');
    }
}
} // namespace
