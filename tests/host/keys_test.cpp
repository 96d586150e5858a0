// Key snapshots, the Pause hold, drops and scripted key events.
#include "host/gamepad.h"
#include "host/host.h"
#include "platforms/common/keytable.h"
#include "platforms/common/script.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <string>

namespace {
constexpr uint8_t pauseKey = 0xC5;
constexpr uint8_t space = 0x39;

class HostKeys : public ::testing::Test {
  protected:
    void SetUp() override {
        installTestHost();
        hostScript = HostScript{};
    }

    static void frameStart() {
        saveKeysPrev();
        snapshotKeys();
    }
};

TEST_F(HostKeys, PauseShowsInFiveSnapshotsAndKeysPrevFollowsOneLater) {
    pressPause();
    for (int snapshot = 1; snapshot <= 7; ++snapshot) {
        frameStart();
        EXPECT_EQ(keysNow[pauseKey], snapshot <= 5 ? 0x80 : 0) << snapshot;
        EXPECT_EQ(keysPrev[pauseKey], snapshot >= 2 && snapshot <= 6 ? 0x80 : 0) << snapshot;
    }
    EXPECT_EQ(pauseHoldFrames, 0);
}

TEST_F(HostKeys, SnapshotsCopyLiveKeysButKeysPrevLeavesEntryZero) {
    liveKeys[0] = 0x80;
    liveKeys[space] = 0x80;
    frameStart();
    EXPECT_EQ(keysNow[0], 0x80);
    EXPECT_EQ(keysNow[space], 0x80);
    liveKeys[0] = 0;
    frameStart();
    EXPECT_EQ(keysNow[0], 0);
    EXPECT_EQ(keysPrev[0], 0) << "entry 0 of keysPrev never changes";
    EXPECT_EQ(keysPrev[space], 0x80);
}

TEST_F(HostKeys, PadsAndKeyboardCombineAndAnUnpluggedPadReleasesWhatItHeld) {
    struct Step {
        int pad;
        int control; // -1: the stick at (x, y); -2: unplugged
        bool down;
        int x, y;
        uint8_t left, right, up, down_, fire, enter;
    };
    constexpr uint8_t leftKey = 0xCB, rightKey = 0xCD, upKey = 0xC8, downKey = 0xD0,
                      enterKey = 0x1C;
    const Step steps[] = {
        {0, padA, true, 0, 0, 0, 0, 0, 0, 0x80, 0},
        {1, -1, false, -20000, 0, 0x80, 0, 0, 0, 0x80, 0},
        {1, -1, false, -16383, 32767, 0, 0, 0, 0x80, 0x80, 0},
        {0, padLeft, true, 0, 0, 0x80, 0, 0, 0x80, 0x80, 0},
        {1, padStart, true, 0, 0, 0x80, 0, 0, 0x80, 0x80, 0x80},
        {0, -2, false, 0, 0, 0, 0, 0, 0x80, 0, 0x80},
        {1, -1, false, 32767, -32768, 0, 0x80, 0x80, 0, 0, 0x80},
        {1, -2, false, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    constexpr uint8_t tKey = 0x14;
    liveKeys[tKey] = 0x80; // the keyboard's own T stays down throughout
    for (const Step& step : steps) {
        if (step.control == -1) {
            setPadStick(step.pad, step.x, step.y);
        } else if (step.control == -2) {
            releasePad(step.pad);
        } else {
            setPadControl(step.pad, static_cast<PadControl>(step.control), step.down);
        }
        frameStart();
        const auto where = ::testing::Message() << "after step " << (&step - steps);
        EXPECT_EQ(keysNow[leftKey], step.left) << where;
        EXPECT_EQ(keysNow[rightKey], step.right) << where;
        EXPECT_EQ(keysNow[upKey], step.up) << where;
        EXPECT_EQ(keysNow[downKey], step.down_) << where;
        EXPECT_EQ(keysNow[enterKey], step.enter) << where;
        EXPECT_EQ(keysNow[space], step.fire) << where;
        EXPECT_EQ(keysNow[tKey], 0x80) << where;
        EXPECT_EQ(liveKeys[leftKey] | liveKeys[enterKey], 0) << "pads never write the live keys";
    }
    // What a pad holds reads as up while the keyboard is not captured.
    setPadControl(0, padB, true);
    keyboardCaptured = false;
    frameStart();
    EXPECT_EQ(keysNow[0x1D], 0);
    releasePad(0);
}

TEST_F(HostKeys, NothingIsDownWhileTheKeyboardIsNotCaptured) {
    liveKeys[space] = 0x80;
    keyboardCaptured = false;
    frameStart();
    EXPECT_EQ(keysNow[space], 0);
    keyboardCaptured = true;
    frameStart();
    EXPECT_EQ(keysNow[space], 0x80) << "a key held across the focus change reads as down";
}

TEST_F(HostKeys, ADropIsTakenOnlyWhenNoneIsPending) {
    EXPECT_TRUE(acceptDrop("/roms/first.tia"));
    EXPECT_FALSE(acceptDrop("/roms/second.tia"));
    EXPECT_TRUE(dropPending);
    EXPECT_STREQ(dropPath, "/roms/first.tia");
    EXPECT_EQ(testHost.console, "Drag & Drop file\n");
}

TEST_F(HostKeys, APathThatDoesNotFitIsRefusedNotCut) {
    const std::string longest(dropPathSize - 1, 'a');
    const std::string tooLong(dropPathSize, 'b');
    EXPECT_FALSE(acceptDrop(tooLong.c_str()));
    EXPECT_FALSE(dropPending);
    EXPECT_NE(testHost.console.find("1000 characters"), std::string::npos) << testHost.console;
    EXPECT_TRUE(acceptDrop(longest.c_str()));
    EXPECT_EQ(std::string(dropPath), longest);
}

TEST_F(HostKeys, KeyNamesAndCodes) {
    EXPECT_EQ(keyCodeByName("lctrl"), 0x1D);
    EXPECT_EQ(keyCodeByName("LEFT"), 0xCB);
    EXPECT_EQ(keyCodeByName("0"), 0x0B);
    EXPECT_EQ(keyCodeByName("0xCB"), 0xCB);
    EXPECT_EQ(keyCodeByName("0x100"), -1);
    EXPECT_EQ(keyCodeByName("0x"), -1);
    EXPECT_EQ(keyCodeByName("Spacebar"), -1);
}

TEST_F(HostKeys, BadKeyScriptsSayWhatIsWrong) {
    const struct {
        const char* script;
        const char* message;
    } cases[] = {
        {"5:down:Spacebar", "unknown key \"Spacebar\""},
        {"5:down:Space,4:up:Space", "out of order"},
        {"5:press:Space", "bad key action"},
        {"x:down:Space", "bad frame number"},
        {"5:Space", "is not FRAME:down:KEY"},
        {"5:up:Pause", "Pause has no release"},
    };
    for (const auto& c : cases) {
        std::vector<ScriptEvent> events;
        std::string error;
        EXPECT_FALSE(parseKeyScript(c.script, events, error)) << c.script;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.script << ": " << error;
    }
}

TEST_F(HostKeys, ScriptEventsReachTheKeyboardStateAtTheirFrame) {
    std::string error;
    // Commas and newlines part events, comments and blank lines are skipped,
    // and one frame may hold several.
    ASSERT_TRUE(parseKeyScript("0:down:Space, 2:down:Pause\n# comment\n\n3:up:0x39\n3:down:lctrl",
                               hostScript.events, error))
        << error;
    hostScript.events.push_back({3, ScriptAction::drop, 0, "game.tia"});
    applyScriptEvents(0);
    EXPECT_EQ(liveKeys[space], 0x80);
    applyScriptEvents(1);
    EXPECT_EQ(pauseHoldFrames, 0);
    applyScriptEvents(2);
    EXPECT_EQ(pauseHoldFrames, 5);
    EXPECT_FALSE(dropPending);
    applyScriptEvents(3);
    EXPECT_EQ(liveKeys[space], 0);
    EXPECT_EQ(liveKeys[0x1D], 0x80);
    EXPECT_TRUE(dropPending);
    EXPECT_STREQ(dropPath, "game.tia");
}
} // namespace
