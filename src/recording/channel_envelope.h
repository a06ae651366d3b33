#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "recording/channel_levels.h"

namespace quorvane::recording {

// Columns of the picture's lanes: a screen's width, and a fixed 13 KB for
// four channels however long the recording.
constexpr std::size_t kEnvelopeColumns = 800;

// The lowest and highest sample of one column; low > high while no frame
// fell into it.
struct EnvelopeColumn {
    std::int16_t low = 32767;
    std::int16_t high = -32768;

    bool empty() const { return low > high; }
};

struct ChannelEnvelopes {
    // The frames spread over the columns: as told up front, or, when the
    // length was not known, every frame seen.
    std::uint64_t expectedFrames = 0;
    // Columns in use: kEnvelopeColumns, fewer when there are fewer frames,
    // so that no column stays between two frames; for a length not known up
    // front, as many as the frames filled.
    std::size_t columns = 0;
    std::array<std::array<EnvelopeColumn, kEnvelopeColumns>, kChannelCount> channels;
};

// Gathers the min/max envelope of each channel in a fixed number of columns
// over time, a block of frames at a time.
class EnvelopeMeter {
public:
    // The frame count, when known before the first frame (record.pcm's
    // size), maps frames to columns; frames beyond it go to the last column.
    // Without it (a recording read from a pipe) a column holds one frame at
    // first, and each time the columns run out, neighbouring columns merge
    // pairwise and a column holds twice as many frames as before.
    explicit EnvelopeMeter(std::optional<std::uint64_t> expectedFrames);

    void add(const ChannelBlock& block);

    const ChannelEnvelopes& finish() const { return envelopes_; }

private:
    std::uint64_t columnStart(std::size_t column) const;
    std::size_t knownLengthRun(std::size_t left);
    std::size_t growingRun(std::size_t left);
    void mergeColumnPairs();
    void addToColumn(const ChannelBlock& block, std::size_t first, std::size_t count);

    ChannelEnvelopes envelopes_;
    bool lengthKnown_;
    std::uint64_t frame_ = 0;
    std::size_t column_ = 0;
    std::uint64_t nextColumnStart_ = 0;
    // For a length not known up front: the frames each column holds.
    std::uint64_t framesPerColumn_ = 1;
};

}  // namespace quorvane::recording
