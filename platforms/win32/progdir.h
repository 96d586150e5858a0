// The program's directory, taken from the process's command line: the first
// double-quoted element (or the whole line when there is no quote) up to its
// last backslash.
#pragma once

#include <cstddef>

// Size of the start directory buffer.
constexpr size_t startDirectorySize = 1024;

// Writes the directory part of commandLine into destination (size bytes,
// zero-terminated). The result is empty when there is no backslash, when the
// backslash is the span's first character, or when the directory does not fit
// (it is never cut: a cut path could name another directory). True when a
// directory was written.
bool programDirectoryFromCommandLine(char* destination, size_t size, const char* commandLine);
