#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "device_emulator/options.h"

namespace quorvane::emulator {

enum class UploadOutcome { Sent, ResetAsAsked, HeldAsAsked, Stopped, ConnectFailed, PeerClosed, SetupFailed };

const char* describe(UploadOutcome outcome);

// What one upload_record request makes the device do.
struct UploadPlan {
    std::string address;  // always a loopback address
    bool addressReplaced = false;
    bool recordTimeUnderstood = true;
    Milliseconds wait{0};
    std::uint64_t bytes = 0;
};

UploadPlan planUpload(const UploadOptions& options, const std::string& requestedAddress, const std::string& recordTime);

// Runs one upload at a time on a thread of its own, so that the serial line
// keeps being served while the device waits, records and sends.
class Uploader {
public:
    Uploader(UploadOptions options, const std::atomic<bool>& stop);
    ~Uploader();
    Uploader(const Uploader&) = delete;
    Uploader& operator=(const Uploader&) = delete;

    bool busy() const;
    void start(const UploadPlan& plan);
    // On a thread of its own: connects to the host's upload port on
    // 127.0.0.1, sends options.resetFirstBytes and resets the connection at
    // once. start() waits for it to end first.
    void startEarlyReset();
    // The outcome of the last upload once it has ended; nothing before.
    std::optional<UploadOutcome> finishedOutcome() const;

private:
    void run(const UploadPlan& plan);
    UploadOutcome upload(const UploadPlan& plan);
    void playStranger(const std::string& address);
    void playEarlyReset();
    void joinEarlyReset();

    UploadOptions options_;
    const std::atomic<bool>& stop_;
    std::thread worker_;
    std::thread earlyReset_;
    std::atomic<bool> finished_{false};
    std::atomic<UploadOutcome> outcome_{UploadOutcome::Stopped};
};

}  // namespace quorvane::emulator
