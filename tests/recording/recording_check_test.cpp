#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "recording/recording_check.h"

namespace quorvane::recording {
namespace {

using Signal = std::function<std::int16_t(std::uint64_t frame)>;
using Signals = std::array<Signal, kChannelCount>;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.14159265358979323846;

Signal constant(std::int16_t value) {
    return [value](std::uint64_t) { return value; };
}

// +amplitude and -amplitude in turn: its RMS is exactly its amplitude.
Signal square(std::int16_t amplitude) {
    return [amplitude](std::uint64_t frame) { return static_cast<std::int16_t>(frame % 2 ? -amplitude : amplitude); };
}

Signal tone(double hz, double amplitude) {
    return [hz, amplitude](std::uint64_t frame) {
        return static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * kPi * hz * frame / 16000.0)));
    };
}

std::int16_t amplitudeAt(double dbfs) {
    return static_cast<std::int16_t>(std::lround(32768 * std::pow(10.0, dbfs / 20)));
}

std::vector<char> interleave(const Signals& signals, std::uint64_t frames) {
    std::vector<char> bytes;
    for (std::uint64_t frame = 0; frame < frames; ++frame) {
        for (const Signal& signal : signals) {
            const auto sample = static_cast<std::uint16_t>(signal(frame));
            bytes.push_back(static_cast<char>(sample & 0xFF));
            bytes.push_back(static_cast<char>(sample >> 8));
        }
    }
    return bytes;
}

// Fed as the split reads record.pcm: blocks of 160 frames, the last one short;
// by default with the frame count told up front, as record.pcm's size tells it.
RecordingFindings check(const std::vector<char>& bytes, std::size_t blockFrames = 160, bool lengthKnown = true) {
    const std::uint64_t frames = bytes.size() / 8;
    RecordingCheck recordingCheck(lengthKnown ? std::optional<std::uint64_t>(frames) : std::nullopt);
    for (std::uint64_t first = 0; first < frames; first += blockFrames) {
        recordingCheck.add(bytes.data() + first * 8, std::min<std::uint64_t>(blockFrames, frames - first));
    }
    return recordingCheck.finish();
}

// -infinity (a channel of zeros) is a level like any other.
void expectLevel(double actual, double expected, double tolerance) {
    if (std::isinf(expected)) {
        EXPECT_EQ(actual, expected);
    } else {
        EXPECT_NEAR(actual, expected, tolerance);
    }
}

ChannelLevelSet levelsOf(const Signals& signals, std::uint64_t frames = 16000) {
    return check(interleave(signals, frames)).levels;
}

std::vector<Verdict> verdicts(const ChannelLevelSet& levels) {
    std::vector<Verdict> result;
    for (const ChannelLevels& channel : levels) {
        result.push_back(channel.verdict);
    }
    return result;
}

TEST(RecordingCheck, FiguresOfKnownSignals) {
    struct Expected {
        const char* signal;
        double peakDbfs;
        double rmsDbfs;
        double dcOffsetPercent;
        std::uint64_t clipped;
    };
    // 16000 frames. 0 dBFS is a magnitude of 32768: the square wave's
    // -32768 is exactly full scale, and both its ends count as clipped.
    const Signal fullScaleSquare = [](std::uint64_t frame) {
        return static_cast<std::int16_t>(frame % 2 ? -32768 : 32767);
    };
    const Signals signals = {fullScaleSquare, constant(0), constant(1200), tone(440, 16384)};
    const double squareRms = std::sqrt((32767.0 * 32767 + 32768.0 * 32768) / 2) / 32768;
    const Expected expected[] = {
        {"full-scale square wave", 0, 20 * std::log10(squareRms), -100 * 0.5 / 32768, 16000},
        {"silence", -kInfinity, -kInfinity, 0, 0},
        {"DC of 1200", 20 * std::log10(1200 / 32768.0), 20 * std::log10(1200 / 32768.0), 100 * 1200 / 32768.0, 0},
        {"sine at half scale", 20 * std::log10(16384 / 32768.0), 20 * std::log10(16384 / 32768.0 / std::sqrt(2.0)), 0,
         0},
    };
    const ChannelLevelSet levels = levelsOf(signals);
    for (int channel = 0; channel < kChannelCount; ++channel) {
        SCOPED_TRACE(expected[channel].signal);
        EXPECT_DOUBLE_EQ(levels[channel].seconds, 1.0);
        expectLevel(levels[channel].peakDbfs, expected[channel].peakDbfs, 1e-9);
        expectLevel(levels[channel].rmsDbfs, expected[channel].rmsDbfs, 1e-3);
        EXPECT_NEAR(levels[channel].dcOffsetPercent, expected[channel].dcOffsetPercent, 1e-6);
        EXPECT_EQ(levels[channel].clippedSamples, expected[channel].clipped);
    }
    EXPECT_EQ(verdicts(levels),
              (std::vector<Verdict>{Verdict::Clipping, Verdict::Silent, Verdict::DcOffset, Verdict::Ok}));
    EXPECT_EQ(levelsOf({square(32766), tone(100, 8000), tone(200, 8000), tone(300, 8000)})[0].clippedSamples, 0u);
}

TEST(RecordingCheck, SilenceIsJudgedByRmsAgainstMinusSeventyDbfs) {
    const Signals signals = {square(3), square(10), square(11), tone(440, 8000)};
    const ChannelLevelSet levels = levelsOf(signals);
    EXPECT_EQ(levels[0].verdict, Verdict::Silent) << "within a few codes of zero";
    EXPECT_EQ(levels[1].verdict, Verdict::Silent) << "10 codes are -70.3 dBFS";
    EXPECT_NE(levels[2].verdict, Verdict::Silent) << "11 codes are -69.5 dBFS";
}

TEST(RecordingCheck, ClippingNeedsMoreThanOneSampleInAThousand) {
    // 10000 frames of a quiet tone with 10 or 11 samples at full scale.
    const auto clippedTimes = [](std::uint64_t count) {
        return [count](std::uint64_t frame) {
            return static_cast<std::int16_t>(frame < count ? 32767 : std::lround(8000 * std::sin(frame * 0.2)));
        };
    };
    const ChannelLevelSet levels =
        levelsOf({clippedTimes(10), clippedTimes(11), tone(100, 8000), tone(90, 8000)}, 10000);
    EXPECT_EQ(levels[0].clippedSamples, 10u);
    EXPECT_NE(levels[0].verdict, Verdict::Clipping);
    EXPECT_EQ(levels[1].clippedSamples, 11u);
    EXPECT_EQ(levels[1].verdict, Verdict::Clipping);
}

TEST(RecordingCheck, DcOffsetAboveThreePercentOfFullScaleInEitherDirection) {
    const auto offsetTone = [](double offset) {
        return [offset](std::uint64_t frame) {
            return static_cast<std::int16_t>(std::lround(offset + 4000 * std::sin(2 * kPi * frame / 160.0)));
        };
    };
    // 3 % of full scale is 983 codes.
    const ChannelLevelSet levels = levelsOf({offsetTone(950), offsetTone(-1020), offsetTone(1020), tone(440, 4000)});
    EXPECT_NEAR(levels[2].dcOffsetPercent, 3.113, 0.001);
    EXPECT_NEAR(levels[0].dcOffsetPercent, 2.899, 0.001);
    EXPECT_NEAR(levels[1].dcOffsetPercent, -3.113, 0.001);
    EXPECT_EQ(verdicts(levels), (std::vector<Verdict>{Verdict::Ok, Verdict::DcOffset, Verdict::DcOffset, Verdict::Ok}));
}

TEST(RecordingCheck, IdenticalChannelsNameTheFirstOriginal) {
    // Channel 4 differs from channel 1 in its very last sample only.
    const Signal lastDiffers = [](std::uint64_t frame) {
        return static_cast<std::int16_t>(frame == 15999 ? 1 : tone(440, 8000)(frame));
    };
    const ChannelLevelSet levels = levelsOf({tone(440, 8000), tone(660, 8000), tone(440, 8000), lastDiffers});
    EXPECT_EQ(verdicts(levels), (std::vector<Verdict>{Verdict::Ok, Verdict::Ok, Verdict::SameAsChannel, Verdict::Ok}));
    EXPECT_EQ(levels[2].sameAsChannel, 1);
    EXPECT_EQ(verdictText(levels[2]), "same as channel 1");

    const ChannelLevelSet threeAlike = levelsOf({tone(660, 8000), tone(440, 8000), tone(440, 8000), tone(440, 8000)});
    EXPECT_EQ(threeAlike[2].sameAsChannel, 2);
    EXPECT_EQ(threeAlike[3].sameAsChannel, 2);
}

// A square wave of RMS `dbfs` that changes sign every `halfPeriod` frames:
// distinct half-periods keep equal levels from being identical channels.
Signal squareAt(double dbfs, std::uint64_t halfPeriod) {
    const std::int16_t amplitude = amplitudeAt(dbfs);
    return [amplitude, halfPeriod](std::uint64_t frame) {
        return static_cast<std::int16_t>(frame / halfPeriod % 2 == 0 ? amplitude : -amplitude);
    };
}

TEST(RecordingCheck, WeakAndLoudAreMeasuredFromTheMedianOfChannelsOkOnTheirOwn) {
    const Signal silence = constant(0);
    const Signal clipping = square(32767);
    const Signal offset = constant(13107);  // 40 % of full scale
    struct Case {
        const char* name;
        Signals signals;
        std::vector<Verdict> verdicts;
        std::array<double, kChannelCount> dbFromMedian;  // 0 unless weak or loud
    };
    const Case cases[] = {
        {"three ok, median -22",
         {squareAt(-20, 1), squareAt(-22, 2), squareAt(-30, 3), silence},
         {Verdict::Ok, Verdict::Ok, Verdict::Weak, Verdict::Silent},
         {0, 0, -8, 0}},
        {"four ok, median -20.5",
         {squareAt(-20, 1), squareAt(-21, 2), squareAt(-23, 3), squareAt(-12, 4)},
         {Verdict::Ok, Verdict::Ok, Verdict::Ok, Verdict::Loud},
         {0, 0, 0, 8.5}},
        {"within 6 dB is ok",
         {squareAt(-20, 1), squareAt(-20, 2), squareAt(-25.9, 3), squareAt(-14.1, 4)},
         {Verdict::Ok, Verdict::Ok, Verdict::Ok, Verdict::Ok},
         {0, 0, 0, 0}},
        {"two ok are compared with each other",
         {squareAt(-10, 1), squareAt(-40, 2), silence, silence},
         {Verdict::Loud, Verdict::Weak, Verdict::Silent, Verdict::Silent},
         {15, -15, 0, 0}},
        {"clipping and DC offset do not pull the median",
         {squareAt(-33, 1), clipping, offset, squareAt(-33.5, 2)},
         {Verdict::Ok, Verdict::Clipping, Verdict::DcOffset, Verdict::Ok},
         {0, 0, 0, 0}},
        {"a copy does not vote twice",
         {squareAt(-20, 1), squareAt(-20, 1), squareAt(-29, 2), squareAt(-30, 3)},
         {Verdict::Loud, Verdict::SameAsChannel, Verdict::Ok, Verdict::Ok},
         {9, 0, 0, 0}},
        {"one ok channel has nothing to differ from",
         {squareAt(-50, 1), clipping, offset, silence},
         {Verdict::Ok, Verdict::Clipping, Verdict::DcOffset, Verdict::Silent},
         {0, 0, 0, 0}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const ChannelLevelSet levels = levelsOf(test.signals);
        EXPECT_EQ(verdicts(levels), test.verdicts);
        for (int channel = 0; channel < kChannelCount; ++channel) {
            EXPECT_NEAR(levels[channel].dbFromMedian, test.dbFromMedian[channel], 0.01) << "channel " << channel + 1;
        }
    }
}

TEST(RecordingCheck, PrecedenceWhenSeveralVerdictsApply) {
    const Signal clippingWithOffset = [](std::uint64_t frame) {
        return static_cast<std::int16_t>(frame % 4 == 0 ? 32767 : 5000);
    };
    struct Case {
        const char* name;
        Signals signals;
        std::vector<Verdict> verdicts;
    };
    const Case cases[] = {
        {"silent before same as",
         {constant(0), constant(0), tone(440, 8000), tone(500, 8000)},
         {Verdict::Silent, Verdict::Silent, Verdict::Ok, Verdict::Ok}},
        {"same as before clipping",
         {square(32767), square(32767), tone(440, 16000), tone(500, 16000)},
         {Verdict::Clipping, Verdict::SameAsChannel, Verdict::Ok, Verdict::Ok}},
        {"clipping before DC offset",
         {clippingWithOffset, tone(440, 8000), tone(500, 8000), tone(600, 8000)},
         {Verdict::Clipping, Verdict::Ok, Verdict::Ok, Verdict::Ok}},
        {"DC offset before loud",
         {constant(8000), tone(440, 800), tone(500, 800), tone(600, 800)},
         {Verdict::DcOffset, Verdict::Ok, Verdict::Ok, Verdict::Ok}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(verdicts(levelsOf(test.signals)), test.verdicts);
    }
}

TEST(RecordingCheck, PartialLastFrameIsNeverRead) {
    // Three frames of silence, then five bytes that would clip if read.
    std::vector<char> bytes(3 * 8, 0);
    bytes.insert(bytes.end(), {'\xFF', '\x7F', '\xFF', '\x7F', '\xFF'});
    RecordingCheck recordingCheck(3);
    recordingCheck.add(bytes.data(), 3);
    const RecordingFindings findings = recordingCheck.finish();
    EXPECT_EQ(findings.frames, 3u);
    EXPECT_EQ(findings.levels[0].clippedSamples, 0u);
    EXPECT_DOUBLE_EQ(findings.levels[0].seconds, 3 / 16000.0);
    EXPECT_EQ(findings.levels[0].verdict, Verdict::Silent);
}

TEST(RecordingCheck, SamplesAreLittleEndianInChannelOrder) {
    const std::vector<char> frame = {'\x01', '\x80', '\x00', '\x01', '\xFF', '\xFF', '\x34', '\x12'};
    RecordingCheck recordingCheck(1);
    recordingCheck.add(frame.data(), 1);
    const ChannelEnvelopes envelopes = recordingCheck.finish().envelopes;
    const std::int16_t expected[] = {-32767, 256, -1, 0x1234};
    for (int channel = 0; channel < kChannelCount; ++channel) {
        EXPECT_EQ(envelopes.channels[channel][0].low, expected[channel]) << "channel " << channel + 1;
        EXPECT_EQ(envelopes.channels[channel][0].high, expected[channel]) << "channel " << channel + 1;
    }
}

TEST(RecordingCheck, BlockSizeChangesNothing) {
    const std::vector<char> bytes = interleave({tone(440, 9000), square(20000), constant(-300), tone(97, 30000)}, 5000);
    const RecordingFindings whole = check(bytes, 5000);
    for (std::size_t block : {1u, 7u, 160u}) {
        SCOPED_TRACE(block);
        const RecordingFindings blocks = check(bytes, block);
        for (int channel = 0; channel < kChannelCount; ++channel) {
            EXPECT_EQ(blocks.levels[channel].rmsDbfs, whole.levels[channel].rmsDbfs);
            EXPECT_EQ(blocks.levels[channel].dcOffsetPercent, whole.levels[channel].dcOffsetPercent);
            EXPECT_EQ(blocks.levels[channel].verdict, whole.levels[channel].verdict);
        }
        EXPECT_EQ(blocks.envelopes.channels[3][123].low, whole.envelopes.channels[3][123].low);
    }
}

TEST(RecordingCheck, NoFramesMeansFourSilentChannels) {
    const RecordingFindings findings = RecordingCheck(0).finish();
    EXPECT_EQ(findings.frames, 0u);
    EXPECT_EQ(findings.envelopes.columns, 0u);
    for (const ChannelLevels& levels : findings.levels) {
        EXPECT_EQ(levels.verdict, Verdict::Silent);
        EXPECT_EQ(levels.seconds, 0.0);
        EXPECT_EQ(levels.rmsDbfs, -kInfinity);
        EXPECT_EQ(levels.dcOffsetPercent, 0.0);
    }
}

// A ramp makes each column's low and high tell which frames it holds.
Signal ramp() {
    return [](std::uint64_t frame) { return static_cast<std::int16_t>(frame); };
}

TEST(RecordingEnvelope, SpreadsTheExpectedFramesOverTheColumns) {
    struct Case {
        std::uint64_t frames;
        std::size_t columns;
        std::size_t column;
        std::int16_t low;
        std::int16_t high;
    };
    const Case cases[] = {
        {1600, 800, 0, 0, 1},  // two frames a column
        {1600, 800, 799, 1598, 1599},
        {2000, 800, 1, 3, 4},  // 2.5 frames a column: 0-2, 3-4, 5-7, ...
        {10, 10, 9, 9, 9},     // fewer frames than columns: one each
        {1, 1, 0, 0, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.frames);
        const ChannelEnvelopes envelopes =
            check(interleave({ramp(), constant(0), constant(0), constant(0)}, test.frames)).envelopes;
        EXPECT_EQ(envelopes.expectedFrames, test.frames);
        ASSERT_EQ(envelopes.columns, test.columns);
        EXPECT_EQ(envelopes.channels[0][test.column].low, test.low);
        EXPECT_EQ(envelopes.channels[0][test.column].high, test.high);
        for (std::size_t column = 0; column < envelopes.columns; ++column) {
            EXPECT_FALSE(envelopes.channels[0][column].empty()) << column;
        }
    }
}

TEST(RecordingEnvelope, FramesBeyondTheExpectedCountGoToTheLastColumnAndMissingOnesLeaveGaps) {
    const std::vector<char> bytes = interleave({ramp(), constant(0), constant(0), constant(0)}, 1000);
    RecordingCheck tooMany(800);
    tooMany.add(bytes.data(), 1000);
    EXPECT_EQ(tooMany.finish().envelopes.channels[0][799].low, 799);
    EXPECT_EQ(tooMany.finish().envelopes.channels[0][799].high, 999);

    RecordingCheck tooFew(1600);
    tooFew.add(bytes.data(), 1000);
    const ChannelEnvelopes envelopes = tooFew.finish().envelopes;
    EXPECT_FALSE(envelopes.channels[0][499].empty());
    EXPECT_TRUE(envelopes.channels[0][500].empty());
}

// From a pipe the length is not known: a column holds one frame until the
// columns run out, then neighbours merge pairwise and each holds twice as many.
TEST(RecordingEnvelope, WithoutAKnownLengthColumnsMergePairwiseWhenTheyRunOut) {
    const struct {
        std::uint64_t frames;
        std::size_t columns;
        std::uint64_t perColumn;
    } cases[] = {{0, 0, 1}, {10, 10, 1}, {800, 800, 1}, {801, 401, 2}, {2000, 500, 4}, {30001, 469, 64}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.frames);
        const std::vector<char> bytes = interleave({ramp(), constant(0), constant(0), constant(0)}, test.frames);
        const ChannelEnvelopes envelopes = check(bytes, 7, false).envelopes;
        EXPECT_EQ(envelopes.expectedFrames, test.frames);
        ASSERT_EQ(envelopes.columns, test.columns);
        for (std::size_t column = 0; column < kEnvelopeColumns; ++column) {
            const EnvelopeColumn& cell = envelopes.channels[0][column];
            const std::uint64_t first = column * test.perColumn;
            ASSERT_EQ(cell.empty(), column >= test.columns) << column;
            ASSERT_TRUE(cell.empty() ||
                        (static_cast<std::uint64_t>(cell.low) == first &&
                         static_cast<std::uint64_t>(cell.high) == std::min(first + test.perColumn, test.frames) - 1))
                << column;
        }
    }
}

}  // namespace
}  // namespace quorvane::recording
