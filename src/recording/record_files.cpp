#include "recording/record_files.h"

#include <cstring>
#include <filesystem>
#include <system_error>

std::ofstream g_recordOut;
std::ifstream g_recordIn;
std::ofstream g_ch1Out;
std::ofstream g_ch2Out;
std::ofstream g_ch3Out;
std::ofstream g_ch4Out;

namespace quorvane::recording {

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
