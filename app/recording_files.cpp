// The native program's recordings and picture hashes in files. A recording
// is flushed record by record, so a program that dies loses only its last
// frames; the hashes are flushed when the program exits.
#include "app/recording_files.h"

#include "host/host.h"
#include "machines/tiamc/recording.h"
#include "machines/tiamc/tiamc.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

struct RecordingFiles {
    std::FILE* record;
    bool recordFailed;
    bool replaying;
    std::vector<uint8_t> replay;
    std::FILE* hashes;
    uint32_t hashedFrames;
};

RecordingFiles files;

// A recording that cannot be written any more ends where it is, once said.
void writeRecording(const uint8_t* bytes, size_t count) {
    if (files.recordFailed) return;
    if (std::fwrite(bytes, 1, count, files.record) == count && std::fflush(files.record) == 0)
        return;
    files.recordFailed = true;
    consolePrintf("Can't write the recording: it ends here\n");
}

void endRecordingAtExit() { endRecording(); }

void writePictureHash(uint64_t hash) {
    std::fprintf(files.hashes, "%" PRIu32 " %016" PRIx64 "\n", ++files.hashedFrames, hash);
}

// A file written would not replace the ROM set or the recording played.
std::FILE* createFile(const std::string& path, const char* what, const Options& options,
                      std::string& error) {
    std::error_code sameError;
    for (const std::string* input : {&options.romPath, &options.replayPath}) {
        if (std::filesystem::equivalent(path, *input, sameError)) {
            error = std::string("won't write ") + what + " over \"" + *input + "\"";
            return nullptr;
        }
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) error = std::string("can't write ") + what + " \"" + path + "\"";
    return file;
}

} // namespace

bool openRecordingFiles(const Options& options, std::string& error) {
    if (!options.replayPath.empty()) {
        std::ifstream in(options.replayPath, std::ios::binary);
        if (!in) {
            error = "can't read the recording \"" + options.replayPath + "\"";
            return false;
        }
        files.replay.assign(std::istreambuf_iterator<char>(in), {});
        files.replaying = true;
    }
    if (!options.recordPath.empty()) {
        files.record = createFile(options.recordPath, "the recording", options, error);
        if (!files.record) return false;
    }
    if (!options.pictureHashPath.empty()) {
        files.hashes = createFile(options.pictureHashPath, "the picture hashes", options, error);
        if (!files.hashes) return false;
        static char buffer[1 << 16];
        std::setvbuf(files.hashes, buffer, _IOFBF, sizeof buffer);
    }
    return true;
}

void startRecordingFiles() {
    if (files.hashes) pictureHashed = writePictureHash;
    if (files.record) {
        startRecording(RecordingSink{writeRecording});
        std::atexit(endRecordingAtExit);
    }
    if (files.replaying) {
        std::string error;
        if (!startReplay(std::move(files.replay), error))
            host.fatalError(("Can't replay: " + error).c_str());
    }
}
