#include "provisioning/recording_server.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/diagnostics.h"
#include "protocol/command_table.h"
#include "provisioning/local_address.h"
#include "run/run_config.h"
#include "serial/uart_observer.h"
#include "upload/audio_capture.h"
#include "upload/upload_control.h"

namespace provisioning {

namespace {

constexpr int kUploadPort = 8888;
constexpr std::chrono::seconds kFirewallHintMargin{60};

std::mutex serverMutex;
std::thread serverThread;
bool serverClosing = false;
std::atomic<bool> serverDone{false};

std::string firstUsableAddress(const std::vector<std::string>& addresses) {
    for (const std::string& address : addresses) {
        if (address.rfind("127.", 0) != 0) {
            return address;
        }
    }
    return addresses.empty() ? std::string() : addresses.front();
}

void serveUpload(const std::string& deviceIp, const std::string& localIp) {
    test server;
    if (isIpv4Address(deviceIp)) {
        server.expectPeer(deviceIp);
    }
    server.setNoConnectionHint(noConnectionHintDelay(g_recordTime), noConnectionHint(localIp));
    server.Listen(kUploadPort);
}

void runRecordingServer(const std::string& deviceIp) {
    const std::string localIp = _getLocalIp(deviceIp);
    g_uartObserver->send(makeRequest(UPLOAD_RECORD, "-h " + localIp + " -c 5 -t " + g_recordTime));
    if (localIp.empty()) {
        platform::diagnose(
            "warning: this computer's IPv4 address is unknown (the device reported none and the host name "
            "resolves to none), so the device was told no address to upload to\n");
    } else {
        platform::diagnose("the device was told to upload to %s, TCP port %d\n", localIp.c_str(), kUploadPort);
    }
    try {
        serveUpload(deviceIp, localIp);
    } catch (const std::runtime_error& e) {
        std::cout << e.what() << std::endl;
        platform::diagnose("the upload server could not run; ending the run\n");
        finishRun(true);
    }
    serverDone = true;
}

}  // namespace

std::string _getLocalIp(const std::string& deviceIp) {
    if (isIpv4Address(deviceIp)) {
        const std::string routed = addressRoutingTo(deviceIp);
        if (!routed.empty()) {
            return routed;
        }
    }
    return firstUsableAddress(hostNameAddresses());
}

void _startRecord(const std::string& deviceIp) {
    std::lock_guard<std::mutex> lock(serverMutex);
    if (!serverClosing) {
        serverThread = std::thread(runRecordingServer, deviceIp);
    }
}

void stopRecordingServer() {
    std::lock_guard<std::mutex> lock(serverMutex);
    serverClosing = true;
    if (!serverThread.joinable()) {
        return;
    }
    if (!serverDone) {
        interruptUpload();
    }
    serverThread.join();
}

std::chrono::milliseconds noConnectionHintDelay(const std::string& recordTime) {
    const int seconds = std::atoi(recordTime.c_str());
    return std::chrono::seconds(seconds > 0 ? seconds : 0) + kFirewallHintMargin;
}

std::string noConnectionHint(const std::string& localAddress) {
    return "no upload has arrived yet. If the device has finished recording, a "
           "firewall on this computer may be blocking incoming TCP port 8888 on " +
           localAddress + ": allow quorvane-capture (or that port) for this network";
}

}  // namespace provisioning
