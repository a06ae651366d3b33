#include "upload/recording_check.h"

namespace upload {

namespace {

constexpr std::size_t kFrameBytes = 2 * kChannelCount;

FrameSamples decodeFrame(const unsigned char* bytes) {
    FrameSamples samples;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        const unsigned value = bytes[2 * channel] | (bytes[2 * channel + 1] << 8);
        samples[channel] = static_cast<std::int16_t>(value);
    }
    return samples;
}

}  // namespace

RecordingCheck::RecordingCheck(std::uint64_t expectedFrames) : envelopes_(expectedFrames) {}

void RecordingCheck::add(const char* frames, std::size_t frameCount) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(frames);
    for (std::size_t frame = 0; frame < frameCount; ++frame) {
        const FrameSamples samples = decodeFrame(bytes + frame * kFrameBytes);
        levels_.add(samples);
        envelopes_.add(samples);
    }
    frames_ += frameCount;
}

RecordingFindings RecordingCheck::finish() const {
    return {frames_, levels_.finish(), envelopes_.finish()};
}

}  // namespace upload
