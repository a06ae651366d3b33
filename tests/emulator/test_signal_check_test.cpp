#include <gtest/gtest.h>

#include <vector>

#include "device_emulator/upload_content.h"
#include "recording/recording_check.h"

namespace {

// The emulator's test signal is there to show each of the host's verdicts
// once: the two programs must agree on what the signal is.
TEST(EmulatorTestSignal, HostsRecordingCheckFindsOneFaultAChannel) {
    constexpr std::size_t kFrames = 3 * quorvane::emulator::kSampleRate;
    std::vector<char> bytes(kFrames * quorvane::emulator::kFrameBytes);
    quorvane::emulator::openContentSource("", quorvane::emulator::UploadSignal::Test)->read(bytes.data(), bytes.size());

    quorvane::recording::RecordingCheck check(kFrames);
    for (std::size_t first = 0; first < kFrames; first += 160) {
        check.add(bytes.data() + first * quorvane::emulator::kFrameBytes, 160);
    }
    const quorvane::recording::ChannelLevelSet levels = check.finish().levels;

    EXPECT_EQ(levels[0].verdict, quorvane::recording::Verdict::Ok);
    EXPECT_EQ(levels[1].verdict, quorvane::recording::Verdict::Silent);
    EXPECT_EQ(levels[2].verdict, quorvane::recording::Verdict::Clipping);
    EXPECT_EQ(levels[3].verdict, quorvane::recording::Verdict::SameAsChannel);
    EXPECT_EQ(levels[3].sameAsChannel, 1);
    EXPECT_DOUBLE_EQ(levels[0].seconds, 3.0);
}

}  // namespace
