#include "upload/channel_envelope.h"

#include <algorithm>

namespace quorvane::upload {

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

// Frames beyond the expected count stay in the last column. Each column's
// frames are taken as one run, so the column is looked for once a run.
void EnvelopeMeter::add(const ChannelBlock& block) {
    if (envelopes_.columns == 0) {
        return;
    }
    for (std::size_t first = 0; first < block.frames;) {
        while (frame_ >= nextColumnStart_ && column_ + 1 < envelopes_.columns) {
            nextColumnStart_ = columnStart(++column_ + 1);
        }
        const std::size_t left = block.frames - first;
        const bool last = column_ + 1 == envelopes_.columns;
        const std::size_t run =
            last ? left : static_cast<std::size_t>(std::min<std::uint64_t>(left, nextColumnStart_ - frame_));
        addToColumn(block, first, run);
        first += run;
        frame_ += run;
    }
}

void EnvelopeMeter::addToColumn(const ChannelBlock& block, std::size_t first, std::size_t count) {
    for (int channel = 0; channel < kChannelCount; ++channel) {
        const std::int16_t* samples = block.samples[channel].data() + first;
        EnvelopeColumn& cell = envelopes_.channels[channel][column_];
        std::int16_t low = cell.low;
        std::int16_t high = cell.high;
        for (std::size_t index = 0; index < count; ++index) {
            low = std::min(low, samples[index]);
            high = std::max(high, samples[index]);
        }
        cell.low = low;
        cell.high = high;
    }
}

}  // namespace quorvane::upload
