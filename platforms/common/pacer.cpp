#include "platforms/common/pacer.h"

FramePacer framePacer;

namespace {

constexpr uint64_t microsPerSecond256 = 256ull * 1000000;

// The next deadline, one period (with its share of the remainder) after the
// given moment.
uint64_t oneFrameAfter(uint64_t moment) {
    framePacer.fractionSum += framePacer.periodFraction;
    uint64_t extra = 0;
    if (framePacer.fractionSum >= framePacer.rateHz256) {
        framePacer.fractionSum -= framePacer.rateHz256;
        extra = 1;
    }
    return moment + framePacer.periodMicros + extra;
}

} // namespace

bool lockedToRefresh(uint32_t rateHz256) {
    return rateHz256 == 0 || rateHz256 <= maxLockedRefreshHz * 256;
}

void startPacer(uint32_t rateHz256, uint64_t nowMicros) {
    const uint32_t paced =
        rateHz256 != 0 && lockedToRefresh(rateHz256) ? rateHz256 : boardFramesPerSecond * 256;
    framePacer = FramePacer{};
    framePacer.rateHz256 = paced;
    framePacer.periodMicros = microsPerSecond256 / paced;
    framePacer.periodFraction = static_cast<uint32_t>(microsPerSecond256 % paced);
    framePacer.nextDeadline = oneFrameAfter(nowMicros);
}

uint64_t pacerWaitMicros(uint64_t nowMicros) {
    const uint64_t deadline = framePacer.nextDeadline;
    if (nowMicros > deadline + framePacer.periodMicros) {
        // Too far behind: show this frame now and pace on from here.
        ++framePacer.dropped;
        framePacer.nextDeadline = oneFrameAfter(nowMicros);
        return 0;
    }
    framePacer.nextDeadline = oneFrameAfter(deadline);
    return deadline > nowMicros ? deadline - nowMicros : 0;
}
