#include "recording/record_time.h"

#include <algorithm>
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

std::string clockText(std::chrono::milliseconds time, int decimals) {
    const auto places = std::clamp(decimals, 0, 3);
    const long long whole = std::max<long long>(time.count(), 0);
    const long long seconds = whole / 1000;
    char fraction[8] = "";
    if (places > 0) {
        std::snprintf(fraction, sizeof fraction, ".%03lld", whole % 1000);
        fraction[places + 1] = '\0';
    }
    char text[64];
    if (seconds < 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld%s", seconds / 60, seconds % 60, fraction);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld%s", seconds / 3600, seconds / 60 % 60, seconds % 60,
                      fraction);
    }
    return text;
}

std::string elapsedText(std::chrono::steady_clock::duration duration, int decimals) {
    const auto places = std::clamp(decimals, 0, 3);
    long long unit = 1000;
    for (int place = 0; place < places; ++place) {
        unit /= 10;
    }
    const auto milliseconds = std::chrono::round<std::chrono::milliseconds>(duration).count();
    const auto rounded = (milliseconds + unit / 2) / unit * unit;
    return clockText(std::chrono::milliseconds(rounded), places);
}

std::chrono::milliseconds audioLength(std::uint64_t bytes) {
    return std::chrono::milliseconds(static_cast<long long>(bytes * 10 / kAudioBytesPerSecond) * 100);
}

std::string audioDuration(std::uint64_t bytes) {
    return clockText(audioLength(bytes), 1);
}

}  // namespace quorvane::recording
