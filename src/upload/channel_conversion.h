#pragma once

#include <cstdint>

#include "upload/progress.h"

namespace upload {

// Runs the converter on record_ch1.pcm, record_ch2.pcm, record_ch3.pcm (only
// with convertChannel3) and record_ch4.pcm, then deletes each channel's
// PCM file whose WAV file was made, and record_ch3.pcm when channel 3 is not
// converted. True when every wanted WAV file was made; failures are said on
// standard error and leave their PCM files in place. An interruption stops
// before the next conversion and keeps every channel file.
bool convertChannels(const ProgressClock& clock, std::uint64_t recordBytes, bool convertChannel3);

}  // namespace upload
