#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "protocol/uart_request.h"

namespace quorvane::provisioning {

// What provisioning needs of the run, read from the command line where the
// run is wired and handed down: provisioning reads no run-wide value itself.
struct RunSettings {
    std::string wifiSsid;
    std::string wifiPassword;
    // The port as the console lines name it: "COM3", "/dev/ttyUSB0".
    std::string portLabel;
    // Passed to the device's upload request as typed.
    std::string recordTime;
    // Writes a request to the device over the serial link; false when it
    // could not be sent.
    std::function<bool(const UartRequest&)> sendRequest;
    // Told once the device has been asked to upload, with the device's
    // address (empty when it reported none a device can have) and this
    // computer's address it was told (empty when unknown); may be empty.
    std::function<void(const std::string& deviceAddress, const std::string& hostAddress)> uploadRequested;
    // Ends the run, as failed or not; may be empty.
    std::function<void(bool failed)> endRun;
    // Asked before a failed or unanswered Wi-Fi join ends the run: true
    // while no upload connection is in hand, and then none is handed over
    // any more; false once the upload has begun. Empty: the run may end.
    std::function<bool()> endRunBeforeUpload;
    // Asked before the upload request goes out, with the device's address
    // and whether its connections come from there: a station lets devices
    // that cannot be told apart by address record one after the other. False:
    // the run is ending and no request is sent. Empty: at once.
    std::function<bool(const std::string& deviceAddress, bool ownAddress)> awaitUploadTurn;
    // How long after the recording's end the upload may take to begin;
    // none: until the run is stopped.
    std::optional<std::chrono::seconds> uploadTimeout;
};

}  // namespace quorvane::provisioning
