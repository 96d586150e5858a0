// What a working directory holds (every entry's kind, size and content hash),
// to tell what a run added, removed or changed there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct DirEntry {
    bool isDirectory;
    uintmax_t size;
    uint64_t hash; // FNV-1a of the contents; 0 for a directory
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
