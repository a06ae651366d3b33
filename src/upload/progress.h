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

constexpr std::chrono::milliseconds kStallNotice{5000};

// Shows on standard error how far the upload has come: bytes, the audio they
// hold and the rate. On a terminal one line is rewritten in place a few times
// a second; otherwise (a log file, a pipe) a line is added every 10 s. While
// no byte has come for `stallNotice` or more, it says for how long instead
// of showing the last rate.
class ProgressMeter {
public:
    ProgressMeter(ProgressClock clock, bool onTerminal, std::chrono::milliseconds stallNotice = kStallNotice);

    void add(std::size_t bytes);

    // For a wait that brought no byte: how long the upload has been silent;
    // shows that, at the display's pace, once the silence is long enough.
    std::chrono::steady_clock::duration idle();

    // How long the upload has been silent, without showing anything.
    std::chrono::steady_clock::duration silence() const;

    // Ends the running line with the total, the time taken and the rate.
    void finish();

private:
    std::string describe(std::chrono::steady_clock::time_point now) const;
    std::string amount() const;
    void show(const std::string& text, const char* ending);

    ProgressClock clock;
    bool onTerminal;
    std::chrono::milliseconds stallNotice;
    std::chrono::steady_clock::time_point began;
    std::chrono::steady_clock::time_point lastData;
    std::chrono::steady_clock::time_point nextShow;
    std::uint64_t total = 0;
    std::size_t shownLength = 0;
};

}  // namespace upload
