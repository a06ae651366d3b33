#pragma once

#include <array>
#include <string>

#include "recording/record_summary.h"

namespace quorvane::recording {

// The cells of one row of the level table: channel, file, duration, peak
// dBFS, RMS dBFS, DC offset, clipped samples, verdict.
constexpr std::size_t kLevelColumns = 8;
using LevelRow = std::array<std::string, kLevelColumns>;

const LevelRow& levelHeadings();

// One channel's row (number 1-4); "not converted" for a channel without a
// WAV file, "-" for figures not measured, "-inf" for a level of nothing.
LevelRow levelRow(int number, const ChannelSummary& channel);

// True when the audio is a second or more short of a record time that is a
// number of seconds.
bool recordingCutShort(const RecordSummary& summary);

// "audio: 29.6 s of the 30 s asked for", with what a cut-short recording
// means; only the duration when the record time is no number of seconds.
std::string durationLine(const RecordSummary& summary);

// The table shown on standard error after the conversion: the duration
// line, a heading and one row a channel, and a warning line when any verdict
// is other than ok. On a terminal `columns` wide the columns that matter
// least are left out until the table fits; 0 (a pipe, a file) keeps all.
std::string formatLevelTable(const RecordSummary& summary, std::size_t columns = 0);

}  // namespace quorvane::recording
