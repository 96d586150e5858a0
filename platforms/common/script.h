// Scripted host events: key presses and releases, dropped files and
// screenshots, each at a frame. "Frame N" is the moment after N frames have
// run and been presented, before frame N + 1 starts; frame 0 is before the
// first frame. The events of one frame are applied in the order held.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ScriptAction : uint8_t { keyDown, keyUp, drop, screenshot };

struct ScriptEvent {
    uint32_t frame;
    ScriptAction action;
    uint8_t key;      // keyDown, keyUp
    std::string path; // drop
};

struct HostScript {
    std::vector<ScriptEvent> events; // ordered by frame
    size_t next;                     // first event not yet applied
};

extern HostScript hostScript;

// Parses key events "FRAME:down:KEY" and "FRAME:up:KEY" separated by commas
// or line ends; blank items and lines starting with '#' are skipped. Frames
// must not go down. False with a message in error on the first bad item.
bool parseKeyScript(std::string_view text, std::vector<ScriptEvent>& events, std::string& error);

// Applies every event scheduled at or before frame that is not yet applied:
// keys go into liveKeys as the keyboard writes them (Pause through
// pressPause), drops through acceptDrop, screenshots through takeScreenshot.
void applyScriptEvents(uint32_t frame);
