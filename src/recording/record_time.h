#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace quorvane::recording {

// The record time the device is sent, when it is a whole number of seconds
// ("30"); nothing otherwise. The countdown, the expected upload size, the
// duration line and the summary all read it this one way.
std::optional<std::chrono::seconds> recordSeconds(const std::string& recordTime);

// The size of the upload a recording of `recordTime` makes; 0 (not known)
// when the record time is no whole number of seconds.
std::uint64_t expectedUploadBytes(const std::string& recordTime);

double secondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to);

// "h:mm:ss.s" of audio that `bytes` of a recording hold.
std::string audioDuration(std::uint64_t bytes);

}  // namespace quorvane::recording
