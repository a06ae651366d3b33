#include "recording/channel_envelope.h"

#include <algorithm>

namespace quorvane::recording {

static_assert(kEnvelopeColumns % 2 == 0, "the columns merge pairwise");

EnvelopeMeter::EnvelopeMeter(std::optional<std::uint64_t> expectedFrames) : lengthKnown_(expectedFrames.has_value()) {
    if (lengthKnown_) {
        envelopes_.expectedFrames = *expectedFrames;
        envelopes_.columns = static_cast<std::size_t>(std::min<std::uint64_t>(kEnvelopeColumns, *expectedFrames));
        nextColumnStart_ = columnStart(1);
    }
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

// Each column's frames are taken as one run, so the column is looked for once
// a run.
void EnvelopeMeter::add(const ChannelBlock& block) {
    if (lengthKnown_ && envelopes_.columns == 0) {
        return;
    }
    for (std::size_t first = 0; first < block.frames;) {
        const std::size_t left = block.frames - first;
        const std::size_t run = lengthKnown_ ? knownLengthRun(left) : growingRun(left);
        addToColumn(block, first, run);
        first += run;
        frame_ += run;
    }
    if (!lengthKnown_) {
        envelopes_.expectedFrames = frame_;
    }
}

// Frames beyond the expected count stay in the last column.
std::size_t EnvelopeMeter::knownLengthRun(std::size_t left) {
    while (frame_ >= nextColumnStart_ && column_ + 1 < envelopes_.columns) {
        nextColumnStart_ = columnStart(++column_ + 1);
    }
    if (column_ + 1 == envelopes_.columns) {
        return left;
    }
    return static_cast<std::size_t>(std::min<std::uint64_t>(left, nextColumnStart_ - frame_));
}

std::size_t EnvelopeMeter::growingRun(std::size_t left) {
    if (frame_ / framesPerColumn_ == kEnvelopeColumns) {
        mergeColumnPairs();
    }
    column_ = static_cast<std::size_t>(frame_ / framesPerColumn_);
    envelopes_.columns = column_ + 1;
    return static_cast<std::size_t>(std::min<std::uint64_t>(left, (column_ + 1) * framesPerColumn_ - frame_));
}

// Columns 2c and 2c + 1 become column c; the upper half is free again.
void EnvelopeMeter::mergeColumnPairs() {
    for (auto& columns : envelopes_.channels) {
        for (std::size_t column = 0; column < kEnvelopeColumns / 2; ++column) {
            const EnvelopeColumn& even = columns[2 * column];
            const EnvelopeColumn& odd = columns[2 * column + 1];
            columns[column] = {std::min(even.low, odd.low), std::max(even.high, odd.high)};
        }
        std::fill(columns.begin() + kEnvelopeColumns / 2, columns.end(), EnvelopeColumn{});
    }
    framesPerColumn_ *= 2;
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

}  // namespace quorvane::recording
