#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "recording/processing_settings.h"
#include "upload/status_line.h"

namespace quorvane::upload {

constexpr std::chrono::milliseconds kStallNotice{5000};

// Shows on standard error how far the upload has come: bytes, the audio they
// hold and the rate, and, when the size of the whole upload is expected, the
// share of it and the time left. On a terminal one line is rewritten in place
// a few times a second; otherwise (a log file, a pipe) a line is added every
// 10 s. While no byte has come for `stallNotice` or more, it says for how
// long instead of showing the last rate.
class ProgressMeter {
public:
    // `expectedBytes` 0: the size of the upload is not known.
    ProgressMeter(recording::ProgressClock clock, bool onTerminal, std::chrono::milliseconds stallNotice = kStallNotice,
                  std::uint64_t expectedBytes = 0, ColumnQuery columns = standardErrorColumns);

    void add(std::size_t bytes);

    // For a wait that brought no byte: how long the upload has been silent;
    // shows that, at the display's pace, once the silence is long enough.
    std::chrono::steady_clock::duration idle();

    // How long the upload has been silent, without showing anything.
    std::chrono::steady_clock::duration silence() const;

    // Ends the running line with the total, the time taken and the rate.
    void finish();

private:
    StatusText received(std::chrono::steady_clock::time_point now) const;
    StatusText stalled(std::chrono::steady_clock::duration silent) const;
    StatusText ended(std::chrono::steady_clock::time_point now) const;
    TextPart amount(int dropRank) const;
    std::string rate(std::chrono::steady_clock::time_point now) const;

    recording::ProgressClock clock_;
    StatusLine line_;
    std::chrono::milliseconds stallNotice_;
    std::uint64_t expected_;
    std::chrono::steady_clock::time_point began_;
    std::chrono::steady_clock::time_point lastData_;
    std::chrono::steady_clock::time_point nextShow_;
    std::uint64_t total_ = 0;
};

// Counts the recording down on standard error while the upload is awaited
// ("recording: 0:12 of 0:30"), then says that the recording has ended and the
// upload is awaited. On a terminal the line is redrawn every second;
// otherwise a line is added every 10 s and when the record time has passed.
class RecordingCountdown {
public:
    RecordingCountdown(recording::ProgressClock clock, std::chrono::seconds recordTime, bool onTerminal,
                       ColumnQuery columns = standardErrorColumns);

    // Shows what is due by now; how long until the next is due.
    std::chrono::steady_clock::duration update();

    // Takes the line off a terminal, for another message or for the upload's
    // own progress; the next update draws it again at once.
    void clear();

private:
    StatusText describe(std::chrono::steady_clock::duration waited) const;
    std::chrono::steady_clock::duration nextShowAfter(std::chrono::steady_clock::duration waited) const;

    recording::ProgressClock clock_;
    std::chrono::seconds recordTime_;
    StatusLine line_;
    std::chrono::steady_clock::time_point began_;
    std::chrono::steady_clock::time_point nextShow_;
};

}  // namespace quorvane::upload
