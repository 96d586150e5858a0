// The Windows program's monitor console, natively: standard input's bytes,
// in the pieces reads return them, as command lines; the --monitor option.
#include "platforms/win32/monitorlines.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
void add(ConsoleLines& input, const char* text) { addConsoleBytes(input, text, std::strlen(text)); }
} // namespace

TEST(MonitorLines, SplitAcrossReadsWithoutCarriageReturnsAndClosedAfterTheEnd) {
    ConsoleLines input;
    std::string line;
    add(input, "r\r\ns ");
    add(input, "3\n\r");
    EXPECT_EQ(takeConsoleLine(input, line), MonitorLine::line);
    EXPECT_EQ(line, "r");
    EXPECT_EQ(takeConsoleLine(input, line), MonitorLine::line);
    EXPECT_EQ(line, "s 3");
    EXPECT_EQ(takeConsoleLine(input, line), MonitorLine::none);
    add(input, "\nq\r");
    endConsoleInput(input);
    EXPECT_EQ(takeConsoleLine(input, line), MonitorLine::line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(takeConsoleLine(input, line), MonitorLine::line);
    EXPECT_EQ(line, "q");
    EXPECT_EQ(takeConsoleLine(input, line), MonitorLine::closed);
}

TEST(MonitorLines, MonitorOptionIsAWholeArgument) {
    EXPECT_TRUE(monitorOptionGiven(" \t--monitor\t"));
    EXPECT_TRUE(monitorOptionGiven("x --monitor"));
    EXPECT_FALSE(monitorOptionGiven(""));
    EXPECT_FALSE(monitorOptionGiven("--monitors x--monitor --monito"));
}
