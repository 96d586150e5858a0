// The browser host: the host record filled for a page, the picture handed to
// a canvas, keys, focus and game pads from the browser's events, screenshots
// offered as downloads, the console lines on the page's console panel and the
// monitor's commands from the page's command line.
#pragma once

#include <cstdint>
#include <string>

// Time spent in the parts of the last frames, in ms, summed since the last
// reset (read by the benchmark).
struct WebFrameTimes {
    double emulation;
    double composition;
    double handOver;
    double conversion; // the part of the hand-over spent converting pixels
    uint32_t frames;
};
extern WebFrameTimes webFrameTimes;

// Fills the host record and listens to the page's keys and focus.
void startWebHost();
// Runs one board frame, timed, and then the key releases that waited for it.
// False when the monitor holds the machine inside the frame: the frame stays
// open (the held picture painted again) and the next call goes on with it.
bool runWebFrame();
// A line typed at the page's command line: it waits for the monitor, which
// reads the lines while it holds the machine (F9 stops it).
void queueMonitorLine(const char* line);
// Reads the game pads; called once per animation frame.
void pollGamePads();
// A ROM set's hash as the slots are keyed by it: 16 hex digits.
std::string romSetHashText(uint64_t romSetHash);
