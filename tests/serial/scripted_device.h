#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device_transport.h"

namespace quorvane {
namespace testing {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Polls `condition` until it holds or `timeout` has passed; returns its last
// value.
bool eventually(const std::function<bool()>& condition, milliseconds timeout);

std::string heartbeatAck();
std::string wifiAck(const std::string& payload);

// Plays the device on the far end of the line: reads the request lines the
// host writes, answers the ones it is told to answer, and can log lines of
// its own on a schedule, as firmware does.
class ScriptedDevice {
public:
    ScriptedDevice();
    ~ScriptedDevice();

    DeviceTransport& transport() { return *transport_; }

    void answerHeartbeats(bool answer) { answerHeartbeats_ = answer; }
    // Count heart-beats without keeping their times, so that a long run's
    // memory is the link's alone.
    void forgetHeartbeatTimes();
    // Answer each wifi_connect request with this payload in its frame.
    void answerWifi(const std::string& payload);
    // Log one line every `period`; zero stops the logging.
    void logEvery(milliseconds period);
    void send(const std::string& bytes);

    std::size_t heartbeatCount() const;
    std::vector<Clock::time_point> heartbeatTimes() const;
    std::size_t wifiRequestCount() const;

private:
    void run();
    void handleLine(const std::string& line);
    void logIfDue(Clock::time_point& nextLog);

    std::unique_ptr<DeviceTransport> transport_;
    std::atomic<bool> answerHeartbeats_{true};
    std::atomic<long long> logPeriodMs_{0};
    mutable std::mutex mutex_;
    std::string wifiPayload_;
    bool answerWifi_ = false;
    std::vector<Clock::time_point> heartbeats_;
    std::size_t heartbeatCount_ = 0;
    bool keepHeartbeatTimes_ = true;
    std::size_t wifiRequests_ = 0;
    std::mutex writeMutex_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

}  // namespace testing
}  // namespace quorvane
