#include "upload/channel_envelope.h"

#include <algorithm>

namespace upload {

EnvelopeMeter::EnvelopeMeter(std::uint64_t expectedFrames) {
    envelopes_.expectedFrames = expectedFrames;
    envelopes_.columns = static_cast<std::size_t>(std::min<std::uint64_t>(kEnvelopeColumns, expectedFrames));
}

void EnvelopeMeter::add(const FrameSamples& frame) {
    if (envelopes_.columns == 0) {
        return;
    }
    // Below 2^54 frames (36 000 years of audio) the product cannot overflow.
    const std::uint64_t column =
        std::min<std::uint64_t>(frame_ * envelopes_.columns / envelopes_.expectedFrames, envelopes_.columns - 1);
    for (int channel = 0; channel < kChannelCount; ++channel) {
        EnvelopeColumn& cell = envelopes_.channels[channel][column];
        cell.low = std::min(cell.low, frame[channel]);
        cell.high = std::max(cell.high, frame[channel]);
    }
    ++frame_;
}

}  // namespace upload
