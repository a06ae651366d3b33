#pragma once

#include <atomic>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "device_emulator/frames.h"
#include "device_emulator/options.h"
#include "device_emulator/request.h"
#include "device_emulator/serial_output.h"
#include "device_emulator/serial_port.h"
#include "device_emulator/uploader.h"

namespace quorvane::emulator {

// The device's side of the serial line: answers the host's requests with
// acknowledgement frames, starts the upload, and plays the faults the
// options ask for (silence, a vanishing pty, noise, split frames).
class Device {
public:
    // Opens the request log; throws std::runtime_error when it cannot.
    // Keeps a reference to options. stopRequested ends serve().
    Device(const Options& options, const std::atomic<bool>& stopRequested);

    // Opens the port; returns the path to give the host (none for --tty).
    // Throws std::runtime_error when the port cannot be set up.
    std::optional<std::string> open();

    // Serves the port until the upload has ended (for ever with
    // keepServing), stop is requested, the time limit passes or the host has
    // left; returns the exit status.
    int serve();

private:
    int serveUntilDone();
    std::optional<int> exitStatus(Clock::time_point now);
    void openPort();
    void serveOnce(Clock::time_point now);
    void waitForHostToReturn(Clock::time_point now);
    void readFromHost(Clock::time_point now);
    void hostClosed(Clock::time_point now);
    // A failed read or write leaves the port readable or writable for ever;
    // taking it as closed makes the loop look again at a calm pace.
    void lineFailedIf(const IoResult& result, const char* operation);
    Milliseconds pollTimeout(Clock::time_point now) const;

    void handleLine(const std::string& line, Clock::time_point now);
    void onHeartBeat(Clock::time_point now);
    void onWifiConnect(Clock::time_point now);
    void onUploadRecord(const Request& request, Clock::time_point now);
    void releaseHeldUpload(Clock::time_point now);
    void answer(CommandKind kind, const std::string& payload, Clock::time_point now);
    bool queueNoise(CommandKind kind, Clock::time_point now);
    std::string wifiReply() const;

    void fallSilent(const std::string& why, Clock::time_point now);
    void updateSilence(Clock::time_point now);
    void vanish(Clock::time_point now);
    void updateVanish(Clock::time_point now);
    void chatter(Clock::time_point now);
    std::int64_t uptimeMs(Clock::time_point now) const;

    const Options& options_;
    const std::string logName_;
    const std::atomic<bool>& stopRequested_;
    // Ends this device's upload when the device stops.
    std::atomic<bool> stop_{false};
    const Clock::time_point started_;
    std::unique_ptr<SerialPort> port_;
    std::unique_ptr<PortLink> link_;
    std::ofstream requestLog_;
    LineSplitter lines_;
    SerialOutput output_;
    NoiseSource noise_;
    Uploader uploader_;

    std::uint64_t heartbeatsReceived_ = 0;
    std::uint64_t heartbeatsThisCycle_ = 0;
    bool heartbeatSilenceArmed_;
    bool wifiSilenceUsed_ = false;
    bool uploadSilenceUsed_ = false;
    bool silent_ = false;
    std::optional<Clock::time_point> resumeAt_;

    bool vanished_ = false;
    std::optional<Clock::time_point> backAt_;

    std::uint64_t noiseSent_ = 0;
    Clock::time_point nextChatter_;
    bool heardFromHost_ = false;
    std::uint64_t wifiJoins_ = 0;
    std::optional<UploadPlan> heldUpload_;
    bool releaseHeldUploadOnceAnswered_ = false;
    std::optional<Clock::time_point> heldUploadDue_;
    std::optional<Clock::time_point> hungUpSince_;
};

}  // namespace quorvane::emulator
