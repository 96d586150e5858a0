#include "platforms/common/consolelines.h"

#include <cstring>

namespace {
void finishLine(ConsoleLines& input, std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    input.lines.push_back(std::move(line));
}
} // namespace

void addConsoleBytes(ConsoleLines& input, const char* bytes, size_t count) {
    const char* end = bytes + count;
    while (bytes < end) {
        const char* newline =
            static_cast<const char*>(std::memchr(bytes, '\n', size_t(end - bytes)));
        if (!newline) {
            input.pending.append(bytes, end);
            return;
        }
        input.pending.append(bytes, newline);
        finishLine(input, std::move(input.pending));
        input.pending.clear();
        bytes = newline + 1;
    }
}

void endConsoleInput(ConsoleLines& input) {
    if (!input.pending.empty()) finishLine(input, std::move(input.pending));
    input.pending.clear();
    input.ended = true;
}

MonitorLine takeConsoleLine(ConsoleLines& input, std::string& line) {
    if (input.lines.empty()) return input.ended ? MonitorLine::closed : MonitorLine::none;
    line = std::move(input.lines.front());
    input.lines.pop_front();
    return MonitorLine::line;
}
