#include "upload/progress.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/diagnostics.h"

namespace upload {

namespace {

constexpr std::chrono::milliseconds kTerminalRedraw{250};
constexpr std::chrono::seconds kLogLineInterval{10};

std::chrono::steady_clock::duration showInterval(bool onTerminal) {
    return onTerminal ? std::chrono::steady_clock::duration(kTerminalRedraw)
                      : std::chrono::steady_clock::duration(kLogLineInterval);
}

}  // namespace

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

ProgressMeter::ProgressMeter(ProgressClock clock, bool onTerminal, std::chrono::milliseconds stallNotice)
    : clock(std::move(clock)), onTerminal(onTerminal), stallNotice(stallNotice) {
    began = this->clock();
    lastData = began;
    nextShow = began + showInterval(onTerminal);
}

void ProgressMeter::add(std::size_t bytes) {
    total += bytes;
    const auto now = clock();
    lastData = now;
    if (now < nextShow) {
        return;
    }
    nextShow = now + showInterval(onTerminal);
    show("received " + describe(now), onTerminal ? "" : "\n");
}

std::chrono::steady_clock::duration ProgressMeter::idle() {
    const auto now = clock();
    const auto silent = now - lastData;
    if (silent < stallNotice || now < nextShow) {
        return silent;
    }
    nextShow = now + showInterval(onTerminal);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(silent).count();
    show("received " + amount() + "; no data for " + std::to_string(seconds) + " s", onTerminal ? "" : "\n");
    return silent;
}

std::chrono::steady_clock::duration ProgressMeter::silence() const {
    return clock() - lastData;
}

void ProgressMeter::finish() {
    const auto now = clock();
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, " in %.1f s", secondsBetween(began, now));
    show("upload ended: received " + describe(now) + elapsed, "\n");
}

std::string ProgressMeter::describe(std::chrono::steady_clock::time_point now) const {
    const double seconds = std::max(secondsBetween(began, now), 1e-3);
    char rate[48];
    std::snprintf(rate, sizeof rate, " at %.2f MB/s", total / seconds / 1e6);
    return amount() + rate;
}

std::string ProgressMeter::amount() const {
    return std::to_string(total) + " bytes (" + audioDuration(total) + " of audio)";
}

// On a terminal every text starts at the line's beginning and blanks out
// what is left of a longer text shown before it.
void ProgressMeter::show(const std::string& text, const char* ending) {
    if (!onTerminal) {
        platform::showText("%s%s", text.c_str(), ending);
        return;
    }
    const std::string blanks(shownLength > text.size() ? shownLength - text.size() : 0, ' ');
    platform::showText("\r%s%s%s", text.c_str(), blanks.c_str(), ending);
    shownLength = *ending == '\n' ? 0 : text.size();
}

}  // namespace upload
