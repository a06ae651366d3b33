#include "recording/level_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "recording/channel_verdict_limits.h"
#include "recording/record_time.h"
#include "recording/text_table.h"

namespace quorvane::recording {

namespace {

// Columns whose cells are names rather than figures line up on the left.
constexpr std::array<bool, kLevelColumns> kLeftAligned = {true, true, false, false, false, false, false, true};

// What a narrow terminal leaves out, first to last, until the table fits:
// the duration (the line above gives it), the file name (it follows from the
// channel), the clipped samples (the verdict says clipping), the DC offset
// (the verdict says DC offset). Channel, levels and verdict always stay.
constexpr std::array<std::size_t, 4> kDroppedFirst = {2, 1, 6, 5};

using Widths = ColumnWidths<kLevelColumns>;
using Shown = ShownColumns<kLevelColumns>;

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
    return clockText(std::chrono::milliseconds(std::llround(value * 1000)), 1);
}

std::string percent(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f %%", unsignedZero(value));
    return text;
}

std::string tableLine(const LevelRow& cells, const Widths& widths, const Shown& shown) {
    std::string line;
    for (std::size_t column = 0; column < kLevelColumns; ++column) {
        if (!shown[column]) {
            continue;
        }
        const std::string padding(widths[column] - textColumns(cells[column]), ' ');
        const bool last = column + 1 == kLevelColumns;
        line += line.empty() ? "" : std::string(kColumnGap, ' ');
        line += kLeftAligned[column] ? cells[column] + (last ? "" : padding) : padding + cells[column];
    }
    return line + "\n";
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

// The shortfall is counted from the audio as shown, so that the two add up
// to the time asked for.
std::string durationLine(const RecordSummary& summary) {
    const std::string audio = "audio: " + audioDuration(summary.bytesReceived);
    const auto seconds = recordSeconds(summary.recordTime);
    if (!seconds) {
        return audio;
    }
    const std::string asked = audio + " of the " + clockText(*seconds) + " asked for";
    if (!recordingCutShort(summary)) {
        return asked;
    }
    return asked + ", " + clockText(*seconds - audioLength(summary.bytesReceived), 1) +
           " short: the upload ended early (a reset, or the device stopped sending)";
}

std::string formatLevelTable(const RecordSummary& summary, std::size_t columns) {
    std::array<LevelRow, kChannelCount> rows;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        rows[channel] = levelRow(channel + 1, summary.channels[channel]);
    }
    const Widths widths = columnWidths(levelHeadings(), rows);
    const Shown shown = fittingColumns(widths, kDroppedFirst, columns);
    std::string table = durationLine(summary) + "\n" + tableLine(levelHeadings(), widths, shown);
    for (const LevelRow& row : rows) {
        table += tableLine(row, widths, shown);
    }
    if (const int count = channelsNeedingALook(summary)) {
        table += "warning: " + std::to_string(count) + " of 4 channels are not ok (see the verdicts); " +
                 "the files are kept as they are\n";
    }
    return table;
}

}  // namespace quorvane::recording
