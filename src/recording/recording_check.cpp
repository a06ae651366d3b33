#include "recording/recording_check.h"

#include <algorithm>

namespace quorvane::recording {

namespace {

// Little-endian samples, whatever the byte order of this computer.
void decodeFrames(const unsigned char* bytes, std::size_t count, ChannelBlock& block) {
    for (std::size_t frame = 0; frame < count; ++frame) {
        for (int channel = 0; channel < kChannelCount; ++channel) {
            const unsigned char* sample = bytes + frame * kFrameBytes + kSampleBytes * channel;
            block.samples[channel][frame] = static_cast<std::int16_t>(sample[0] | (sample[1] << 8));
        }
    }
    block.frames = count;
}

}  // namespace

RecordingCheck::RecordingCheck(std::optional<std::uint64_t> expectedFrames) : envelopes_(expectedFrames) {}

void RecordingCheck::add(const char* frames, std::size_t frameCount) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(frames);
    ChannelBlock block;
    for (std::size_t done = 0; done < frameCount; done += block.frames) {
        decodeFrames(bytes + done * kFrameBytes, std::min(ChannelBlock::kFrames, frameCount - done), block);
        levels_.add(block);
        envelopes_.add(block);
    }
    frames_ += frameCount;
}

RecordingFindings RecordingCheck::finish() const {
    return {frames_, levels_.finish(), envelopes_.finish()};
}

}  // namespace quorvane::recording
