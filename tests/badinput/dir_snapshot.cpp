#include "tests/badinput/dir_snapshot.h"

#include <fstream>

namespace fs = std::filesystem;

namespace {
uint64_t fileHash(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    uint64_t hash = 0xCBF29CE484222325u;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        for (std::streamsize i = 0; i < file.gcount(); ++i)
            hash = (hash ^ static_cast<uint8_t>(buffer[i])) * 0x100000001B3u;
    }
    return hash;
}
} // namespace

DirSnapshot snapshot(const fs::path& root) {
    DirSnapshot entries;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(e.path(), root).generic_string();
        // Only regular files are read: opening a named pipe would wait for a writer.
        const fs::file_type type = e.symlink_status().type();
        if (type == fs::file_type::regular) {
            entries[name] = {type, e.file_size(), fileHash(e.path())};
        } else {
            entries[name] = {type, 0, 0};
        }
    }
    return entries;
}

DirChanges compare(const DirSnapshot& before, const DirSnapshot& after) {
    DirChanges changes;
    for (const auto& [name, entry] : before) {
        const auto now = after.find(name);
        if (now == after.end()) {
            changes.removed.push_back(name);
        } else if (!(now->second == entry)) {
            changes.changed.push_back(name);
        }
    }
    for (const auto& [name, entry] : after)
        if (!before.count(name)) changes.added.push_back(name);
    return changes;
}

bool isPngFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    char signature[8] = {};
    file.read(signature, sizeof signature);
    return file && std::string(signature, 8) == "\x89PNG\r\n\x1a\n";
}
