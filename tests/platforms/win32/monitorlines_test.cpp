// The Windows program's --monitor option, natively.
#include "platforms/win32/monitorlines.h"

#include <gtest/gtest.h>

TEST(MonitorLines, MonitorOptionIsAWholeArgument) {
    EXPECT_TRUE(monitorOptionGiven(" \t--monitor\t"));
    EXPECT_TRUE(monitorOptionGiven("x --monitor"));
    EXPECT_FALSE(monitorOptionGiven(""));
    EXPECT_FALSE(monitorOptionGiven("--monitors x--monitor --monito"));
}
