#include "recording/record_files.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>
#include <filesystem>
#include <system_error>

std::ofstream g_recordOut;
std::ifstream g_recordIn;
std::ofstream g_ch1Out;
std::ofstream g_ch2Out;
std::ofstream g_ch3Out;
std::ofstream g_ch4Out;

namespace quorvane::recording {

namespace {

// Far larger than the runtime's few kilobytes, so that an hour of audio
// (460.8 MB read, as much written) takes thousands of system calls rather
// than a hundred thousand; a station's devices split at once, with less.
constexpr std::size_t kReadBuffer = 1024 * 1024;
constexpr std::size_t kWriteBuffer = 256 * 1024;
constexpr std::size_t kStationReadBuffer = 256 * 1024;
constexpr std::size_t kStationWriteBuffer = 64 * 1024;

}  // namespace

struct RecordingFiles::OwnStreams {
    std::ofstream recordOut;
    std::ifstream recordIn;
    std::ofstream channelOut[kChannelCount];
};

RecordingFiles::RecordingFiles(std::string folder, std::size_t readBytes, std::size_t writeBytes)
    : folder_(std::move(folder)), readBytes_(readBytes), writeBytes_(writeBytes), readBuffer_(new char[readBytes]) {
    for (auto& buffer : writeBuffers_) {
        buffer.reset(new char[writeBytes]);
    }
}

// One for the process, as the streams it uses are.
std::shared_ptr<RecordingFiles> RecordingFiles::workingFolder() {
    static const std::shared_ptr<RecordingFiles> files = [] {
        std::shared_ptr<RecordingFiles> made(new RecordingFiles("", kReadBuffer, kWriteBuffer));
        made->recordOut_ = &g_recordOut;
        made->recordIn_ = &g_recordIn;
        std::ofstream* const channels[kChannelCount] = {&g_ch1Out, &g_ch2Out, &g_ch3Out, &g_ch4Out};
        std::copy(std::begin(channels), std::end(channels), made->channelOut_);
        return made;
    }();
    return files;
}

std::shared_ptr<RecordingFiles> RecordingFiles::inFolder(const std::string& folder) {
    std::shared_ptr<RecordingFiles> files(new RecordingFiles(folder, kStationReadBuffer, kStationWriteBuffer));
    files->own_ = std::make_shared<OwnStreams>();
    files->recordOut_ = &files->own_->recordOut;
    files->recordIn_ = &files->own_->recordIn;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        files->channelOut_[channel] = &files->own_->channelOut[channel];
    }
    return files;
}

std::string RecordingFiles::path(const std::string& name) const {
    return recording::inFolder(folder_, name);
}

std::string inFolder(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

std::string channelPcmName(int channel) {
    return "record_ch" + std::to_string(channel) + ".pcm";
}

std::string channelWavName(int channel) {
    return "record_ch" + std::to_string(channel) + ".wav";
}

std::string fileErrorText(int error) {
    return error != 0 ? std::strerror(error) : "the system gave no reason";
}

std::int64_t fileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(std::filesystem::u8path(path), error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

}  // namespace quorvane::recording
