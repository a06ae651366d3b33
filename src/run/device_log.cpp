#include "run/device_log.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "recording/record_time.h"

namespace {

const std::string kMessagePrefix = "quorvane-capture: ";

// "2026-12-10T04:05:06.789Z": the log's lines are read beside the device's
// and the PC's own logs, to the millisecond.
std::string timeOfDay() {
    const auto now = std::chrono::system_clock::now();
    const auto stamp = quorvane::recording::utcTimestamp(now);
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    char text[16];
    std::snprintf(text, sizeof text, ".%03d", static_cast<int>(milliseconds));
    return stamp.substr(0, stamp.size() - 1) + text + "Z";
}

}  // namespace

DeviceLog::DeviceLog(const std::string& path, Clock::time_point stationStart)
    : log_(std::filesystem::u8path(path), std::ios::out | std::ios::trunc), stationStart_(stationStart) {}

void DeviceLog::line(const std::string& text, bool consoleLine) {
    std::lock_guard<std::mutex> lock(mutex_);
    // A text of several lines (the level table) gets the time on each.
    const std::string stamp = timeOfDay() + "  ";
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = std::min(text.find('\n', from), text.size() - 1) + 1;
        log_ << stamp << text.substr(from, end - from);
        from = end;
    }
    log_.flush();
    if (consoleLine) {
        noteMilestone(text);
    } else if (text.compare(0, kMessagePrefix.size(), kMessagePrefix) == 0) {
        lastMessage_ = text.substr(kMessagePrefix.size(), text.find('\n') - kMessagePrefix.size());
    }
}

void DeviceLog::say(const std::string& message) {
    line(kMessagePrefix + message + "\n", false);
}

bool DeviceLog::joined() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return joinedAt_.has_value();
}

void DeviceLog::noteWaitingTurn() {
    std::lock_guard<std::mutex> lock(mutex_);
    waitingTurn_ = true;
}

void DeviceLog::noteRecording() {
    std::lock_guard<std::mutex> lock(mutex_);
    recordingSince_ = Clock::now();
}

void DeviceLog::noteEnded() {
    std::lock_guard<std::mutex> lock(mutex_);
    endedAt_ = sinceStart();
}

void DeviceLog::describe(quorvane::station::DeviceState& device) const {
    using quorvane::station::DeviceStage;
    std::lock_guard<std::mutex> lock(mutex_);
    device.deviceAddress = address_;
    device.joinedAt = joinedAt_;
    device.uploadBeganAt = uploadBeganAt_;
    device.endedAt = endedAt_;
    device.failureReason = lastMessage_;
    if (uploadBeganAt_) {
        device.stage = DeviceStage::Uploading;
    } else if (recordingSince_) {
        device.stage = DeviceStage::Recording;
        device.recorded = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - *recordingSince_);
    } else if (waitingTurn_) {
        device.stage = DeviceStage::WaitingTurn;
    } else if (joining_) {
        device.stage = DeviceStage::Joining;
    }
}

std::chrono::milliseconds DeviceLog::sinceStart() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stationStart_);
}

// The console lines are the run's milestones, byte for byte as the single
// run prints them.
void DeviceLog::noteMilestone(const std::string& text) {
    static const std::string joined = "wifi connect success, ip is ";
    if (text == "wifi connecting\n") {
        joining_ = true;
    } else if (text.compare(0, joined.size(), joined) == 0) {
        address_ = text.substr(joined.size(), text.find(',', joined.size()) - joined.size());
        joinedAt_ = sinceStart();
    } else if (text == "socekt connected recv audio begin\n") {
        uploadBeganAt_ = sinceStart();
    }
}
