#pragma once

#include <string>

// Every line the tool's design prints on standard output, each in one place
// and byte for byte as users and their scripts know it (the misspelt
// "socekt" included). They go through the one console writer, so they take
// a standing status line off first. Everything else the tool says goes to
// standard error (diagnostics.h).
namespace quorvane::platform::console {

// The network report could not be read (no line end).
void networkReportUnreadable();
// Fewer than four arguments.
void argumentsMissing();
// The serial link is being opened on `port` ("COM3", "/dev/ttyUSB0").
void connecting(const std::string& port);
// The device answers on `port`.
void portConnected(const std::string& port);
void wifiConnecting();
void wifiTimedOut();
void wifiRefused();
// The device joined; the address it reported and the one it was told.
void wifiJoined(const std::string& deviceIp, const std::string& localIp);
void waitingForUpload();
// The recording server's own failure text ("Failed to bind socket ...").
void serverFailure(const std::string& text);
void uploadBegins();
void success();

}  // namespace quorvane::platform::console
