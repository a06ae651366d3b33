#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

namespace quorvane::emulator {

constexpr int kChannels = 4;
constexpr int kSampleRate = 16000;
constexpr std::size_t kFrameBytes = 8;
constexpr std::array<int, kChannels> kToneHz = {440, 660, 880, 1100};
constexpr int kToneAmplitude = 8000;
// Device k of several plays every tone (k-1) steps higher, so that each
// device's upload differs from the others' byte for byte.
constexpr int kDeviceToneStepHz = 20;
// The test signal's channel 3 is driven to this many times full scale.
constexpr int kTestSignalOverdrive = 2;

// What the device uploads when no source file is given.
enum class UploadSignal {
    // Channel N a sine of kToneHz[N].
    Tones,
    // Channel 1 a 440 Hz tone, 2 silence, 3 a 660 Hz tone clipped at full
    // scale, 4 an exact copy of channel 1: a device whose channels show a
    // fault each, for the host's recording check.
    Test,
};

// The audio the device uploads, as an endless byte stream read in pieces of
// any size (a piece may end inside a frame or inside a sample).
class ContentSource {
public:
    virtual ~ContentSource() = default;
    virtual void read(char* out, std::size_t count) = 0;
};

using SampleFunction = std::int16_t (*)(int channel, std::uint64_t frame, unsigned device);

// Frames made sample by sample by a function of channel and frame number,
// for one device.
class SignalSource : public ContentSource {
public:
    explicit SignalSource(SampleFunction sample, unsigned device = 1) : sample_(sample), device_(device) {}
    void read(char* out, std::size_t count) override;

private:
    void frameBytes(std::uint64_t frame, char (&out)[kFrameBytes]) const;

    SampleFunction sample_;
    unsigned device_;
    std::uint64_t position_ = 0;
};

// A raw 4-channel s16le file, started again from its beginning when it ends.
class LoopingFileSource : public ContentSource {
public:
    explicit LoopingFileSource(const std::string& path);
    void read(char* out, std::size_t count) override;

private:
    std::ifstream file_;
};

// The frequency of channel's tone on device (1-based).
int toneHz(int channel, unsigned device = 1);

// Channel N carries a sine of toneHz(N), so a swapped or shifted channel in
// the host's split shows as the wrong tone.
std::int16_t toneSample(int channel, std::uint64_t frame, unsigned device = 1);

// The UploadSignal::Test channels.
std::int16_t testSignalSample(int channel, std::uint64_t frame, unsigned device = 1);

// The signal of device (1-based) when path is empty, else the file; throws
// std::runtime_error when the file cannot be read or is empty.
std::unique_ptr<ContentSource> openContentSource(const std::string& path, UploadSignal signal = UploadSignal::Tones,
                                                 unsigned device = 1);

// Size in bytes of a file, or nothing when it cannot be read.
std::optional<std::uint64_t> fileSize(const std::string& path);

// Seconds of audio as whole frames' bytes.
std::uint64_t bytesOfAudio(double seconds);

// The record time of the upload request ("-t"), as seconds; nothing when the
// text is not a plain non-negative number.
std::optional<double> parseRecordSeconds(const std::string& text);

}  // namespace quorvane::emulator
