#include "provisioning/recording_server.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "net/socket_layer.h"
#include "platform/console_lines.h"
#include "platform/diagnostics.h"
#include "protocol/command_table.h"
#include "provisioning/attached_networks.h"
#include "provisioning/local_address.h"
#include "upload/kestaro_socket.h"
#include "upload/upload_control.h"

namespace quorvane::provisioning {

namespace {

constexpr int kUploadPort = 8888;
constexpr std::chrono::seconds kFirewallHintMargin{60};

std::string firstUsableAddress(const std::vector<std::string>& addresses) {
    for (const std::string& address : addresses) {
        if (address.rfind("127.", 0) != 0) {
            return address;
        }
    }
    return addresses.empty() ? std::string() : addresses.front();
}

// A stranger can be told from the device only where the device's
// connections arrive from the address it reported.
upload::PeerPolicy peerPolicyFor(const std::string& deviceIp) {
    const AttachedNetworks attached = attachedNetworks();
    if (attached.error != 0) {
        platform::diagnose(
            "warning: cannot list this computer's networks (code %d); the first upload connection will "
            "be taken as the device's\n",
            attached.error);
    }
    return onAttachedNetwork(deviceIp, attached.networks) ? upload::PeerPolicy::RefuseOthers
                                                          : upload::PeerPolicy::TakeFirst;
}

// Whom the upload may come from: only the device where its connections can
// be told by its address, otherwise the first to connect.
std::optional<upload::PeerPolicy> devicePolicy(const std::string& deviceIp) {
    if (!isDeviceAddress(deviceIp)) {
        return std::nullopt;
    }
    return peerPolicyFor(deviceIp);
}

void serveUpload(test& server, const RunSettings& settings, const std::string& deviceIp,
                 const std::optional<upload::PeerPolicy>& policy, const std::string& localIp,
                 std::chrono::steady_clock::time_point requestSent) {
    if (policy) {
        server.expectPeer(deviceIp, *policy);
    }
    if (settings.uploadTimeout) {
        server.setUploadLimit(*settings.uploadTimeout);
    }
    server.setNoConnectionHint(noConnectionHintDelay(settings.recordTime), noConnectionHint(localIp));
    server.setRecordTime(settings.recordTime, requestSent);
    server.Listen(kUploadPort);
}

// A server handed no state keeps one of its own, which stop interrupts.
upload::UploadWiring withState(upload::UploadWiring upload) {
    if (!upload.state) {
        upload.state = std::make_shared<upload::UploadState>();
    }
    return upload;
}

void reportUnclaimedPort(int error) {
    platform::console::serverFailure(upload::bindFailureText(error));
    if (net::isAddressTaken(error)) {
        platform::diagnose(
            "TCP port %d is in use by another program (perhaps another copy of this tool, waiting for its own "
            "device); the device was not contacted\n",
            kUploadPort);
    } else {
        platform::diagnose("cannot take TCP port %d for the upload (%s); the device was not contacted\n", kUploadPort,
                           net::socketErrorText(error).c_str());
    }
}

}  // namespace

std::string _getLocalIp(const std::string& deviceIp) {
    return localIpWith(deviceIp, {addressRoutingTo, hostNameAddresses});
}

std::string localIpWith(const std::string& deviceIp, const AddressLookups& lookups) {
    if (isIpv4Address(deviceIp)) {
        const std::string routed = lookups.routeTo(deviceIp);
        if (!routed.empty()) {
            return routed;
        }
    }
    return firstUsableAddress(lookups.hostName());
}

RecordingServer::RecordingServer(upload::UploadWiring upload, std::shared_ptr<upload::UploadRouter> router)
    : upload_(withState(std::move(upload))), router_(std::move(router)) {}

RecordingServer::~RecordingServer() {
    stop();
}

bool RecordingServer::claimUploadPort() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (router_) {
        return true;
    }
    try {
        auto claiming = std::make_unique<test>(upload_);
        const int error = claiming->claimPort(kUploadPort);
        if (error != 0) {
            reportUnclaimedPort(error);
            return false;
        }
        server_ = std::move(claiming);
        return true;
    } catch (const std::runtime_error& e) {
        platform::console::serverFailure(e.what());
        platform::diagnose("the upload server could not be set up; the device was not contacted\n");
        return false;
    }
}

void RecordingServer::_startRecord(const RunSettings& settings, const std::string& deviceIp) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!closing_) {
        thread_ = platform::sayingThread(&RecordingServer::serve, this, settings, deviceIp);
    }
}

void RecordingServer::stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    if (thread_.joinable()) {
        if (!done_) {
            upload_.state->interrupt();
        }
        thread_.join();
    }
    // Joins the server's audio thread once the upload in hand has ended.
    server_.reset();
}

void RecordingServer::serve(const RunSettings& settings, const std::string& deviceIp) {
    const std::optional<upload::PeerPolicy> policy = devicePolicy(deviceIp);
    const bool ownAddress = policy == upload::PeerPolicy::RefuseOthers;
    if (settings.awaitUploadTurn && !settings.awaitUploadTurn(deviceIp, ownAddress)) {
        done_ = true;
        return;
    }
    const std::string localIp = _getLocalIp(deviceIp);
    const auto requestSent = std::chrono::steady_clock::now();
    settings.sendRequest(makeRequest(UPLOAD_RECORD, "-h " + localIp + " -c 5 -t " + settings.recordTime));
    if (settings.uploadRequested) {
        settings.uploadRequested(deviceIp, localIp);
    }
    if (localIp.empty()) {
        platform::diagnose(
            "warning: this computer's IPv4 address is unknown (the device reported none and the host name "
            "resolves to none), so the device was told no address to upload to\n");
    } else {
        platform::diagnose("the device was told to upload to %s, TCP port %d\n", localIp.c_str(), kUploadPort);
    }
    try {
        // A run that claimed no port has its server set up here, as the
        // recording server always did: Listen then binds the port itself.
        if (!server_) {
            server_ = std::make_unique<test>(upload_);
        }
        std::shared_ptr<upload::RoutedConnections> routed;
        if (router_) {
            routed = router_->expect(deviceIp, ownAddress);
            server_->takeConnectionsFrom(routed);
        }
        serveUpload(*server_, settings, deviceIp, policy, localIp, requestSent);
        if (router_) {
            router_->forget(routed);
        }
    } catch (const std::runtime_error& e) {
        platform::console::serverFailure(e.what());
        platform::diagnose("the upload server could not run; ending the run\n");
        if (settings.endRun) {
            settings.endRun(true);
        }
    }
    done_ = true;
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

}  // namespace quorvane::provisioning
