#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
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
constexpr const char* kRecordFileName = "record.pcm";

// "record_chN.pcm" / "record_chN.wav" for channel N (1-4).
std::string channelPcmName(int channel);
std::string channelWavName(int channel);

// One recording's files: the folder they are in, and the streams (with their
// buffers) that write and read them. Only the recording's audio thread uses
// the streams, once per upload. A single run's are the working folder and the
// streams above; each device of a station has a folder and streams of its
// own.
class RecordingFiles {
public:
    // The working folder, g_recordOut, g_recordIn and g_ch1Out .. g_ch4Out:
    // one for the process.
    static std::shared_ptr<RecordingFiles> workingFolder();
    // `folder` (UTF-8, already made) and streams of its own, with smaller
    // buffers: several splits may run at once.
    static std::shared_ptr<RecordingFiles> inFolder(const std::string& folder);

    // `name` in the folder: "record.pcm", "COM3_/record.pcm".
    std::string path(const std::string& name) const;
    std::ofstream& recordOut() const { return *recordOut_; }
    std::ifstream& recordIn() const { return *recordIn_; }
    // Channel 1..4.
    std::ofstream& channelOut(int channel) const { return *channelOut_[channel - 1]; }
    // Buffers for the split's streams, left untouched until a split uses
    // them; they outlive every split, since the streams keep pointing at them
    // after they are closed.
    char* readBuffer() const { return readBuffer_.get(); }
    std::size_t readBufferSize() const { return readBytes_; }
    char* writeBuffer(int channel) const { return writeBuffers_[channel - 1].get(); }
    std::size_t writeBufferSize() const { return writeBytes_; }

private:
    RecordingFiles(std::string folder, std::size_t readBytes, std::size_t writeBytes);

    struct OwnStreams;
    std::string folder_;
    std::shared_ptr<OwnStreams> own_;
    std::ofstream* recordOut_ = nullptr;
    std::ifstream* recordIn_ = nullptr;
    std::ofstream* channelOut_[kChannelCount] = {};
    std::size_t readBytes_;
    std::size_t writeBytes_;
    std::unique_ptr<char[]> readBuffer_;
    std::unique_ptr<char[]> writeBuffers_[kChannelCount];
};

// `name` in `folder`; "" is the working folder, where the name stands alone.
std::string inFolder(const std::string& folder, const std::string& name);

// The system's text for an errno value captured where a file operation
// failed; streams do not always set errno, so 0 says just that.
std::string fileErrorText(int error);

// The size of the file at `path` (UTF-8), or -1 when it cannot be told
// (missing, no access, a folder).
std::int64_t fileSize(const std::string& path);

}  // namespace quorvane::recording
