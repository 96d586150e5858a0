// The pacing decision of the Windows program.
#include "platforms/win32/pacingchoice.h"

#include "platforms/common/pacer.h"
#include "platforms/common/refresh.h"

PacingChoice choosePacing(const DisplayFacts& facts) {
    uint32_t rate = nominalRefreshHz * 256;
    if (facts.measured && facts.measuredRate != 0) {
        rate = facts.measuredRate;
    } else if (facts.modeHz > 1) {
        rate = facts.modeHz * 256;
    }
    RefreshWait wait = RefreshWait::counter;
    if (facts.waitsFollow && lockedToRefresh(rate)) {
        if (facts.blankBlocks) {
            wait = RefreshWait::driverBlank;
        } else if (facts.rasterReadable) {
            wait = RefreshWait::rasterWrap;
        }
    }
    return PacingChoice{wait, rate};
}
