#pragma once

#include <cstdint>
#include <string>

#include "recording/channel_split.h"
#include "recording/processing_settings.h"
#include "recording/record_summary.h"
#include "recording/shared_record_summary.h"

namespace quorvane::recording {

// How the handling of a recording ended; the reason only for a failure.
struct RecordingEnding {
    RunOutcome outcome = RunOutcome::Stored;
    std::string reason;
};

// Everything made from a stored recording, for a run and for --convert
// alike: splits it (measuring every channel in the same pass), converts the
// channels, then shows the level table on standard error and writes
// record.svg into the working folder, also when a conversion failed or was
// interrupted. A recording without one whole 8-byte frame (1 to 7 bytes, or
// an empty file or pipe) is no audio: a failure, said on standard error,
// with no channel or WAV file made and nothing measured. Fills `summary`
// with the bytes the split read (for a run, the upload record.pcm holds;
// left as it was when the split failed), the levels and the WAV files made.
// A verdict other than ok is only a warning: it never makes the ending a
// failure.
RecordingEnding processRecording(const RecordingSource& source, const ProcessingSettings& settings,
                                 SharedRecordSummary& summary);

}  // namespace quorvane::recording
