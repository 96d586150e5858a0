// Running a program from a test through the shell and reading back what it
// left on disk.
#pragma once

#include <filesystem>
#include <string>

// Runs the command through the shell: its exit status, or -1 when it did not
// exit on its own (a signal).
int runShellCommand(const std::string& command);

// The whole file, as it is on disk; empty when it cannot be read.
std::string readText(const std::filesystem::path& path);
