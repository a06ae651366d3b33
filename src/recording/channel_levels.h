#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "recording/record_files.h"

namespace quorvane::recording {

// 0 dBFS: the magnitude of the most negative sample.
constexpr double kFullScale = 32768.0;

// Up to kFrames frames, channel by channel: samples[c][i] is the sample of
// channel c + 1 in frame i. The meters run over each channel's samples in a
// row, which the compiler turns into vector instructions.
struct ChannelBlock {
    static constexpr std::size_t kFrames = 256;
    std::array<std::array<std::int16_t, kFrames>, kChannelCount> samples;
    std::size_t frames = 0;
};

// What a channel's figures say about its microphone. When several apply, the
// first in this order wins:
//   Silent         a dead microphone; its other figures mean nothing, and two
//                  dead channels are also identical;
//   SameAsChannel  a wiring or firmware fault; the original channel carries
//                  the level verdicts;
//   Clipping       the loudest sign of trouble in what was heard;
//   DcOffset       its mean also shifts the RMS, so no level comparison;
//   Weak, Loud     the RMS is far from the median of the channels that are
//                  Ok on their own figures (at least two of them).
// Anything but Ok is a warning about the device, never a failure of the run.
enum class Verdict { Ok, Silent, SameAsChannel, Clipping, DcOffset, Weak, Loud };

struct ChannelLevels {
    double seconds = 0;
    // dBFS (0 dBFS = 32768); -infinity for a channel of zeros or no samples.
    double peakDbfs = 0;
    double rmsDbfs = 0;
    // The mean sample, signed, in % of full scale.
    double dcOffsetPercent = 0;
    // Samples at -32768 or 32767.
    std::uint64_t clippedSamples = 0;
    Verdict verdict = Verdict::Ok;
    // For SameAsChannel: the earlier channel (1-4) with identical samples.
    int sameAsChannel = 0;
    // For Weak and Loud: the RMS minus the median of the channels that are Ok
    // on their own figures, dB.
    double dbFromMedian = 0;
};

using ChannelLevelSet = std::array<ChannelLevels, kChannelCount>;

// "ok", "silent", "same as channel 1", "clipping", "DC offset",
// "weak (-9.1 dB)", "loud (+7.0 dB)".
std::string verdictText(const ChannelLevels& levels);

// A stable lower-case name for files: "ok", "silent", "same_as_channel",
// "clipping", "dc_offset", "weak", "loud".
const char* verdictName(Verdict verdict);

// The levels of the four channels, gathered a block at a time in memory
// that does not grow with the recording.
class LevelMeter {
public:
    LevelMeter();

    void add(const ChannelBlock& block);

    // The figures and verdicts of the frames added so far.
    ChannelLevelSet finish() const;

private:
    struct Tally {
        // 16-bit squares add up in 64 bits for over twelve days of
        // full-scale audio, far beyond any recording of the device.
        std::uint64_t sumOfSquares = 0;
        std::int64_t sum = 0;
        int peak = 0;
        std::uint64_t clipped = 0;
    };

    static void tally(const std::int16_t* samples, std::size_t count, Tally& tally);
    std::array<int, kChannelCount> sameAsChannels() const;

    std::array<Tally, kChannelCount> tallies_;
    // identical_[later][earlier]: every sample so far was the same.
    std::array<std::array<bool, kChannelCount>, kChannelCount> identical_;
    std::uint64_t frames_ = 0;
};

}  // namespace quorvane::recording
