#include "recording/level_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "recording/channel_verdict_limits.h"
#include "recording/record_time.h"

namespace quorvane::recording {

namespace {

// Columns whose cells are names rather than figures line up on the left.
constexpr std::array<bool, kLevelColumns> kLeftAligned = {true, true, false, false, false, false, false, true};

// A figure that rounds to zero at one decimal is shown as 0.0, not -0.0
// (a full-scale peak is a hair below 0 dBFS).
double unsignedZero(double value) {
    return value > -0.05 && value < 0.05 ? 0.0 : value;
}

std::string decibels(double value) {
    // A level is infinite only when no sample rose above zero.
    if (!std::isfinite(value)) {
        return "-inf";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", unsignedZero(value));
    return text;
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", value);
    return text;
}

std::string percent(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f %%", unsignedZero(value));
    return text;
}

std::array<std::size_t, kLevelColumns> columnWidths(const std::array<LevelRow, kChannelCount>& rows) {
    std::array<std::size_t, kLevelColumns> widths{};
    for (std::size_t column = 0; column < kLevelColumns; ++column) {
        widths[column] = levelHeadings()[column].size();
        for (const LevelRow& row : rows) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    return widths;
}

std::string tableLine(const LevelRow& cells, const std::array<std::size_t, kLevelColumns>& widths) {
    std::string line;
    for (std::size_t column = 0; column < kLevelColumns; ++column) {
        const std::string padding(widths[column] - cells[column].size(), ' ');
        const bool last = column + 1 == kLevelColumns;
        line += kLeftAligned[column] ? cells[column] + (last ? "" : padding) : padding + cells[column];
        line += last ? "\n" : "  ";
    }
    return line;
}

int channelsNeedingALook(const RecordSummary& summary) {
    return static_cast<int>(std::count_if(
        summary.channels.begin(), summary.channels.end(),
        [](const ChannelSummary& channel) { return channel.levels && channel.levels->verdict != Verdict::Ok; }));
}

double asked(std::chrono::seconds recordTime) {
    return static_cast<double>(recordTime.count());
}

}  // namespace

const LevelRow& levelHeadings() {
    static const LevelRow headings = {"channel",  "file",      "duration", "peak dBFS",
                                      "RMS dBFS", "DC offset", "clipped",  "verdict"};
    return headings;
}

LevelRow levelRow(int number, const ChannelSummary& channel) {
    LevelRow row;
    row.fill("-");
    row[0] = std::to_string(number);
    row[1] = channel.wavFile.value_or("not converted");
    if (channel.levels) {
        const ChannelLevels& levels = *channel.levels;
        row[2] = seconds(levels.seconds);
        row[3] = decibels(levels.peakDbfs);
        row[4] = decibels(levels.rmsDbfs);
        row[5] = percent(levels.dcOffsetPercent);
        row[6] = std::to_string(levels.clippedSamples);
        row[7] = verdictText(levels);
    }
    return row;
}

// A second or more missing is short: a 1 s recording that brought nothing
// is, as much as a longer one.
bool recordingCutShort(const RecordSummary& summary) {
    const auto seconds = recordSeconds(summary.recordTime);
    return seconds && asked(*seconds) - audioSeconds(summary.bytesReceived) >= limits::kShortRecordingSeconds;
}

std::string durationLine(const RecordSummary& summary) {
    const double audio = audioSeconds(summary.bytesReceived);
    const auto seconds = recordSeconds(summary.recordTime);
    char text[160];
    if (!seconds) {
        std::snprintf(text, sizeof text, "audio: %.1f s", audio);
    } else if (recordingCutShort(summary)) {
        std::snprintf(text, sizeof text,
                      "audio: %.1f s of the %g s asked for, %.1f s short: the upload ended early (a reset, or "
                      "the device stopped sending)",
                      audio, asked(*seconds), asked(*seconds) - audio);
    } else {
        std::snprintf(text, sizeof text, "audio: %.1f s of the %g s asked for", audio, asked(*seconds));
    }
    return text;
}

std::string formatLevelTable(const RecordSummary& summary) {
    std::array<LevelRow, kChannelCount> rows;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        rows[channel] = levelRow(channel + 1, summary.channels[channel]);
    }
    const auto widths = columnWidths(rows);
    std::string table = durationLine(summary) + "\n" + tableLine(levelHeadings(), widths);
    for (const LevelRow& row : rows) {
        table += tableLine(row, widths);
    }
    if (const int count = channelsNeedingALook(summary)) {
        table += "warning: " + std::to_string(count) + " of 4 channels are not ok (see the verdicts); " +
                 "the files are kept as they are\n";
    }
    return table;
}

}  // namespace quorvane::recording
