#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "recording/channel_envelope.h"
#include "recording/channel_levels.h"

namespace quorvane::recording {

// What one pass over the recording found.
struct RecordingFindings {
    std::uint64_t frames = 0;
    ChannelLevelSet levels;
    ChannelEnvelopes envelopes;
};

// The recording check, fed by the split as it reads record.pcm: the levels
// and verdicts of each channel and the envelopes of the picture, in one pass
// and in memory that does not grow with the recording.
class RecordingCheck {
public:
    // expectedFrames: the whole frames record.pcm holds (its size / 8); it
    // spreads the picture's columns over the recording. Nothing when the
    // length is not known before the end (a pipe).
    explicit RecordingCheck(std::optional<std::uint64_t> expectedFrames);

    // frameCount whole frames of interleaved little-endian 16-bit samples;
    // a trailing partial frame is the caller's to count.
    void add(const char* frames, std::size_t frameCount);

    RecordingFindings finish() const;

private:
    LevelMeter levels_;
    EnvelopeMeter envelopes_;
    std::uint64_t frames_ = 0;
};

}  // namespace quorvane::recording
