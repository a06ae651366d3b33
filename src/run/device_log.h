#pragma once

#include <chrono>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>

#include "platform/diagnostics.h"
#include "station/device_state.h"

// One device's lines in a station, as the single run would print them, with
// the time of each, in its run.log; and the milestones they mark, for the
// station's view of the device. Its run writes from its own threads while the
// station reads, so every member is behind one lock.
class DeviceLog : public quorvane::platform::RunOutput {
public:
    using Clock = std::chrono::steady_clock;

    DeviceLog(const std::string& path, Clock::time_point stationStart);

    void line(const std::string& text, bool consoleLine) override;

    // Progress lines are counted from the upload's own bytes instead.
    void status(const std::string&) override {}

    // Writes a line of the station's own about the device, as the run's.
    void say(const std::string& message);

    bool joined() const;

    // Asked to wait for a device with the same address, then asked to record.
    void noteWaitingTurn();
    void noteRecording();
    void noteEnded();

    // Fills in what the lines have told of the device.
    void describe(quorvane::station::DeviceState& device) const;

private:
    std::chrono::milliseconds sinceStart() const;
    void noteMilestone(const std::string& text);

    mutable std::mutex mutex_;
    std::ofstream log_;
    const Clock::time_point stationStart_;
    bool joining_ = false;
    bool waitingTurn_ = false;
    std::string address_;
    std::optional<std::chrono::milliseconds> joinedAt_;
    std::optional<Clock::time_point> recordingSince_;
    std::optional<std::chrono::milliseconds> uploadBeganAt_;
    std::optional<std::chrono::milliseconds> endedAt_;
    // What the run said last: the reason of a run that ended before its
    // upload, which leaves no summary.
    std::string lastMessage_;
};
