// Save states in files, for the Linux hosts (the window and headless): the
// state slots under the user's data folder, and whole files written so that
// a crash or a full disk never leaves one half-written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The folder of one ROM set's slots: $XDG_DATA_HOME/korvalo/<hash>, where
// XDG_DATA_HOME is unset, empty or not an absolute path,
// $HOME/.local/share/korvalo/<hash>; <hash> is the set's hash in 16 lower-case
// hex digits. False with the reason when there is neither.
bool stateSlotFolder(uint64_t romSetHash, std::string& folder, std::string& error);
// "slot<N>.state".
std::string stateSlotFileName(uint8_t slot);

// Writes the bytes to a new file in path's folder, flushes it to the disk and
// renames it over path. False with the reason in error (naming the file or
// folder); the new file is then removed and path is as it was.
bool replaceFile(const std::string& path, const uint8_t* data, size_t size, std::string& error);
// Makes the folder and the folders above it where missing.
bool makeFolders(const std::string& folder, std::string& error);

// The largest file readFileBytes reads: a state is some 27 KB.
constexpr size_t largestStateFile = size_t(1) << 20;
// Reads the whole regular file. False with missing set when there is no such
// file; with the reason in error when it cannot be read or is larger than
// limit bytes.
bool readFileBytes(const std::string& path, size_t limit, std::vector<uint8_t>& data, bool& missing,
                   std::string& error);

// Fills stateStore with the slot files above.
void installFileStateStore();
