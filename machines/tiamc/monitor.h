// The monitor: stops the board between two instructions and takes commands
// (registers, stepping, breakpoints on execution and on memory and port
// access, traces, memory and port views, disassembly). It runs a frame's
// instructions in the frame loop's place only while something asks it to
// (a stop, a step, a breakpoint, a trace): otherwise the loop runs free.
#pragma once

#include <string>

enum class MonitorLine { none, line, closed };

// Where the monitor's commands come from and what it does while it holds
// the machine, filled by the host. readLine: the next command line, or none
// when none is typed yet (a window host), or closed when no more will come;
// a host whose console can block may wait for a line. idle: while the
// machine is held and no command is waiting: shows the last picture again,
// services the window and waits about a frame (null: nothing).
struct MonitorConsole {
    MonitorLine (*readLine)(std::string& line);
    void (*idle)();
};
// Null readLine: this host has no console for the monitor, which then never
// stops the machine.
extern MonitorConsole monitorConsole;

// Stops the machine before its next instruction (the monitor key, a start
// in the monitor); nothing happens without a console.
void requestMonitorStop();
// One command line, as typed at the monitor's prompt. False when the line
// lets the machine run on (continue, step, run to, trace).
bool runMonitorCommand(const std::string& line);
// True while the monitor holds the machine.
bool monitorHoldsMachine();
// Forgets breakpoints, steps and symbols; closes a trace (start-up, tests).
void resetMonitor();

// The file the dump command writes, in the working folder.
constexpr const char* disDumpFileName = "TIA-DisDump.txt";
