// Recordings in the machine: the states loaded into a recorded run (the one
// it starts from and one a loader brings between frames) come back in the
// replay at the same moments, and frames without a change cost nothing.
#include "tiamc_fixture.h"

#include "host/keycodes.h"
#include "machines/tiamc/recording.h"
#include "machines/tiamc/state.h"

#include <functional>

namespace {

const std::string demo = std::string(KORVALO_ROM_DIR) + "/KorvaloDemo1.tia";

std::vector<uint8_t> written;
void keep(const uint8_t* bytes, size_t count) {
    written.insert(written.end(), bytes, bytes + count);
}

uint64_t pictureNow() {
    std::vector<uint32_t> picture(512 * 256);
    renderFrame(picture.data(), 512);
    return pictureHash(picture.data(), 512);
}

// Keys held over frames (from 1), as the player pressed them.
struct Hold {
    uint8_t key;
    int first, last;
};
constexpr Hold holds[] = {{enterKey, 20, 22},
                          {leftArrowKey, 40, 70},
                          {spaceKey, 45, 90},
                          {rightArrowKey, 95, 130},
                          {upArrowKey, 100, 104}};

class RecordingTest : public TiaTest {
  protected:
    void TearDown() override {
        endRecording();
        frameInputs = hostFrameInputs;
        TiaTest::TearDown();
    }

    // Frames first..last with the held keys; before each, the loader's turn.
    std::vector<uint64_t> play(int first, int last, const std::function<void(int)>& between) {
        std::vector<uint64_t> pictures;
        for (int frame = first; frame <= last; ++frame) {
            between(frame - 1);
            releaseAllKeys();
            for (const Hold& h : holds) {
                if (frame >= h.first && frame <= h.last) liveKeys[h.key] = 0x80;
            }
            runTiaFrame();
            pictures.push_back(pictureNow());
        }
        return pictures;
    }
};

TEST_F(RecordingTest, LoadedStatesComeBackAtTheirMoments) {
    startTiaMachine(demo.c_str());
    const auto none = [](int) {};
    play(1, 130, none);
    const std::vector<uint8_t> startState = saveMachineState();

    // The run recorded starts from that state; a slot load before frame 81
    // brings back the state taken after frame 60.
    SetUp();
    startTiaMachine(demo.c_str());
    written.clear();
    startRecording(RecordingSink{keep});
    std::string error;
    ASSERT_TRUE(loadMachineState(startState.data(), startState.size(), error)) << error;
    noteStateLoad(startState.data(), startState.size());
    std::vector<uint8_t> slot;
    const std::vector<uint64_t> recorded = play(1, 150, [&](int frame) {
        if (frame == 60) slot = saveMachineState();
        if (frame != 80) return;
        ASSERT_TRUE(loadMachineState(slot.data(), slot.size(), error)) << error;
        noteStateLoad(slot.data(), slot.size());
    });
    endRecording();
    const std::vector<uint8_t> endState = saveMachineState();

    // The replay: the loader asks the recording for its state.
    SetUp();
    startTiaMachine(demo.c_str());
    ASSERT_TRUE(startReplay(written, error)) << error;
    EXPECT_EQ(testHost.console, "Model: TIA-MC-1\nReplaying 150 frames\n");
    bool asked = false;
    const std::vector<uint64_t> replayed = play(1, 150, [&](int frame) {
        EXPECT_TRUE(replayPlaying());
        EXPECT_EQ(loadRecordedState(), frame == 80) << "before frame " << frame + 1;
        asked |= frame == 80;
    });
    EXPECT_TRUE(asked);
    EXPECT_EQ(replayed, recorded);
    EXPECT_TRUE(saveMachineState() == endState);
    runTiaFrame();
    EXPECT_FALSE(replayPlaying());
    EXPECT_NE(testHost.console.find("Replay ended at frame 150\n"), std::string::npos);
}

TEST_F(RecordingTest, FramesWithoutAChangeWriteNothing) {
    startTiaMachine(demo.c_str());
    written.clear();
    startRecording(RecordingSink{keep});
    const size_t header = written.size();
    for (int frame = 0; frame < 300; ++frame)
        runTiaFrame();
    liveKeys[spaceKey] = 0x80;
    liveKeys[enterKey] = 0x80;
    for (int frame = 0; frame < 5; ++frame)
        runTiaFrame();
    endRecording();
    // 'K', 300 frames on (LEB128 0xAC 0x02), two codes ascending; 'E', 5 on.
    const std::vector<uint8_t> records(written.begin() + long(header), written.end());
    EXPECT_EQ(header, 19u);
    EXPECT_EQ(records, (std::vector<uint8_t>{'K', 0xAC, 0x02, 2, enterKey, spaceKey, 'E', 5}));
}

} // namespace
