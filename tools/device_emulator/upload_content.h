#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

namespace emulator {

constexpr int kChannels = 4;
constexpr int kSampleRate = 16000;
constexpr std::size_t kFrameBytes = 8;
constexpr std::array<int, kChannels> kToneHz = {440, 660, 880, 1100};
constexpr int kToneAmplitude = 8000;

// The audio the device uploads, as an endless byte stream read in pieces of
// any size (a piece may end inside a frame or inside a sample).
class ContentSource {
public:
    virtual ~ContentSource() = default;
    virtual void read(char* out, std::size_t count) = 0;
};

// Channel N carries a sine of kToneHz[N], so a swapped or shifted channel in
// the host's split shows as the wrong tone.
class ToneSource : public ContentSource {
public:
    void read(char* out, std::size_t count) override;

private:
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

std::int16_t toneSample(int channel, std::uint64_t frame);

// Tones when path is empty, else the file; throws std::runtime_error when the
// file cannot be read or is empty.
std::unique_ptr<ContentSource> openContentSource(const std::string& path);

// Size in bytes of a file, or nothing when it cannot be read.
std::optional<std::uint64_t> fileSize(const std::string& path);

// Seconds of audio as whole frames' bytes.
std::uint64_t bytesOfAudio(double seconds);

// The record time of the upload request ("-t"), as seconds; nothing when the
// text is not a plain non-negative number.
std::optional<double> parseRecordSeconds(const std::string& text);

}  // namespace emulator
