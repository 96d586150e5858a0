// The files of --record, --replay and --picture-hashes.
#pragma once

#include "app/options.h"

#include <string>

// Before the host starts: creates the recording and the picture-hash file and
// reads the recording to replay. False with a message in error (a bad
// command line) when one cannot be opened or read.
bool openRecordingFiles(const Options& options, std::string& error);

// Once the machine has started, before its first frame: starts the recording
// (ended when the program exits), the replay (one refused is a fatal error:
// "Can't replay: ...") and the picture hashes.
void startRecordingFiles();
