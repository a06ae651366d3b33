#include "upload/record_time.h"

#include <cstddef>

#include "upload/record_files.h"

namespace quorvane::upload {

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

}  // namespace quorvane::upload
