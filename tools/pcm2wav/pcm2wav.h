#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace pcm2wav {

struct WavFormat {
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;

    std::uint16_t blockAlign() const;
};

constexpr std::size_t kHeaderBytes = 44;

// The exit statuses of the converter.
constexpr int kConverted = 0;
constexpr int kFailed = 1;
constexpr int kBadArguments = 2;

// Reads "channels rate bits" as decimal numbers. False, with `problem` set,
// when one is no number or the combination makes no PCM WAV file.
bool parseFormat(const char* channels, const char* rate, const char* bits, WavFormat& format, std::string& problem);

// The canonical 44-byte RIFF/WAVE header of a PCM file with `dataBytes` of
// samples (a pad byte follows odd-sized data, as RIFF wants).
std::array<unsigned char, kHeaderBytes> wavHeader(const WavFormat& format, std::uint32_t dataBytes);

// The most sample bytes a WAV header can describe.
std::uint64_t largestData();

// Writes `output` as a WAV file holding the headerless samples of `input`; a
// trailing partial sample frame is dropped. Streams through a fixed buffer.
// Returns kConverted, or kFailed with `problem` set (and no output left).
int convert(const std::string& input, const std::string& output, const WavFormat& format, std::string& problem);

}  // namespace pcm2wav
