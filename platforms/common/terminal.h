// The monitor's commands from the terminal the program was started from
// (standard input), a line at a time. Lines that come from a file or a pipe
// are echoed after "> ", so a session's transcript reads as it was typed.
#pragma once

#include "machines/tiamc/monitor.h"

#include <string>

// Waits for the next line (the headless runner, which has nothing else to
// do while the machine is held).
MonitorLine waitTerminalLine(std::string& line);
// The next line if one has been typed in full; never waits (a window host,
// which services its window meanwhile).
MonitorLine pollTerminalLine(std::string& line);
