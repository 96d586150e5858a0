// The Windows program's state slots: states\<hash>\slot<N>.state beside the
// screenshots (the program's directory, the working directory from
// start-up), <hash> the ROM set's hash in 16 hex digits. A slot is written to
// a new file in its folder, flushed, and moved over the old one, so a crash
// or a full disk never leaves it half-written.
#include "platforms/win32/win32_host.h"

#include "host/statestore.h"

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD largestSlotFile = 1 << 20; // a state is some 27 KB

// The system's text for the last error, without its closing period and line
// end.
std::string failure(const char* what, const std::string& path) {
    const DWORD code = GetLastError();
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, sizeof text, nullptr);
    std::string reason(text);
    while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' ||
                               reason.back() == '.' || reason.back() == ' '))
        reason.pop_back();
    if (reason.empty()) reason = "error " + std::to_string(code);
    return std::string(what) + " " + path + ": " + reason;
}

std::string slotFolder(uint64_t romSetHash) {
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016" PRIx64, romSetHash);
    return std::string("states\\") + hash;
}

std::string slotPath(uint64_t romSetHash, uint8_t slot) {
    return slotFolder(romSetHash) + "\\slot" + std::to_string(slot) + ".state";
}

bool makeFolder(const std::string& folder, std::string& error) {
    if (CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    error = failure("can't make the folder", folder);
    return false;
}

bool writeAll(HANDLE file, const uint8_t* data, size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x100000 ? 0x100000 : DWORD(size);
        DWORD wrote = 0;
        if (!WriteFile(file, data, chunk, &wrote, nullptr) || wrote == 0) return false;
        data += wrote;
        size -= wrote;
    }
    return FlushFileBuffers(file) != 0;
}

bool writeSlot(uint64_t romSetHash, uint8_t slot, const uint8_t* data, size_t size,
               std::string& error) {
    const std::string folder = slotFolder(romSetHash);
    if (!makeFolder("states", error) || !makeFolder(folder, error)) return false;
    char temporary[MAX_PATH];
    if (!GetTempFileNameA(folder.c_str(), "slt", 0, temporary)) {
        error = failure("can't write in", folder);
        return false;
    }
    const HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::string path = slotPath(romSetHash, slot);
    bool written = file != INVALID_HANDLE_VALUE && writeAll(file, data, size);
    if (!written) error = failure("can't write", path);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (written &&
        !MoveFileExA(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = failure("can't replace", path);
        written = false;
    }
    if (!written) DeleteFileA(temporary);
    return written;
}

bool readSlot(uint64_t romSetHash, uint8_t slot, std::vector<uint8_t>& data, std::string& error) {
    const std::string path = slotPath(romSetHash, slot);
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            error.clear();
        } else {
            error = failure("can't read", path);
        }
        return false;
    }
    LARGE_INTEGER size{};
    bool read = GetFileSizeEx(file, &size) != 0;
    if (!read) error = failure("can't read", path);
    if (read && size.QuadPart > largestSlotFile) {
        error = "can't read " + path + ": larger than a state can be";
        read = false;
    }
    if (read) {
        data.resize(size_t(size.QuadPart));
        DWORD got = 0;
        read = data.empty() || (ReadFile(file, data.data(), DWORD(data.size()), &got, nullptr) &&
                                got == data.size());
        if (!read) error = failure("can't read", path);
    }
    CloseHandle(file);
    return read;
}

} // namespace

void installWin32StateStore() { stateStore = StateStoreOps{writeSlot, readSlot}; }
