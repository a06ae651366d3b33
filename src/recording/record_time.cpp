#include "recording/record_time.h"

#include <cstddef>
#include <cstdio>

#include "recording/record_files.h"

namespace quorvane::recording {

namespace {

// Nine digits are some 31 years; more is a typing error, not a record time.
constexpr std::size_t kLongestRecordTime = 9;

}  // namespace

std::optional<std::chrono::seconds> recordSeconds(const std::string& recordTime) {
    if (recordTime.empty() || recordTime.size() > kLongestRecordTime ||
        recordTime.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::chrono::seconds(std::stol(recordTime));
}

std::uint64_t expectedUploadBytes(const std::string& recordTime) {
    const auto seconds = recordSeconds(recordTime);
    return seconds ? static_cast<std::uint64_t>(seconds->count()) * kAudioBytesPerSecond : 0;
}

double secondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

std::string audioDuration(std::uint64_t bytes) {
    const std::uint64_t tenths = bytes * 10 / kAudioBytesPerSecond;
    char text[48];
    std::snprintf(text, sizeof text, "%llu:%02u:%02u.%u", static_cast<unsigned long long>(tenths / 36000),
                  static_cast<unsigned>(tenths / 600 % 60), static_cast<unsigned>(tenths / 10 % 60),
                  static_cast<unsigned>(tenths % 10));
    return text;
}

}  // namespace quorvane::recording
