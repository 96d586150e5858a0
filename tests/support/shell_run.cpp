#include "tests/support/shell_run.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

int runShellCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}
