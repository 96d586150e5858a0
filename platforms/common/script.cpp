// Parsing and applying scripted host events.
#include "platforms/common/script.h"

#include "host/host.h"
#include "host/keycodes.h"
#include "platforms/common/keytable.h"

#include <charconv>

HostScript hostScript;

namespace {
std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool parseFrame(std::string_view text, uint32_t& frame) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, frame);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// One "FRAME:down|up:KEY" item.
bool parseKeyEvent(std::string_view item, ScriptEvent& event, std::string& error) {
    const size_t first = item.find(':');
    const size_t second = first == std::string_view::npos ? first : item.find(':', first + 1);
    if (second == std::string_view::npos) {
        error = "key event \"" + std::string(item) + "\" is not FRAME:down:KEY or FRAME:up:KEY";
        return false;
    }
    const std::string_view frame = trimmed(item.substr(0, first));
    const std::string_view action = trimmed(item.substr(first + 1, second - first - 1));
    const std::string_view key = trimmed(item.substr(second + 1));
    if (!parseFrame(frame, event.frame)) {
        error = "bad frame number \"" + std::string(frame) + "\" in \"" + std::string(item) + "\"";
        return false;
    }
    if (action != "down" && action != "up") {
        error = "bad key action \"" + std::string(action) + "\" (down or up) in \"" +
                std::string(item) + "\"";
        return false;
    }
    const int code = keyCodeByName(key);
    if (code < 0) {
        error = "unknown key \"" + std::string(key) + "\" in \"" + std::string(item) + "\"";
        return false;
    }
    event.action = action == "down" ? ScriptAction::keyDown : ScriptAction::keyUp;
    event.key = static_cast<uint8_t>(code);
    if (event.action == ScriptAction::keyUp && event.key == pauseKey) {
        error = "Pause has no release: the keyboard never reports it, a press shows for five "
                "frames (\"" +
                std::string(item) + "\")";
        return false;
    }
    return true;
}
} // namespace

bool parseKeyScript(std::string_view text, std::vector<ScriptEvent>& events, std::string& error) {
    while (!text.empty()) {
        const size_t end = text.find_first_of(",\n");
        const std::string_view item = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (item.empty() || item[0] == '#') continue;
        ScriptEvent event{};
        if (!parseKeyEvent(item, event, error)) return false;
        if (!events.empty() && event.frame < events.back().frame) {
            error = "key event \"" + std::string(item) + "\" is out of order: frame " +
                    std::to_string(event.frame) + " comes after frame " +
                    std::to_string(events.back().frame);
            return false;
        }
        events.push_back(event);
    }
    return true;
}

namespace {
void applyScriptEvent(const ScriptEvent& event) {
    switch (event.action) {
    case ScriptAction::keyDown:
        if (event.key == pauseKey) {
            pressPause();
        } else {
            liveKeys[event.key] = 0x80;
        }
        break;
    case ScriptAction::keyUp: liveKeys[event.key] = 0; break;
    case ScriptAction::drop: acceptDrop(event.path.c_str()); break;
    case ScriptAction::screenshot: takeScreenshot(); break;
    }
}
} // namespace

void applyScriptEvents(uint32_t frame) {
    while (hostScript.next < hostScript.events.size() &&
           hostScript.events[hostScript.next].frame <= frame) {
        applyScriptEvent(hostScript.events[hostScript.next++]);
    }
}
