#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "device_emulator/loopback.h"
#include "device_emulator/upload_content.h"
#include "device_emulator/uploader.h"

namespace {

using quorvane::emulator::Milliseconds;

constexpr double kPi = 3.14159265358979323846;

std::vector<char> readSignal(quorvane::emulator::SampleFunction sample, const std::vector<std::size_t>& pieceSizes) {
    quorvane::emulator::SignalSource source(sample);
    std::vector<char> bytes;
    for (std::size_t size : pieceSizes) {
        std::vector<char> piece(size);
        source.read(piece.data(), size);
        bytes.insert(bytes.end(), piece.begin(), piece.end());
    }
    return bytes;
}

std::vector<char> readTones(const std::vector<std::size_t>& pieceSizes) {
    return readSignal(quorvane::emulator::toneSample, pieceSizes);
}

int sampleAt(const std::vector<char>& bytes, std::size_t frame, int channel) {
    const std::size_t offset = frame * quorvane::emulator::kFrameBytes + 2 * channel;
    const auto low = static_cast<unsigned char>(bytes[offset]);
    const auto high = static_cast<unsigned char>(bytes[offset + 1]);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
}

int signChangesInOneSecond(const std::vector<char>& bytes, int channel) {
    int changes = 0;
    for (std::size_t frame = 1; frame < quorvane::emulator::kSampleRate; ++frame) {
        changes += (sampleAt(bytes, frame - 1, channel) < 0) != (sampleAt(bytes, frame, channel) < 0);
    }
    return changes;
}

TEST(EmulatorUpload, EachChannelCarriesItsOwnTone) {
    const std::vector<char> second = readTones({quorvane::emulator::kSampleRate * quorvane::emulator::kFrameBytes});
    for (int channel = 0; channel < quorvane::emulator::kChannels; ++channel) {
        const int expected = 2 * quorvane::emulator::kToneHz[channel];
        EXPECT_NEAR(signChangesInOneSecond(second, channel), expected, 2) << "channel " << channel + 1;
    }
}

TEST(EmulatorUpload, SamplesAreLittleEndianSines) {
    const std::vector<char> bytes = readTones({8 * 100});
    for (std::size_t frame : {0u, 1u, 37u, 99u}) {
        for (int channel = 0; channel < quorvane::emulator::kChannels; ++channel) {
            const double phase =
                2 * kPi * quorvane::emulator::kToneHz[channel] * frame / quorvane::emulator::kSampleRate;
            EXPECT_NEAR(sampleAt(bytes, frame, channel), quorvane::emulator::kToneAmplitude * std::sin(phase), 1.0);
        }
    }
}

TEST(EmulatorUpload, PiecesThatCutFramesAndSamplesGiveTheSameStream) {
    const std::vector<char> whole = readTones({4099});
    EXPECT_EQ(readTones({1, 2, 3, 4093}), whole);
    EXPECT_EQ(readTones({8, 4091}), whole);
    EXPECT_EQ(readTones({4096, 3}), whole);
}

TEST(EmulatorUpload, TestSignalHasAToneSilenceAClippedToneAndACopy) {
    const std::vector<char> second =
        readSignal(quorvane::emulator::testSignalSample, {quorvane::emulator::kSampleRate * 8});
    int clipped = 0;
    int peak = 0;
    for (std::size_t frame = 0; frame < quorvane::emulator::kSampleRate; ++frame) {
        SCOPED_TRACE(frame);
        ASSERT_EQ(sampleAt(second, frame, 1), 0);
        ASSERT_EQ(sampleAt(second, frame, 3), sampleAt(second, frame, 0));
        const int overdriven = sampleAt(second, frame, 2);
        clipped += overdriven == 32767 || overdriven == -32768;
        peak = std::max(peak, std::abs(sampleAt(second, frame, 0)));
    }
    EXPECT_NEAR(signChangesInOneSecond(second, 0), 2 * 440, 2);
    EXPECT_EQ(peak, quorvane::emulator::kToneAmplitude);
    EXPECT_NEAR(signChangesInOneSecond(second, 2), 2 * 660, 2);
    // Twice full scale clips where |sin| > 1/2: a third of the samples.
    EXPECT_NEAR(clipped, quorvane::emulator::kSampleRate * 2 / 3, quorvane::emulator::kSampleRate / 100);
}

TEST(EmulatorUpload, SignalIsChosenUnlessASourceFileIsGiven) {
    std::string bytes(8, '\0');
    quorvane::emulator::openContentSource("", quorvane::emulator::UploadSignal::Test)->read(&bytes[0], 8);
    EXPECT_EQ(bytes, std::string(readSignal(quorvane::emulator::testSignalSample, {8}).data(), 8));
    quorvane::emulator::openContentSource("")->read(&bytes[0], 8);
    EXPECT_EQ(bytes, std::string(readTones({8}).data(), 8));
}

TEST(EmulatorUpload, TonesStayExactFarIntoALongRecording) {
    const std::uint64_t afterAnHour = 3600ull * quorvane::emulator::kSampleRate;
    for (int channel = 0; channel < quorvane::emulator::kChannels; ++channel) {
        EXPECT_EQ(quorvane::emulator::toneSample(channel, afterAnHour + 5), quorvane::emulator::toneSample(channel, 5));
    }
}

class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& content) : path_(testing::TempDir() + "emulator_source.raw") {
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TemporaryFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(EmulatorUpload, FileSourceRepeatsTheFileWhenAskedForMore) {
    const TemporaryFile file("0123456789");
    auto source = quorvane::emulator::openContentSource(file.path());
    std::string bytes(25, '\0');
    source->read(&bytes[0], 7);
    source->read(&bytes[7], 18);
    EXPECT_EQ(bytes, "0123456789012345678901234");
}

TEST(EmulatorUpload, EmptyOrMissingSourceIsRefused) {
    const TemporaryFile empty("");
    EXPECT_THROW(quorvane::emulator::openContentSource(empty.path()), std::runtime_error);
    EXPECT_THROW(quorvane::emulator::openContentSource(empty.path() + ".missing"), std::runtime_error);
}

TEST(EmulatorUpload, PlanTakesTheRecordTimeForTheWaitAndTheLength) {
    const quorvane::emulator::UploadPlan plan = quorvane::emulator::planUpload({}, "127.0.0.1", "2.5");
    EXPECT_EQ(plan.address, "127.0.0.1");
    EXPECT_FALSE(plan.addressReplaced);
    EXPECT_EQ(plan.wait, Milliseconds(2500));
    EXPECT_EQ(plan.bytes, 320000u);
}

TEST(EmulatorUpload, PlanOptionsOverrideWaitAndLength) {
    quorvane::emulator::UploadOptions options;
    options.wait = Milliseconds(0);
    options.bytes = 8 * 1000 + 3;
    const quorvane::emulator::UploadPlan plan = quorvane::emulator::planUpload(options, "127.0.0.1", "30");
    EXPECT_EQ(plan.wait, Milliseconds(0));
    EXPECT_EQ(plan.bytes, 8003u);
}

TEST(EmulatorUpload, PlanTakesTheSourceFileSizeByDefault) {
    const TemporaryFile file(std::string(24, 'a'));
    quorvane::emulator::UploadOptions options;
    options.sourcePath = file.path();
    EXPECT_EQ(quorvane::emulator::planUpload(options, "127.0.0.1", "30").bytes, 24u);
}

TEST(EmulatorUpload, PlanNeverLeavesLoopback) {
    for (const char* address : {"192.168.1.7", "10.0.0.5", "", "127.0.0", "localhost", "8.8.8.8"}) {
        const quorvane::emulator::UploadPlan plan = quorvane::emulator::planUpload({}, address, "1");
        EXPECT_EQ(plan.address, "127.0.0.1") << address;
        EXPECT_TRUE(plan.addressReplaced) << address;
    }
    EXPECT_EQ(quorvane::emulator::planUpload({}, "127.0.0.2", "1").address, "127.0.0.2");
    EXPECT_EQ(quorvane::emulator::planUpload({}, "127.255.255.254", "1").address, "127.255.255.254");
}

TEST(EmulatorUpload, PlanTakesZeroForARecordTimeThatIsNotANumber) {
    for (const char* text : {"", "abc", "-5", "1e3", "3s", "1.2.3"}) {
        const quorvane::emulator::UploadPlan plan = quorvane::emulator::planUpload({}, "127.0.0.1", text);
        EXPECT_FALSE(plan.recordTimeUnderstood) << text;
        EXPECT_EQ(plan.wait, Milliseconds(0)) << text;
        EXPECT_EQ(plan.bytes, 0u) << text;
    }
}

}  // namespace
