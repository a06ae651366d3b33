#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "recording/processing_settings.h"
#include "recording/record_time.h"
#include "recording/recording_check.h"

namespace quorvane::recording {

// The recording to split: the path it is opened by and the name messages
// give it.
struct RecordingSource {
    std::string path;
    std::string name;
};

// The recording of a run: record.pcm in its folder.
RecordingSource runRecording(const RecordingFiles& files);

// What stopped a split: the action ("reopen", "create", "read", "write"),
// the file and the errno value captured where it failed; or an interruption.
struct SplitFailure {
    std::string action;
    std::string file;
    int error = 0;
    bool interrupted = false;
};

// "cannot create record_ch2.pcm: Is a directory".
std::string splitFailureText(const SplitFailure& failure);

// What a split did: every byte it read from the recording (whole frames and
// a trailing partial one), and what stopped it, if anything.
struct SplitOutcome {
    std::uint64_t bytesRead = 0;
    std::optional<SplitFailure> failure;
};

// Splits the recording into the mono files record_ch1.pcm .. record_ch4.pcm
// in the working folder, and feeds `check` every block of whole frames on
// the way, so the recording is read once (from a pipe too: its length need
// not be known). A trailing partial frame stays in the recording only and
// reaches neither. The channel files are created with the first whole frame:
// a recording without one makes none, and the split says nothing about it,
// leaving that to the caller. On failure (a file that cannot be opened, read
// or written) it says so on standard error, removes the incomplete channel
// files and tells what failed; the recording is untouched. An interruption of
// the upload stops it between two blocks in the same way.
SplitOutcome splitRecording(const RecordingSource& source, const ProcessingSettings& settings, RecordingCheck& check);

}  // namespace quorvane::recording
