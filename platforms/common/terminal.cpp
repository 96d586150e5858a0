#include "platforms/common/terminal.h"

#include "host/host.h"
#include "platforms/common/consolelines.h"

#include <poll.h>
#include <unistd.h>

namespace {

ConsoleLines input;

void readSome() {
    char buffer[4096];
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got <= 0) {
        endConsoleInput(input);
    } else {
        addConsoleBytes(input, buffer, size_t(got));
    }
}

MonitorLine nextLine(std::string& line, int waitMs) {
    for (;;) {
        const MonitorLine got = takeConsoleLine(input, line);
        if (got == MonitorLine::line && !isatty(STDIN_FILENO))
            consolePrintf("> %s\n", line.c_str());
        if (got != MonitorLine::none) return got;
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        if (poll(&ready, 1, waitMs) > 0) {
            readSome();
        } else if (waitMs == 0) {
            return MonitorLine::none;
        }
    }
}

} // namespace

MonitorLine waitTerminalLine(std::string& line) { return nextLine(line, -1); }

MonitorLine pollTerminalLine(std::string& line) { return nextLine(line, 0); }
