#include "platforms/common/terminal.h"

#include "host/host.h"

#include <poll.h>
#include <unistd.h>

namespace {

std::string pending; // read, not yet a whole line
bool ended;          // standard input is at its end or unreadable

// A whole line out of what was read; the last line may lack its newline.
bool takeLine(std::string& line) {
    const size_t newline = pending.find('\n');
    if (newline == std::string::npos) {
        if (!ended || pending.empty()) return false;
        line.swap(pending);
        pending.clear();
    } else {
        line = pending.substr(0, newline);
        pending.erase(0, newline + 1);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!isatty(STDIN_FILENO)) consolePrintf("> %s\n", line.c_str());
    return true;
}

void readSome() {
    char buffer[4096];
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got <= 0) {
        ended = true;
        return;
    }
    pending.append(buffer, size_t(got));
}

MonitorLine nextLine(std::string& line, int waitMs) {
    for (;;) {
        if (takeLine(line)) return MonitorLine::line;
        if (ended) return MonitorLine::closed;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (poll(&input, 1, waitMs) <= 0) {
            if (waitMs == 0) return MonitorLine::none;
            continue;
        }
        readSome();
    }
}

} // namespace

MonitorLine waitTerminalLine(std::string& line) { return nextLine(line, -1); }

MonitorLine pollTerminalLine(std::string& line) { return nextLine(line, 0); }
