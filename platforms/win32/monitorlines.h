// The Windows program's --monitor option, portable so it is tested natively.
#pragma once

// True when one of the command line's arguments (as WinMain gets them, after
// the program's name; split at spaces and tabs) is --monitor.
bool monitorOptionGiven(const char* arguments);
