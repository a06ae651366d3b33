#include "upload/progress.h"

#include "recording/record_time.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "recording/record_files.h"

namespace quorvane::upload {

namespace {

constexpr std::chrono::milliseconds kTerminalRedraw{250};
constexpr std::chrono::seconds kLogLineInterval{10};
constexpr std::chrono::seconds kCountdownRedraw{1};
// A longer estimate comes from an upload that has all but stopped; it says
// nothing, and would not fit the clock's text.
constexpr double kLongestTimeLeft = 100.0 * 3600;

std::chrono::steady_clock::duration showInterval(bool onTerminal) {
    return onTerminal ? std::chrono::steady_clock::duration(kTerminalRedraw)
                      : std::chrono::steady_clock::duration(kLogLineInterval);
}

std::string percentOf(std::uint64_t part, std::uint64_t whole) {
    return std::to_string(part * 100 / whole) + "%";
}

// From the mean rate so far; nothing before the first byte, once the
// expected size is reached, and when it would take 100 hours or more.
std::optional<std::chrono::seconds> timeLeft(std::uint64_t received, std::uint64_t expected, double seconds) {
    if (received == 0 || received >= expected) {
        return std::nullopt;
    }
    const double left = std::ceil(static_cast<double>(expected - received) * seconds / static_cast<double>(received));
    if (left >= kLongestTimeLeft) {
        return std::nullopt;
    }
    return std::chrono::seconds(static_cast<std::chrono::seconds::rep>(left));
}

}  // namespace

ProgressMeter::ProgressMeter(recording::ProgressClock clock, bool onTerminal, std::chrono::milliseconds stallNotice,
                             std::uint64_t expectedBytes, ColumnQuery columns)
    : clock_(std::move(clock)),
      line_(onTerminal, std::move(columns)),
      stallNotice_(stallNotice),
      expected_(expectedBytes) {
    began_ = this->clock_();
    lastData_ = began_;
    nextShow_ = began_ + showInterval(onTerminal);
}

void ProgressMeter::add(std::size_t bytes) {
    total_ += bytes;
    const auto now = clock_();
    lastData_ = now;
    if (now < nextShow_) {
        return;
    }
    nextShow_ = now + showInterval(line_.onTerminal());
    line_.show(received(now));
}

std::chrono::steady_clock::duration ProgressMeter::idle() {
    const auto now = clock_();
    const auto silent = now - lastData_;
    if (silent < stallNotice_ || now < nextShow_) {
        return silent;
    }
    nextShow_ = now + showInterval(line_.onTerminal());
    line_.show(stalled(silent));
    return silent;
}

std::chrono::steady_clock::duration ProgressMeter::silence() const {
    return clock_() - lastData_;
}

void ProgressMeter::finish() {
    line_.end(ended(clock_()));
}

// Narrowed, the line keeps the share and the time left longest, then the
// bytes; the audio they hold goes first.
StatusText ProgressMeter::received(std::chrono::steady_clock::time_point now) const {
    if (expected_ == 0) {
        return {{"", "received", 3},
                amount(0),
                {" ", "(" + recording::audioDuration(total_) + " of audio)", 4},
                {" at ", rate(now), 1}};
    }
    StatusText text{{"", "received", 5},
                    amount(2),
                    {" ", "(" + recording::audioDuration(total_) + " of audio)", 6},
                    {", ", percentOf(total_, expected_), 0},
                    {" at ", rate(now), 4}};
    if (const auto left = timeLeft(total_, expected_, recording::secondsBetween(began_, now))) {
        text.push_back({", ", recording::clockText(*left) + " left", 1});
    }
    return text;
}

// The same whether the size was expected or not: scripts read how long the
// upload has been silent.
StatusText ProgressMeter::stalled(std::chrono::steady_clock::duration silent) const {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(silent);
    return {{"", "received", 2},
            {" ", std::to_string(total_) + " bytes", 1},
            {" ", "(" + recording::audioDuration(total_) + " of audio)", 3},
            {"; ", "no data for " + recording::clockText(seconds), 0}};
}

// The same whether the size was expected or not: scripts read the line that
// ends the upload.
StatusText ProgressMeter::ended(std::chrono::steady_clock::time_point now) const {
    return {{"", "upload ended:", 1},
            {" ", "received", 3},
            {" ", std::to_string(total_) + " bytes", 0},
            {" ", "(" + recording::audioDuration(total_) + " of audio)", 4},
            {" at ", rate(now), 5},
            {" in ", recording::elapsedText(now - began_), 2}};
}

// The bytes received, and of how many when the size is expected.
TextPart ProgressMeter::amount(int dropRank) const {
    const std::string whole = expected_ != 0 ? " of " + std::to_string(expected_) : "";
    return {" ", std::to_string(total_) + whole + " bytes", dropRank};
}

std::string ProgressMeter::rate(std::chrono::steady_clock::time_point now) const {
    const double seconds = std::max(recording::secondsBetween(began_, now), 1e-3);
    char text[48];
    std::snprintf(text, sizeof text, "%.2f MB/s", total_ / seconds / 1e6);
    return text;
}

RecordingCountdown::RecordingCountdown(recording::ProgressClock clock, std::chrono::seconds recordTime, bool onTerminal,
                                       ColumnQuery columns)
    : clock_(std::move(clock)), recordTime_(recordTime), line_(onTerminal, std::move(columns)) {
    began_ = this->clock_();
    nextShow_ = began_;
    if (!onTerminal) {
        nextShow_ += std::min<std::chrono::seconds>(kLogLineInterval, recordTime);
    }
}

std::chrono::steady_clock::duration RecordingCountdown::update() {
    const auto now = clock_();
    if (now >= nextShow_) {
        line_.show(describe(now - began_));
        nextShow_ = began_ + nextShowAfter(now - began_);
    }
    return nextShow_ - now;
}

void RecordingCountdown::clear() {
    line_.clear();
    if (line_.onTerminal()) {
        nextShow_ = began_;
    }
}

StatusText RecordingCountdown::describe(std::chrono::steady_clock::duration waited) const {
    if (waited < recordTime_) {
        const auto recorded = std::chrono::floor<std::chrono::seconds>(waited);
        return {{"", "recording", 1}, {": ", recording::clockText(recorded) + " of " + recording::clockText(recordTime_), 0}};
    }
    StatusText text{{"", "recording ended", 3}};
    const auto since = std::chrono::floor<std::chrono::seconds>(waited - recordTime_);
    if (since.count() > 0) {
        text.push_back({" ", recording::clockText(since) + " ago", 4});
    }
    text.push_back({"; ", "waiting", 0});
    text.push_back({"", " for the upload", 2});
    return text;
}

// On a terminal the seconds tick on; in a log a line every 10 s of the
// recording, one when it ends and one every 10 s of waiting after that.
std::chrono::steady_clock::duration RecordingCountdown::nextShowAfter(
    std::chrono::steady_clock::duration waited) const {
    if (line_.onTerminal()) {
        return std::chrono::floor<std::chrono::seconds>(waited) + kCountdownRedraw;
    }
    if (waited < recordTime_) {
        return std::min<std::chrono::steady_clock::duration>((waited / kLogLineInterval + 1) * kLogLineInterval,
                                                             recordTime_);
    }
    return recordTime_ + ((waited - recordTime_) / kLogLineInterval + 1) * kLogLineInterval;
}

}  // namespace quorvane::upload
