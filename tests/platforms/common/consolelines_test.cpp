// The monitor's command lines out of a console's or a pipe's bytes, in the
// pieces reads return them.
#include "platforms/common/consolelines.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
void add(ConsoleLines& input, const char* text) { addConsoleBytes(input, text, std::strlen(text)); }
} // namespace

TEST(ConsoleLines, SplitAcrossReadsWithoutCarriageReturnsAndClosedAfterTheEnd) {
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
