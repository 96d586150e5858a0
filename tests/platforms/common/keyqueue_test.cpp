// Key events that come faster than frames: every change shows in a snapshot,
// in the order typed.
#include "host/host.h"
#include "host/keycodes.h"
#include "platforms/common/keyqueue.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Event {
    uint8_t code;
    bool down;
};

struct QueueCase {
    const char* name;
    std::vector<Event> typed; // all before the first frame
    std::vector<uint8_t> watched;
    // Per frame, one character per watched key: 'D' down, '.' up.
    std::vector<std::string> frames;
};

const std::vector<QueueCase> cases = {
    {"tap inside one frame", {{deleteKey, true}, {deleteKey, false}}, {deleteKey}, {"D", ".", "."}},
    {"two taps inside one frame",
     {{deleteKey, true}, {deleteKey, false}, {deleteKey, true}, {deleteKey, false}},
     {deleteKey},
     {"D", ".", "D", "."}},
    {"Left Windows + F typed at once",
     {{leftWindowsKey, true}, {fKey, true}, {fKey, false}, {leftWindowsKey, false}},
     {leftWindowsKey, fKey},
     {"DD", "..", ".."}},
    {"Shift let go before Print Screen is never seen with it",
     {{leftShiftKey, true}, {leftShiftKey, false}, {printScreenKey, true}},
     {leftShiftKey, printScreenKey},
     {"D.", ".D", ".D"}},
    {"repeated presses of a held key change nothing",
     {{spaceKey, true}, {spaceKey, true}, {spaceKey, true}, {tKey, true}},
     {spaceKey, tKey},
     {"DD", "DD"}},
    {"Pause holds without its release", {{pauseKey, true}, {pauseKey, false}}, {pauseKey}, {"D"}},
};

TEST(KeyQueue, EveryChangeShowsInOrder) {
    for (const QueueCase& c : cases) {
        installTestHost();
        clearKeyEvents();
        for (const Event& event : c.typed)
            queueKeyEvent(event.code, event.down);
        for (size_t frame = 0; frame < c.frames.size(); ++frame) {
            applyKeyEvents();
            snapshotKeys();
            std::string seen;
            for (uint8_t key : c.watched)
                seen += (keysNow[key] & 0x80) ? 'D' : '.';
            EXPECT_EQ(seen, c.frames[frame]) << c.name << ", frame " << frame;
        }
    }
}

// A key sent as a press and a release three times a frame, without end, holds
// a key pressed meanwhile back no longer than the bound, and the busy key's
// last event still decides its state.
TEST(KeyQueue, AKeyChangingEveryFrameHoldsOthersBackAtMostTheBound) {
    installTestHost();
    clearKeyEvents();
    int spaceSeen = -1;
    for (int frame = 0; frame < 200 && spaceSeen < 0; ++frame) {
        for (int i = 0; i < 3; ++i) {
            queueKeyEvent(deleteKey, true);
            queueKeyEvent(deleteKey, false);
        }
        if (frame == 100) queueKeyEvent(spaceKey, true);
        applyKeyEvents();
        if (liveKeys[spaceKey] & 0x80) spaceSeen = frame;
    }
    ASSERT_GE(spaceSeen, 100);
    EXPECT_LT(spaceSeen, 100 + int(maxKeyDelayFrames));
    EXPECT_EQ(liveKeys[deleteKey], 0);
    clearKeyEvents();
}

TEST(KeyQueue, ClearingForgetsWhatWaits) {
    installTestHost();
    queueKeyEvent(deleteKey, true);
    queueKeyEvent(deleteKey, false);
    EXPECT_TRUE(applyKeyEvents());
    clearKeyEvents();
    EXPECT_FALSE(applyKeyEvents());
    EXPECT_EQ(liveKeys[deleteKey], 0x80); // the release was forgotten with the queue
}

} // namespace
