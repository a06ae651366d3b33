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

// Every duration the user reads is written this one way: "m:ss", from an
// hour on "h:mm:ss", with `decimals` places of the second (cut, not rounded:
// 0.99 s of audio is not yet a second) where it is measured.
std::string clockText(std::chrono::milliseconds time, int decimals = 0);

// The same for a measured `duration`, rounded to `decimals` places.
std::string elapsedText(std::chrono::steady_clock::duration duration, int decimals = 1);

// The audio that `bytes` of a recording hold, cut to a tenth of a second,
// and as the user reads it.
std::chrono::milliseconds audioLength(std::uint64_t bytes);
std::string audioDuration(std::uint64_t bytes);

}  // namespace quorvane::recording
