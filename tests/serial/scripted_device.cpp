#include "scripted_device.h"

namespace quorvane {
namespace testing {

bool eventually(const std::function<bool()>& condition, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

std::string heartbeatAck() {
    return "<QRVN_ACK_HEART>ok<QRVN_ACK_HEART_END>\r\n";
}

std::string wifiAck(const std::string& payload) {
    return "<QRVN_ACK_WIFI_CON>\r\n" + payload + "\r\n<QRVN_ACK_WIFI_CON_END>\r\n";
}

ScriptedDevice::ScriptedDevice() : transport_(openDeviceTransport()), thread_(&ScriptedDevice::run, this) {}

ScriptedDevice::~ScriptedDevice() {
    running_ = false;
    thread_.join();
}

void ScriptedDevice::answerWifi(const std::string& payload) {
    std::lock_guard<std::mutex> lock(mutex_);
    wifiPayload_ = payload;
    answerWifi_ = true;
}

void ScriptedDevice::logEvery(milliseconds period) {
    logPeriodMs_ = period.count();
}

void ScriptedDevice::send(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(writeMutex_);
    transport_->write(bytes);
}

void ScriptedDevice::forgetHeartbeatTimes() {
    std::lock_guard<std::mutex> lock(mutex_);
    keepHeartbeatTimes_ = false;
    heartbeats_ = {};
}

std::size_t ScriptedDevice::heartbeatCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return heartbeatCount_;
}

std::vector<Clock::time_point> ScriptedDevice::heartbeatTimes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return heartbeats_;
}

std::size_t ScriptedDevice::wifiRequestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return wifiRequests_;
}

void ScriptedDevice::run() {
    std::string received;
    Clock::time_point nextLog = Clock::now();
    while (running_) {
        received += transport_->read(milliseconds(10));
        for (auto end = received.find('\n'); end != std::string::npos; end = received.find('\n')) {
            handleLine(received.substr(0, end));
            received.erase(0, end + 1);
        }
        logIfDue(nextLog);
    }
}

void ScriptedDevice::handleLine(const std::string& line) {
    if (line == "listen heart_beat\r") {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++heartbeatCount_;
            if (keepHeartbeatTimes_) {
                heartbeats_.push_back(Clock::now());
            }
        }
        if (answerHeartbeats_) {
            send(heartbeatAck());
        }
    } else if (line.compare(0, 20, "listen wifi_connect ") == 0) {
        std::string payload;
        bool answer = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++wifiRequests_;
            payload = wifiPayload_;
            answer = answerWifi_;
        }
        if (answer) {
            send(wifiAck(payload));
        }
    }
}

void ScriptedDevice::logIfDue(Clock::time_point& nextLog) {
    const long long period = logPeriodMs_;
    const auto now = Clock::now();
    if (period <= 0 || now < nextLog) {
        return;
    }
    send("I (" + std::to_string(period) + ") sensor: mic levels -42 -40 -41 -43 dB\r\n");
    nextLog = now + milliseconds(period);
}

}  // namespace testing
}  // namespace quorvane
