#pragma once

#include <string>

#include "recording/channel_envelope.h"
#include "recording/record_summary.h"

namespace quorvane::recording {

constexpr const char* kPictureFileName = "record.svg";

// The recording as an SVG picture any browser opens: one lane a channel with
// its min/max envelope over time, a time axis, and the level table; channels
// whose verdict is other than ok are marked in red. A channel of digital
// silence leaves its lane empty.
std::string recordPictureSvg(const RecordSummary& summary, const ChannelEnvelopes& envelopes);

// Writes the picture to `path`; 0 or the error code of the failure.
int writeRecordPicture(const std::string& path, const RecordSummary& summary, const ChannelEnvelopes& envelopes);

}  // namespace quorvane::recording
