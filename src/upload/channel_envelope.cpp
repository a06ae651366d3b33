#include "upload/channel_envelope.h"

#include <algorithm>

namespace upload {

EnvelopeMeter::EnvelopeMeter(std::uint64_t expectedFrames) {
    envelopes_.expectedFrames = expectedFrames;
    envelopes_.columns = static_cast<std::size_t>(std::min<std::uint64_t>(kEnvelopeColumns, expectedFrames));
    nextColumnStart_ = columnStart(1);
}

// Frame f belongs to column f * columns / expectedFrames (rounded down), so
// column c starts at the frame c * expectedFrames / columns rounded up.
// Working out the next start once a column, rather than dividing for every
// frame, keeps the envelope's share of the split small.
std::uint64_t EnvelopeMeter::columnStart(std::size_t column) const {
    if (envelopes_.columns == 0) {
        return 0;
    }
    return (column * envelopes_.expectedFrames + envelopes_.columns - 1) / envelopes_.columns;
}

void EnvelopeMeter::add(const FrameSamples& frame) {
    if (envelopes_.columns == 0) {
        return;
    }
    // Frames beyond the expected count stay in the last column.
    while (frame_ >= nextColumnStart_ && column_ + 1 < envelopes_.columns) {
        nextColumnStart_ = columnStart(++column_ + 1);
    }
    for (int channel = 0; channel < kChannelCount; ++channel) {
        EnvelopeColumn& cell = envelopes_.channels[channel][column_];
        cell.low = std::min(cell.low, frame[channel]);
        cell.high = std::max(cell.high, frame[channel]);
    }
    ++frame_;
}

}  // namespace upload
