#pragma once

#include <functional>
#include <string>

#include "provisioning/run_settings.h"
#include "serial/uart_observer.h"

// Turns the serial link's events into the provisioning of a run: once the
// link is up the device is asked to join the Wi-Fi network; a successful
// join starts the recording server, a failed or unanswered one ends the run,
// unless the device's upload has already begun (a later join, after a
// reconnection, that fails then is only reported on standard error).
class UartObserverImpl : public quorvane::IUartObserverListener {
public:
    // Starts the recording server for a device that reported `deviceIp`.
    using RecordingStart = std::function<void(const std::string& deviceIp)>;
    // This computer's address as told to the user, given the device's.
    using LocalAddressLookup = std::function<std::string(const std::string& deviceIp)>;

    UartObserverImpl(quorvane::provisioning::RunSettings settings, RecordingStart startRecording);
    UartObserverImpl(quorvane::provisioning::RunSettings settings, RecordingStart startRecording,
                     LocalAddressLookup localAddress);

    void onConnected() override;
    void onResponse(int command, bool ok, const std::string& body) override;
    void onDisconnected() override;

    // Whether a join has started the recording server; it is started once.
    bool recordStarted() const;

private:
    void onWifiJoined(const std::string& reportedIp);
    void onWifiRefused(const std::string& body);
    void endRun();

    std::string withoutPassPhrase(std::string text) const;

    const quorvane::provisioning::RunSettings settings_;
    RecordingStart startRecording_;
    LocalAddressLookup localAddress_;
    bool recordStarted_ = false;
};
