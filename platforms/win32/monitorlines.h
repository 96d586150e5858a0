// The portable half of the Windows program's monitor console: the bytes its
// reader thread takes from standard input, in whatever pieces the reads
// return, become whole command lines for the frame loop; and the command
// line's --monitor. No platform calls and no lock: the reader thread and the
// frame loop share a ConsoleLines under the caller's own lock.
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

// True when one of the command line's arguments (as WinMain gets them, after
// the program's name; split at spaces and tabs) is --monitor.
bool monitorOptionGiven(const char* arguments);
