// What a working directory holds (every entry's type, size and content hash),
// to tell what a run added, removed or changed there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct DirEntry {
    std::filesystem::file_type type;
    uintmax_t size; // 0 unless a regular file
    uint64_t hash;  // FNV-1a of a regular file's contents, else 0
    bool operator==(const DirEntry&) const = default;
};

// Paths relative to the snapshot's root, '/'-separated.
using DirSnapshot = std::map<std::string, DirEntry>;

struct DirChanges {
    std::vector<std::string> added, removed, changed;
};

DirSnapshot snapshot(const std::filesystem::path& root);
DirChanges compare(const DirSnapshot& before, const DirSnapshot& after);
bool isPngFile(const std::filesystem::path& path);
