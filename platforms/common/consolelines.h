// Command lines for the monitor out of the bytes a console or a pipe gives,
// in whatever pieces the reads return them. No platform calls and no lock: a
// host whose reads run on another thread keeps its ConsoleLines under its
// own lock.
#pragma once

#include "machines/tiamc/monitor.h"

#include <cstddef>
#include <deque>
#include <string>

struct ConsoleLines {
    std::string pending;           // read, not yet a whole line
    std::deque<std::string> lines; // whole lines, oldest first
    bool ended = false;            // the input is at its end or failed
};

// Adds what one read returned: every newline ends a line, a carriage return
// before it is dropped.
void addConsoleBytes(ConsoleLines& input, const char* bytes, size_t count);
// The input ended: a last line without its newline still counts.
void endConsoleInput(ConsoleLines& input);
// The oldest whole line; none while the input may still bring one, closed
// once it has ended and every line was taken.
MonitorLine takeConsoleLine(ConsoleLines& input, std::string& line);
