#pragma once

#include "upload/progress.h"

namespace upload {

// Splits record.pcm into the mono files record_ch1.pcm .. record_ch4.pcm.
// A trailing partial frame stays in record.pcm only. On failure (a file that
// cannot be opened, read or written) it says so on standard error, removes
// the incomplete channel files and returns false; record.pcm is untouched.
bool splitRecording(const ProgressClock& clock);

}  // namespace upload
