// The provisioning listener's handling of the device's Wi-Fi reply, with an
// arbitrary body. Each input is one run: the run-wide values start afresh,
// the recording server is replaced by a record of its starts and the local
// address by a fixed one, so nothing here touches the network.
#include <arpa/inet.h>
#include <cjson/cJSON.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "property.h"
#include "protocol/command_table.h"
#include "provisioning/uart_observer_impl.h"

namespace {

using fuzzing::require;

struct Reply {
    bool ok;
    std::string body;
};

struct Outcome {
    bool joined;
    std::string deviceIp;
};

std::vector<std::string> startsRequested;
bool runFinished = false;
bool runFailed = false;

// A fresh listener for each run, as a run makes it.
std::unique_ptr<UartObserverImpl>& listenerSlot() {
    static std::unique_ptr<UartObserverImpl> slot;
    return slot;
}

UartObserverImpl& listener() {
    return *listenerSlot();
}

// The first byte says whether the device answered (odd, such as '1') or the
// request timed out (even, such as '0'); the rest is the body.
Reply replyOf(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return {true, std::string()};
    }
    return {(data[0] & 1) != 0, std::string(reinterpret_cast<const char*>(data + 1), size - 1)};
}

// The device joined when "result" is a number whose integer value is 1. The
// parser stores that value truncated toward zero and saturated at the ends
// of int, so it is 1 exactly when the number's integer part is 1.
Outcome expectedOutcome(const Reply& reply) {
    if (!reply.ok) {
        return {false, ""};
    }
    cJSON* root = cJSON_Parse(reply.body.c_str());
    const cJSON* result = cJSON_GetObjectItemCaseSensitive(root, "result");
    const cJSON* ip = cJSON_GetObjectItemCaseSensitive(root, "ip");
    Outcome expected{cJSON_IsNumber(result) && std::trunc(result->valuedouble) == 1.0,
                     cJSON_IsString(ip) && ip->valuestring != nullptr ? ip->valuestring : ""};
    cJSON_Delete(root);
    return expected;
}

bool isDottedIpv4(const std::string& text) {
    unsigned char parsed[4];
    return inet_pton(AF_INET, text.c_str(), parsed) == 1;
}

void startRun() {
    runFinished = false;
    runFailed = false;
    startsRequested.clear();
    listenerSlot() = std::make_unique<UartObserverImpl>(
        quorvane::provisioning::RunSettings{"studio net", "hunter2", "COM3", "30", nullptr, nullptr,
                                            [](bool failed) {
                                                runFinished = true;
                                                runFailed = runFailed || failed;
                                            }},
        [](const std::string& deviceIp) { startsRequested.push_back(deviceIp); },
        [](const std::string&) { return std::string("192.0.2.1"); });
}

void checkFirstReply(const Reply& reply) {
    startRun();
    listener().onResponse(WIFI_CONNECT, reply.ok, reply.body);
    const Outcome expected = expectedOutcome(reply);
    require(startsRequested.size() <= 1, "one reply asks for the recording server at most once");
    const bool started = startsRequested.size() == 1;
    require(started != runFinished, "a reply either starts the recording or ends the run, never both or neither");
    require(runFinished == runFailed, "a run ended by the reply ends as failed");
    require(listener().recordStarted() == started, "the run remembers that the recording was started");
    require(started == expected.joined,
            "the recording starts exactly when \"result\" is a number whose integer value is 1");
    require(!started || startsRequested.front() == expected.deviceIp || startsRequested.front().empty(),
            "the recording server is given the address the device reported, or none");
    require(!started || startsRequested.front().empty() || isDottedIpv4(startsRequested.front()),
            "an address given to the recording server is an IPv4 address");
}

void checkRepeatedSuccess(const Reply& reply) {
    listener().onResponse(WIFI_CONNECT, true, reply.body);
    require(startsRequested.size() == 1 && !runFinished,
            "a second success in a row starts nothing new and does not end the run");
}

void checkOtherCommandsIgnored(const Reply& reply) {
    startRun();
    listener().onResponse(HEART_BEAT, reply.ok, reply.body);
    listener().onResponse(UPLOAD_RECORD, reply.ok, reply.body);
    require(startsRequested.empty() && !runFinished && !listener().recordStarted(),
            "replies to other commands change nothing");
}

}  // namespace

// The listener prints a line or two per reply, which on a console would cost
// more than the reply itself. libFuzzer took its own handle on the original
// standard error at start-up, so its reports still get through.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::freopen("/dev/null", "w", stdout);
    stderr = std::fopen("/dev/null", "w");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Reply reply = replyOf(data, size);
    checkFirstReply(reply);
    if (listener().recordStarted()) {
        checkRepeatedSuccess(reply);
    }
    checkOtherCommandsIgnored(reply);
    return 0;
}
