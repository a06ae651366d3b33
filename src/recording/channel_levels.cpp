#include "recording/channel_levels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "recording/channel_verdict_limits.h"

namespace quorvane::recording {

namespace {

double dbfs(double magnitude) {
    return magnitude > 0 ? 20.0 * std::log10(magnitude / kFullScale) : -std::numeric_limits<double>::infinity();
}

bool isClipped(std::int16_t sample) {
    return sample == std::numeric_limits<std::int16_t>::min() || sample == std::numeric_limits<std::int16_t>::max();
}

// The verdicts a channel earns on its own figures, in the order of
// precedence.
Verdict ownVerdict(const ChannelLevels& levels, std::uint64_t frames, int sameAsChannel) {
    if (levels.rmsDbfs < limits::kSilentRmsDbfs) {
        return Verdict::Silent;
    }
    if (sameAsChannel != 0) {
        return Verdict::SameAsChannel;
    }
    if (static_cast<double>(levels.clippedSamples) > limits::kClippingFraction * static_cast<double>(frames)) {
        return Verdict::Clipping;
    }
    if (std::fabs(levels.dcOffsetPercent) > limits::kDcOffsetPercent) {
        return Verdict::DcOffset;
    }
    return Verdict::Ok;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Weak and loud compare each channel still Ok with the median RMS of the
// channels that are Ok on their own figures. A channel already flagged would
// pull the median (a clipping or offset channel is loud, a silent one weak),
// and a copy holds no level of its own: its original counts once.
void judgeLevelSpread(ChannelLevelSet& levels) {
    std::vector<double> sound;
    for (const ChannelLevels& channel : levels) {
        if (channel.verdict == Verdict::Ok) {
            sound.push_back(channel.rmsDbfs);
        }
    }
    if (static_cast<int>(sound.size()) < limits::kChannelsForLevelMatch) {
        return;
    }
    const double middle = median(sound);
    for (ChannelLevels& channel : levels) {
        const double difference = channel.rmsDbfs - middle;
        if (channel.verdict == Verdict::Ok && std::fabs(difference) > limits::kLevelSpreadDb) {
            channel.verdict = difference < 0 ? Verdict::Weak : Verdict::Loud;
            channel.dbFromMedian = difference;
        }
    }
}

}  // namespace

// One channel's share of a block, in locals the compiler keeps in vector
// registers; a square of a 16-bit sample fits 31 bits.
void LevelMeter::tally(const std::int16_t* samples, std::size_t count, Tally& tally) {
    std::uint64_t sumOfSquares = 0;
    std::int64_t sum = 0;
    int peak = tally.peak;
    std::uint64_t clipped = 0;
    for (std::size_t index = 0; index < count; ++index) {
        const int sample = samples[index];
        sumOfSquares += static_cast<std::uint32_t>(sample * sample);
        sum += sample;
        peak = std::max(peak, std::abs(sample));
        clipped += isClipped(samples[index]) ? 1 : 0;
    }
    tally.sumOfSquares += sumOfSquares;
    tally.sum += sum;
    tally.peak = peak;
    tally.clipped += clipped;
}

const char* verdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Ok:
            return "ok";
        case Verdict::Silent:
            return "silent";
        case Verdict::SameAsChannel:
            return "same_as_channel";
        case Verdict::Clipping:
            return "clipping";
        case Verdict::DcOffset:
            return "dc_offset";
        case Verdict::Weak:
            return "weak";
        case Verdict::Loud:
            return "loud";
    }
    return "unknown";
}

std::string verdictText(const ChannelLevels& levels) {
    char text[48];
    switch (levels.verdict) {
        case Verdict::SameAsChannel:
            std::snprintf(text, sizeof text, "same as channel %d", levels.sameAsChannel);
            return text;
        case Verdict::DcOffset:
            return "DC offset";
        case Verdict::Weak:
        case Verdict::Loud:
            std::snprintf(text, sizeof text, "%s (%+.1f dB)", verdictName(levels.verdict), levels.dbFromMedian);
            return text;
        default:
            return verdictName(levels.verdict);
    }
}

LevelMeter::LevelMeter() {
    for (auto& row : identical_) {
        row.fill(true);
    }
}

void LevelMeter::add(const ChannelBlock& block) {
    const std::size_t bytes = block.frames * sizeof(std::int16_t);
    for (int channel = 0; channel < kChannelCount; ++channel) {
        tally(block.samples[channel].data(), block.frames, tallies_[channel]);
        for (int earlier = 0; earlier < channel; ++earlier) {
            // Once two channels differ they stay different: the comparison
            // costs nothing after the first differing block.
            identical_[channel][earlier] =
                identical_[channel][earlier] &&
                std::memcmp(block.samples[channel].data(), block.samples[earlier].data(), bytes) == 0;
        }
    }
    frames_ += block.frames;
}

std::array<int, kChannelCount> LevelMeter::sameAsChannels() const {
    std::array<int, kChannelCount> sameAs{};
    for (int channel = 0; channel < kChannelCount; ++channel) {
        for (int earlier = 0; earlier < channel && sameAs[channel] == 0; ++earlier) {
            sameAs[channel] = identical_[channel][earlier] ? earlier + 1 : 0;
        }
    }
    return sameAs;
}

ChannelLevelSet LevelMeter::finish() const {
    const auto frames = static_cast<double>(frames_);
    const std::array<int, kChannelCount> sameAs = sameAsChannels();
    ChannelLevelSet levels;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        const Tally& tally = tallies_[channel];
        ChannelLevels& result = levels[channel];
        result.seconds = frames / kFramesPerSecond;
        result.peakDbfs = dbfs(tally.peak);
        result.rmsDbfs = frames_ != 0 ? dbfs(std::sqrt(static_cast<double>(tally.sumOfSquares) / frames)) : dbfs(0);
        result.dcOffsetPercent = frames_ != 0 ? 100.0 * static_cast<double>(tally.sum) / frames / kFullScale : 0;
        result.clippedSamples = tally.clipped;
        result.verdict = ownVerdict(result, frames_, sameAs[channel]);
        result.sameAsChannel = result.verdict == Verdict::SameAsChannel ? sameAs[channel] : 0;
    }
    judgeLevelSpread(levels);
    return levels;
}

}  // namespace quorvane::recording
