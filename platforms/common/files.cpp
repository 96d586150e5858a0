#include "platforms/common/files.h"

#include <filesystem>
#include <system_error>

bool pathExists(const char* path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}
