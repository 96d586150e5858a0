// Save states in files on Linux: the slot folders and whole-file writes
// through a new file renamed over the old.
#include "platforms/common/statefiles.h"

#include "host/statestore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string failure(const char* what, const std::string& path, int error) {
    return std::string(what) + " " + path + ": " + std::strerror(error);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t wrote = ::write(fd, data, size);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            if (wrote == 0) errno = ENOSPC;
            return false;
        }
        data += wrote;
        size -= size_t(wrote);
    }
    return true;
}

// The new file gets the mode a plain create would have given it.
void takeUsualMode(int fd) {
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    ::close(fd);
}

bool writeSlot(uint64_t romSetHash, uint8_t slot, const uint8_t* data, size_t size,
               std::string& error) {
    std::string folder;
    return stateSlotFolder(romSetHash, folder, error) && makeFolders(folder, error) &&
           replaceFile(folder + "/" + stateSlotFileName(slot), data, size, error);
}

bool readSlot(uint64_t romSetHash, uint8_t slot, std::vector<uint8_t>& data, std::string& error) {
    std::string folder;
    if (!stateSlotFolder(romSetHash, folder, error)) return false;
    bool missing = false;
    if (readFileBytes(folder + "/" + stateSlotFileName(slot), largestStateFile, data, missing,
                      error))
        return true;
    if (missing) error.clear();
    return false;
}

} // namespace

bool stateSlotFolder(uint64_t romSetHash, std::string& folder, std::string& error) {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (data && data[0] == '/') {
        folder = data;
    } else if (home && home[0]) {
        folder = std::string(home) + "/.local/share";
    } else {
        error = "no folder for the slots: neither XDG_DATA_HOME nor HOME is set";
        return false;
    }
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016" PRIx64, romSetHash);
    folder += std::string("/korvalo/") + hash;
    return true;
}

std::string stateSlotFileName(uint8_t slot) { return "slot" + std::to_string(slot) + ".state"; }

bool makeFolders(const std::string& folder, std::string& error) {
    for (size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        struct stat info;
        if (::stat(part.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) {
                error = failure("can't make the folder", part, ENOTDIR);
                return false;
            }
        } else if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            error = failure("can't make the folder", part, errno);
            return false;
        }
        if (end == std::string::npos) return true;
    }
}

bool replaceFile(const std::string& path, const uint8_t* data, size_t size, std::string& error) {
    const std::string folder = folderOf(path);
    const size_t slash = path.rfind('/');
    std::string name =
        folder + "/." + path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        error = failure("can't write in", folder, errno);
        return false;
    }
    takeUsualMode(fd);
    int writeError = 0;
    if (!writeAll(fd, data, size) || fsync(fd) != 0) writeError = errno;
    if (::close(fd) != 0 && !writeError) writeError = errno;
    if (writeError) {
        ::unlink(name.c_str());
        error = failure("can't write", path, writeError);
        return false;
    }
    if (::rename(name.c_str(), path.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(name.c_str());
        error = failure("can't replace", path, renameError);
        return false;
    }
    syncFolder(folder);
    return true;
}

bool readFileBytes(const std::string& path, size_t limit, std::vector<uint8_t>& data, bool& missing,
                   std::string& error) {
    missing = false;
    // Not blocking: a named pipe would wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        missing = errno == ENOENT;
        error = failure("can't read", path, errno);
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = "can't read " + path + ": not a file";
        return false;
    }
    data.clear();
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = failure("can't read", path, errno);
            ::close(fd);
            return false;
        }
        if (got == 0) break;
        if (size_t(got) > limit - data.size()) {
            error = "can't read " + path + ": larger than a state can be";
            ::close(fd);
            return false;
        }
        data.insert(data.end(), chunk, chunk + got);
    }
    ::close(fd);
    return true;
}

void installFileStateStore() { stateStore = StateStoreOps{writeSlot, readSlot}; }
