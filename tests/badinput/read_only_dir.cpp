#include "tests/badinput/read_only_dir.h"

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

std::string quoted(const fs::path& p) {
    std::string text(1, '\'');
    text += p.string();
    text += '\'';
    return text;
}

namespace {

std::string wrap(ReadOnlyMethod method, const fs::path& dir, const fs::path& inner) {
    const std::string d = quoted(dir), in = quoted(inner);
    const std::string mountThenRun =
        " sh -c 'mount --bind -o ro \"$0\" \"$0\" && exec sh \"$1\"' " + d + " " + in;
    switch (method) {
    case ReadOnlyMethod::bindMount: return "unshare -m" + mountThenRun;
    case ReadOnlyMethod::userBindMount: return "unshare -rm" + mountThenRun;
    case ReadOnlyMethod::immutable:
        return "chattr +i " + d + " && { sh " + in + "; rc=$?; chattr -i " + d + "; exit $rc; }";
    case ReadOnlyMethod::fileModes:
        return "chmod a-w " + d + " && { sh " + in + "; rc=$?; chmod u+w " + d + "; exit $rc; }";
    case ReadOnlyMethod::none: break;
    }
    return "false";
}
} // namespace

std::string readOnlyCommand(ReadOnlyMethod method, const fs::path& dir, const std::string& command,
                            const fs::path& scriptDir) {
    const fs::path inner = scriptDir / "inside_read_only.sh";
    std::ofstream(inner) << "cd " << quoted(dir) << " || exit 125\n" << command << "\n";
    const fs::path outer = scriptDir / "read_only_run.sh";
    std::ofstream(outer) << wrap(method, dir, inner) << "\n";
    return "sh " + quoted(outer) + " 2>/dev/null";
}

ReadOnlyMethod findReadOnlyMethod(const fs::path& scratch) {
    const fs::path dir = scratch / "dir", marker = scratch / "stayed-read-only";
    for (ReadOnlyMethod method : {ReadOnlyMethod::bindMount, ReadOnlyMethod::userBindMount,
                                  ReadOnlyMethod::immutable, ReadOnlyMethod::fileModes}) {
        fs::remove_all(scratch);
        fs::create_directories(dir);
        const std::string probe =
            "touch probe 2>/dev/null; test ! -e probe && touch " + quoted(marker);
        const int status = std::system(readOnlyCommand(method, dir, probe, scratch).c_str());
        const bool works = status == 0 && fs::exists(marker) && !fs::exists(dir / "probe");
        fs::remove_all(scratch);
        if (works) return method;
    }
    return ReadOnlyMethod::none;
}
