// Recordings in the machine: frames without a change cost nothing, and a
// change of the keys is the kind, the frames since the last record and the
// codes that flipped. (Replays are tested end to end, in tests/e2e.)
#include "tiamc_fixture.h"

#include "host/keycodes.h"
#include "machines/tiamc/recording.h"

namespace {

const std::string demo = std::string(KORVALO_ROM_DIR) + "/KorvaloDemo1.tia";

std::vector<uint8_t> written;
void keep(const uint8_t* bytes, size_t count) {
    written.insert(written.end(), bytes, bytes + count);
}

class RecordingTest : public TiaTest {
  protected:
    void TearDown() override {
        endRecording();
        TiaTest::TearDown();
    }
};

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
