#include "platform/console_lines.h"

#include "platform/diagnostics.h"

namespace quorvane::platform::console {

void networkReportUnreadable() {
    consoleLine("failed to open file!");
}

void argumentsMissing() {
    consoleLine("Please input serial number.\n");
}

void connecting(const std::string& port) {
    consoleLine("connecting to %s\n", port.c_str());
}

void portConnected(const std::string& port) {
    consoleLine("connect to %s success!\n", port.c_str());
}

void wifiConnecting() {
    consoleLine("wifi connecting\n");
}

void wifiTimedOut() {
    consoleLine("wifi connect failed, timeout!\n");
}

void wifiRefused() {
    consoleLine("wifi connect failed!\n");
}

void wifiJoined(const std::string& deviceIp, const std::string& localIp) {
    consoleLine("wifi connect success, ip is %s, local ip is %s\n", deviceIp.c_str(), localIp.c_str());
}

void waitingForUpload() {
    consoleLine("wait for socket connect....\n");
}

void serverFailure(const std::string& text) {
    consoleLine("%s\n", text.c_str());
}

void uploadBegins() {
    consoleLine("socekt connected recv audio begin\n");
}

void success() {
    consoleLine("---------------------------------------------\n");
    consoleLine("SUCCESS: recv audio success\n");
    consoleLine("---------------------------------------------\n\n");
}

}  // namespace quorvane::platform::console
