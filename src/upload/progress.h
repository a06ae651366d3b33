#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace upload {

using ProgressClock = std::function<std::chrono::steady_clock::time_point()>;

// Four channels of 16-bit samples at 16 kHz.
constexpr std::uint64_t kAudioBytesPerSecond = 128000;

double secondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to);

// "h:mm:ss.s" of audio that `bytes` of the upload hold.
std::string audioDuration(std::uint64_t bytes);

// Shows on standard error how far the upload has come: bytes, the audio they
// hold and the rate. On a terminal one line is rewritten in place a few times
// a second; otherwise (a log file, a pipe) a line is added every 10 s.
class ProgressMeter {
public:
    ProgressMeter(ProgressClock clock, bool onTerminal);

    void add(std::size_t bytes);

    // Ends the running line with the total, the time taken and the rate.
    void finish();

private:
    std::string describe(std::chrono::steady_clock::time_point now) const;
    void show(const std::string& text, const char* ending);

    ProgressClock clock;
    bool onTerminal;
    std::chrono::steady_clock::time_point began;
    std::chrono::steady_clock::time_point nextShow;
    std::uint64_t total = 0;
    std::size_t shownLength = 0;
};

}  // namespace upload
