#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "recording/channel_split.h"
#include "recording/processing_settings.h"
#include "recording/record_files.h"

namespace quorvane::recording {

enum class ConversionEnd { AllMade, Failed, Interrupted, Abandoned };

struct ChannelConversions {
    ConversionEnd end = ConversionEnd::AllMade;
    // Which channels' WAV files were made (index 0: channel 1).
    std::array<bool, kChannelCount> made{};
    // For Failed: the first failure, in the words of its message.
    std::string failure;
};

// Runs the converter on record_ch1.pcm, record_ch2.pcm, record_ch3.pcm (only
// with convertChannel3) and record_ch4.pcm, then deletes each channel's
// PCM file whose WAV file was made, and record_ch3.pcm when channel 3 is not
// converted. Failures are said on standard error and leave their PCM files
// in place. An interruption stops before the next conversion and keeps every
// channel file; the message names `source` and its `recordBytes`. An
// abandoned conversion (settings.abandoned) leaves its converter running and
// ends at once, saying nothing: the channel files stay.
// Channel 3 and the clock come from `settings`.
ChannelConversions convertChannels(const ProcessingSettings& settings, const RecordingSource& source,
                                   std::uint64_t recordBytes);

}  // namespace quorvane::recording
