#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <sstream>
#include <vector>

#include "recording/level_table.h"

namespace quorvane::recording {
namespace {

constexpr std::uint64_t kBytesPerSecond = 128000;

ChannelLevels levels(double peak, double rms, Verdict verdict) {
    ChannelLevels result;
    result.seconds = 30;
    result.peakDbfs = peak;
    result.rmsDbfs = rms;
    result.verdict = verdict;
    return result;
}

RecordSummary summaryOf(const std::string& recordTime, std::uint64_t bytes) {
    RecordSummary summary;
    summary.recordTime = recordTime;
    summary.bytesReceived = bytes;
    return summary;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        result.push_back(line);
    }
    return result;
}

TEST(LevelTable, DurationIsSetAgainstARecordTimeInSeconds) {
    struct Case {
        const char* recordTime;
        std::uint64_t bytes;
        const char* line;
        bool cutShort;
    };
    const Case cases[] = {
        {"30", 30 * kBytesPerSecond, "audio: 0:30.0 of the 0:30 asked for", false},
        {"30", 29 * kBytesPerSecond + 8 * 3200, "audio: 0:29.2 of the 0:30 asked for", false},
        {"2.5", 3 * kBytesPerSecond, "audio: 0:03.0", false},
        {"30", 12 * kBytesPerSecond + 5,
         "audio: 0:12.0 of the 0:30 asked for, 0:18.0 short: the upload ended early (a reset, or the device "
         "stopped sending)",
         true},
        {"30", 0,
         "audio: 0:00.0 of the 0:30 asked for, 0:30.0 short: the upload ended early (a reset, or the device "
         "stopped sending)",
         true},
        {"1", 0,
         "audio: 0:00.0 of the 0:01 asked for, 0:01.0 short: the upload ended early (a reset, or the device stopped "
         "sending)",
         true},
        {"1m", 60 * kBytesPerSecond, "audio: 1:00.0", false},
        {"", kBytesPerSecond, "audio: 0:01.0", false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.recordTime);
        const RecordSummary summary = summaryOf(test.recordTime, test.bytes);
        EXPECT_EQ(durationLine(summary), test.line);
        EXPECT_EQ(recordingCutShort(summary), test.cutShort);
    }
}

TEST(LevelTable, RowsShowEveryFigureReadably) {
    // A full-scale peak is a hair below 0 dBFS; it and a DC offset that rounds
    // to zero show no minus sign.
    ChannelLevels clipping = levels(-0.0003, -0.96, Verdict::Clipping);
    clipping.dcOffsetPercent = -0.04;
    clipping.clippedSamples = 123456;
    ChannelLevels weak = levels(-30, -33.3, Verdict::Weak);
    weak.dbFromMedian = -9.06;
    weak.dcOffsetPercent = 3.45;
    ChannelLevels copy = levels(-12.04, -15.05, Verdict::SameAsChannel);
    copy.sameAsChannel = 1;
    const double minusInfinity = -std::numeric_limits<double>::infinity();
    struct Case {
        ChannelSummary channel;
        LevelRow row;
    };
    const Case cases[] = {
        {{std::string("record_ch1.wav"), clipping},
         {"1", "record_ch1.wav", "0:30.0", "0.0", "-1.0", "+0.0 %", "123456", "clipping"}},
        {{std::nullopt, levels(minusInfinity, minusInfinity, Verdict::Silent)},
         {"1", "not converted", "0:30.0", "-inf", "-inf", "+0.0 %", "0", "silent"}},
        {{std::string("record_ch1.wav"), weak},
         {"1", "record_ch1.wav", "0:30.0", "-30.0", "-33.3", "+3.5 %", "0", "weak (-9.1 dB)"}},
        {{std::string("record_ch1.wav"), copy},
         {"1", "record_ch1.wav", "0:30.0", "-12.0", "-15.1", "+0.0 %", "0", "same as channel 1"}},
        {{std::nullopt, std::nullopt}, {"1", "not converted", "-", "-", "-", "-", "-", "-"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.row[7]);
        EXPECT_EQ(levelRow(1, test.channel), test.row);
    }
}

TEST(LevelTable, TableHasTheDurationAHeadingAndOneAlignedRowAChannel) {
    RecordSummary summary = summaryOf("30", 30 * kBytesPerSecond);
    for (int channel = 0; channel < kChannelCount; ++channel) {
        summary.channels[channel] = {channelWavName(channel + 1), levels(-12, -15, Verdict::Ok)};
    }
    summary.channels[2].wavFile.reset();
    summary.channels[2].levels->clippedSamples = 12345678;
    const std::vector<std::string> table = lines(formatLevelTable(summary));
    ASSERT_EQ(table.size(), 6u);
    EXPECT_EQ(table[0], "audio: 0:30.0 of the 0:30 asked for");
    EXPECT_EQ(table[1].find("channel"), 0u);
    // Right-aligned figures end where their heading ends, however wide.
    const std::size_t clippedEnd = table[1].find("clipped") + 7;
    for (int row = 2; row < 6; ++row) {
        SCOPED_TRACE(table[row]);
        EXPECT_EQ(table[row].find(std::to_string(row - 1)), 0u);
        EXPECT_EQ(table[row].find(" ok"), clippedEnd + 1);
    }
    EXPECT_NE(table[4].find("not converted"), std::string::npos);
    EXPECT_NE(table[4].find("12345678"), std::string::npos);
}

// A narrow terminal loses the columns that matter least, one at a time,
// never the channel, its levels or its verdict; 0 columns (a pipe) keeps all.
TEST(LevelTable, ANarrowTerminalGetsTheColumnsThatFit) {
    RecordSummary summary = summaryOf("30", 30 * kBytesPerSecond);
    for (int channel = 0; channel < kChannelCount; ++channel) {
        summary.channels[channel] = {channelWavName(channel + 1), levels(-12, -15, Verdict::Ok)};
    }
    summary.channels[1].levels->verdict = Verdict::SameAsChannel;
    summary.channels[1].levels->sameAsChannel = 1;
    // Full width 93: 83 without the duration, 67 without the file, 58
    // without the clipped samples, 47 without the DC offset.
    const struct {
        std::size_t columns;
        std::vector<std::string> left;
        bool fits;
    } cases[] = {
        {0, {}, true},
        {93, {}, true},
        {90, {"duration"}, true},
        {75, {"duration", "file"}, true},
        {60, {"duration", "file", "clipped"}, true},
        {50, {"duration", "file", "clipped", "DC offset"}, true},
        {40, {"duration", "file", "clipped", "DC offset"}, false},
    };
    for (const auto& terminal : cases) {
        SCOPED_TRACE(terminal.columns);
        const std::vector<std::string> table = lines(formatLevelTable(summary, terminal.columns));
        ASSERT_EQ(table.size(), 7u);
        for (const std::string& heading : levelHeadings()) {
            const bool left = std::find(terminal.left.begin(), terminal.left.end(), heading) != terminal.left.end();
            EXPECT_EQ(table[1].find(heading) == std::string::npos, left) << heading;
        }
        const auto widest =
            std::max_element(table.begin() + 1, table.begin() + 6,
                             [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
        EXPECT_EQ(terminal.columns == 0 || widest->size() <= terminal.columns, terminal.fits) << *widest;
        EXPECT_NE(table[3].find("same as channel 1"), std::string::npos);
    }
}

TEST(LevelTable, AnyVerdictOtherThanOkAddsAWarningLine) {
    RecordSummary summary = summaryOf("30", 30 * kBytesPerSecond);
    for (int channel = 0; channel < kChannelCount; ++channel) {
        summary.channels[channel] = {channelWavName(channel + 1), levels(-12, -15, Verdict::Ok)};
    }
    EXPECT_EQ(lines(formatLevelTable(summary)).size(), 6u);
    summary.channels[1].levels->verdict = Verdict::Silent;
    summary.channels[3].levels->verdict = Verdict::Loud;
    const std::vector<std::string> table = lines(formatLevelTable(summary));
    ASSERT_EQ(table.size(), 7u);
    EXPECT_EQ(table[6], "warning: 2 of 4 channels are not ok (see the verdicts); the files are kept as they are");
}

}  // namespace
}  // namespace quorvane::recording
