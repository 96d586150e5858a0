// Runs a command with its working directory read-only, in a way that holds
// for root too (CI runs as root, and root writes through file modes): a
// read-only bind mount in a private mount namespace, else the immutable
// attribute, else (not root) the file modes.
#pragma once

#include <filesystem>
#include <string>

// The path in single quotes, for a shell command line.
std::string quoted(const std::filesystem::path& p);

enum class ReadOnlyMethod { none, bindMount, userBindMount, immutable, fileModes };

// Tries each way on a scratch directory; the first that stops a write wins.
ReadOnlyMethod findReadOnlyMethod(const std::filesystem::path& scratch);

// A shell command that runs `command` inside dir while dir is read-only; the
// helper scripts are written to scriptDir. Its exit status is the command's.
std::string readOnlyCommand(ReadOnlyMethod method, const std::filesystem::path& dir,
                            const std::string& command, const std::filesystem::path& scriptDir);
