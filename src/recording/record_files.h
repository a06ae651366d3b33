#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

// The recording's files in the working directory. Only the audio thread
// opens, uses and closes these streams, once per upload.
extern std::ofstream g_recordOut;
extern std::ifstream g_recordIn;
extern std::ofstream g_ch1Out;
extern std::ofstream g_ch2Out;
extern std::ofstream g_ch3Out;
extern std::ofstream g_ch4Out;

namespace quorvane::recording {

// The recording's format: four interleaved 16-bit channels at 16 kHz.
constexpr int kChannelCount = 4;
constexpr std::size_t kSampleBytes = 2;
constexpr std::size_t kFrameBytes = kSampleBytes * kChannelCount;
constexpr std::uint32_t kFramesPerSecond = 16000;
constexpr std::uint64_t kAudioBytesPerSecond = kFrameBytes * kFramesPerSecond;
constexpr const char* kRecordPath = "./record.pcm";

// "record_chN.pcm" / "record_chN.wav" for channel N (1-4).
std::string channelPcmName(int channel);
std::string channelWavName(int channel);

// The system's text for an errno value captured where a file operation
// failed; streams do not always set errno, so 0 says just that.
std::string fileErrorText(int error);

// The size of the file at `path` (UTF-8), or -1 when it cannot be told
// (missing, no access, a folder).
std::int64_t fileSize(const std::string& path);

}  // namespace quorvane::recording
