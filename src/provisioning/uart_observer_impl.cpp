#include "provisioning/uart_observer_impl.h"

#include <cjson/cJSON.h>

#include <memory>
#include <utility>

#include "platform/console_lines.h"
#include "platform/diagnostics.h"
#include "protocol/command_table.h"
#include "provisioning/local_address.h"
#include "provisioning/recording_server.h"

namespace {

using JsonTree = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

bool joinSucceeded(const cJSON* root) {
    const cJSON* result = cJSON_GetObjectItemCaseSensitive(root, "result");
    return cJSON_IsNumber(result) && result->valueint == 1;
}

std::string deviceAddress(const cJSON* root) {
    const cJSON* ip = cJSON_GetObjectItemCaseSensitive(root, "ip");
    return cJSON_IsString(ip) && ip->valuestring != nullptr ? ip->valuestring : "";
}

const char* const kMask = "***";

// A failed or unanswered join ends the run only while no upload connection is
// in hand: a later join (after a reconnection) that fails while the upload is
// under way must not cut record.pcm short. True when the run may end here.
bool runMayEnd(const quorvane::provisioning::RunSettings& settings, const char* event) {
    if (!settings.endRunBeforeUpload || settings.endRunBeforeUpload()) {
        return true;
    }
    quorvane::platform::diagnose(
        "the device %s after its upload had begun; the upload goes on and decides how the run ends\n", event);
    return false;
}

}  // namespace

UartObserverImpl::UartObserverImpl(quorvane::provisioning::RunSettings settings, RecordingStart startRecording)
    : UartObserverImpl(std::move(settings), std::move(startRecording), quorvane::provisioning::_getLocalIp) {}

UartObserverImpl::UartObserverImpl(quorvane::provisioning::RunSettings settings, RecordingStart startRecording,
                                   LocalAddressLookup localAddress)
    : settings_(std::move(settings)),
      startRecording_(std::move(startRecording)),
      localAddress_(std::move(localAddress)) {}

void UartObserverImpl::onConnected() {
    quorvane::platform::console::portConnected(settings_.portLabel);
    quorvane::platform::console::wifiConnecting();
    settings_.sendRequest(makeRequest(WIFI_CONNECT, settings_.wifiSsid + " " + settings_.wifiPassword));
}

void UartObserverImpl::onResponse(int command, bool ok, const std::string& body) {
    if (command != WIFI_CONNECT) {
        return;
    }
    if (!ok) {
        if (!runMayEnd(settings_, "did not answer a Wi-Fi request in time")) {
            return;
        }
        quorvane::platform::console::wifiTimedOut();
        quorvane::platform::diagnose("the device did not answer the Wi-Fi request within 10 s\n");
        endRun();
        return;
    }
    const JsonTree root(cJSON_Parse(body.c_str()), cJSON_Delete);
    if (joinSucceeded(root.get())) {
        onWifiJoined(deviceAddress(root.get()));
    } else {
        onWifiRefused(body);
    }
}

void UartObserverImpl::onDisconnected() {}

bool UartObserverImpl::recordStarted() const {
    return recordStarted_;
}

void UartObserverImpl::endRun() {
    if (settings_.endRun) {
        settings_.endRun(true);
    }
}

// An address that no device can have (0.0.0.0, broadcast, multicast) counts as
// none: otherwise it would pick the upload address and refuse every
// connection, the device's own too. The console line shows what was said.
void UartObserverImpl::onWifiJoined(const std::string& reportedIp) {
    const std::string deviceIp = quorvane::provisioning::isDeviceAddress(reportedIp) ? reportedIp : std::string();
    const std::string localIp = localAddress_(deviceIp);
    quorvane::platform::console::wifiJoined(reportedIp, localIp);
    if (!recordStarted_) {
        if (deviceIp != reportedIp) {
            quorvane::platform::diagnose(
                "warning: the device reported the address \"%s\", which is no address a device can have; taken "
                "as none: this computer's address comes from its host name, and the first connection on the "
                "upload port is taken as the device's\n",
                reportedIp.c_str());
        }
        quorvane::platform::console::waitingForUpload();
        startRecording_(deviceIp);
        recordStarted_ = true;
    }
}

void UartObserverImpl::onWifiRefused(const std::string& body) {
    if (!runMayEnd(settings_, "reported a failed Wi-Fi join")) {
        return;
    }
    quorvane::platform::console::wifiRefused();
    quorvane::platform::diagnose("the device did not join \"%s\"; its reply was: %s\n", settings_.wifiSsid.c_str(),
                                 withoutPassPhrase(body).c_str());
    endRun();
}

// The reply as the user may see it: a device that echoes the request must not
// put the pass phrase on the console. The search goes on after the mask, not
// after the pass phrase it replaced, so a pass phrase that holds the mask
// cannot make it loop.
std::string UartObserverImpl::withoutPassPhrase(std::string text) const {
    const std::string& secret = settings_.wifiPassword;
    if (secret.empty()) {
        return text;
    }
    const std::string mask = kMask;
    for (auto at = text.find(secret); at != std::string::npos; at = text.find(secret, at + mask.size())) {
        text.replace(at, secret.size(), mask);
    }
    return text;
}
