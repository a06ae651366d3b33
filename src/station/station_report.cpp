#include "station/station_report.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "recording/channel_levels.h"
#include "recording/record_time.h"
#include "recording/text_file.h"
#include "recording/xml_text.h"

namespace quorvane::station {

namespace {

using Json = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

constexpr const char* kSuiteName = "quorvane-capture station";
constexpr const char* kTemporaryEnding = ".partial";

void addText(cJSON* object, const char* name, const std::string& text) {
    cJSON_AddStringToObject(object, name, recording::validUtf8(text).c_str());
}

void addKnownText(cJSON* object, const char* name, const std::string& text) {
    if (text.empty()) {
        cJSON_AddNullToObject(object, name);
    } else {
        addText(object, name, text);
    }
}

double seconds(std::chrono::milliseconds time) {
    return static_cast<double>(time.count()) / 1000.0;
}

void addSeconds(cJSON* object, const char* name, const std::optional<std::chrono::milliseconds>& time) {
    if (time) {
        cJSON_AddNumberToObject(object, name, seconds(*time));
    } else {
        cJSON_AddNullToObject(object, name);
    }
}

void addRecordSeconds(cJSON* object, const std::string& recordTime) {
    const auto recordSeconds = recording::recordSeconds(recordTime);
    if (recordSeconds) {
        cJSON_AddNumberToObject(object, "record_seconds", static_cast<double>(recordSeconds->count()));
    } else {
        cJSON_AddNullToObject(object, "record_seconds");
    }
}

// Null for a channel the device's recording check did not measure.
cJSON* verdictsJson(const DeviceState& device) {
    cJSON* verdicts = cJSON_CreateArray();
    for (const recording::ChannelSummary& channel : device.summary->channels) {
        cJSON_AddItemToArray(verdicts, channel.levels
                                           ? cJSON_CreateString(recording::verdictName(channel.levels->verdict))
                                           : cJSON_CreateNull());
    }
    return verdicts;
}

cJSON* deviceJson(const DeviceState& device) {
    cJSON* object = cJSON_CreateObject();
    addText(object, "port", device.port);
    addText(object, "folder", device.folder);
    addKnownText(object, "device_address", device.deviceAddress);
    cJSON_AddStringToObject(object, "stage", stageName(device.stage));
    cJSON_AddBoolToObject(object, "stored", device.stage == DeviceStage::Ended && device.stored);
    addKnownText(object, "failure_reason", device.stored ? "" : device.failureReason);
    addKnownText(object, "channels_not_ok", channelsNotOk(device));
    if (device.summary) {
        cJSON_AddItemToObject(object, "verdicts", verdictsJson(device));
        cJSON_AddNumberToObject(object, "bytes_received", static_cast<double>(device.summary->bytesReceived));
    } else {
        cJSON_AddNullToObject(object, "verdicts");
        cJSON_AddNumberToObject(object, "bytes_received", static_cast<double>(device.bytesReceived));
    }
    addSeconds(object, "joined_seconds", device.joinedAt);
    addSeconds(object, "upload_began_seconds", device.uploadBeganAt);
    addSeconds(object, "ended_seconds", device.endedAt);
    return object;
}

std::size_t storedCount(const std::vector<DeviceState>& devices) {
    return static_cast<std::size_t>(std::count_if(devices.begin(), devices.end(), [](const DeviceState& device) {
        return device.stage == DeviceStage::Ended && device.stored;
    }));
}

std::size_t failedCount(const std::vector<DeviceState>& devices) {
    return static_cast<std::size_t>(std::count_if(devices.begin(), devices.end(), deviceFailed));
}

std::string attribute(const char* name, const std::string& value) {
    return std::string(" ") + name + "=\"" + recording::xmlAttribute(value) + "\"";
}

std::string secondsText(std::chrono::milliseconds time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds(time));
    return text;
}

std::chrono::milliseconds longestDevice(const std::vector<DeviceState>& devices) {
    std::chrono::milliseconds longest{0};
    for (const DeviceState& device : devices) {
        longest = std::max(longest, device.endedAt.value_or(std::chrono::milliseconds{0}));
    }
    return longest;
}

// What a dashboard shows for a failed device: why the recording was not
// stored, and the channels that need a look.
std::string failureMessage(const DeviceState& device) {
    const std::string channels = channelsNotOk(device);
    const std::string outcome = device.stage != DeviceStage::Ended ? "not finished: " + outcomeText(device)
                                : device.stored                    ? ""
                                                                   : outcomeText(device);
    return outcome.empty() || channels.empty() ? outcome + channels : outcome + "; " + channels;
}

std::string testCase(const DeviceState& device) {
    std::string element = "  <testcase" + attribute("classname", "station") + attribute("name", device.port) +
                          attribute("time", secondsText(device.endedAt.value_or(std::chrono::milliseconds{0}))) + ">\n";
    if (deviceFailed(device)) {
        element += "    <failure" + attribute("message", failureMessage(device)) +
                   attribute("type", device.stored ? "channels not ok" : "not stored") + "/>\n";
    }
    const std::string address = device.deviceAddress.empty() ? "-" : device.deviceAddress;
    element += "    <system-out>" + recording::xmlText("folder: " + device.folder + "\naddress: " + address + "\n") +
               "</system-out>\n";
    return element + "  </testcase>\n";
}

std::string property(const char* name, const std::string& value) {
    return "    <property" + attribute("name", name) + attribute("value", value) + "/>\n";
}

// JUnit's schema gives the start as a local date and time without a zone;
// the station's is UTC, which its properties say in full.
std::string junitTimestamp(std::chrono::system_clock::time_point time) {
    std::string text = recording::utcTimestamp(time);
    return text.substr(0, text.size() - 1);
}

std::string suiteOpening(const StationFacts& facts, const std::vector<DeviceState>& devices) {
    return "<testsuite" + attribute("name", kSuiteName) + attribute("tests", std::to_string(devices.size())) +
           attribute("failures", std::to_string(failedCount(devices))) + attribute("errors", "0") +
           attribute("skipped", "0") + attribute("time", secondsText(longestDevice(devices))) +
           attribute("timestamp", junitTimestamp(facts.startedAt)) + ">\n";
}

std::string suiteProperties(const StationFacts& facts) {
    return "  <properties>\n" + property("tool_version", facts.toolVersion) +
           property("started_at", recording::utcTimestamp(facts.startedAt)) +
           property("network_name", facts.networkName) + property("record_time", facts.recordTime) +
           property("exit_status", std::to_string(facts.exitStatus)) +
           property("interrupted", facts.interrupted ? "true" : "false") + "  </properties>\n";
}

// The temporary file lies beside the document, so the rename stays on one
// file system and replaces the document whole (MoveFileEx on Windows).
int replaceFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + kTemporaryEnding;
    if (const int error = recording::writeTextFile(temporary, text)) {
        return error;
    }
    std::error_code renameError;
    std::filesystem::rename(std::filesystem::u8path(temporary), std::filesystem::u8path(path), renameError);
    if (renameError) {
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::u8path(temporary), ignored);
        return renameError.value();
    }
    return 0;
}

}  // namespace

std::string stationJson(const StationFacts& facts, const std::vector<DeviceState>& devices) {
    const Json document(cJSON_CreateObject(), cJSON_Delete);
    cJSON* object = document.get();
    addText(object, "tool_version", facts.toolVersion);
    addText(object, "started_at", recording::utcTimestamp(facts.startedAt));
    addText(object, "network_name", facts.networkName);
    addText(object, "record_time", facts.recordTime);
    addRecordSeconds(object, facts.recordTime);
    cJSON_AddNumberToObject(object, "exit_status", facts.exitStatus);
    cJSON_AddBoolToObject(object, "interrupted", facts.interrupted);
    cJSON_AddNumberToObject(object, "devices_stored", static_cast<double>(storedCount(devices)));
    cJSON_AddNumberToObject(object, "devices_not_ok", static_cast<double>(failedCount(devices)));
    cJSON* list = cJSON_AddArrayToObject(object, "devices");
    for (const DeviceState& device : devices) {
        cJSON_AddItemToArray(list, deviceJson(device));
    }
    const std::unique_ptr<char, decltype(&cJSON_free)> text(cJSON_Print(object), cJSON_free);
    return std::string(text ? text.get() : "{}") + "\n";
}

std::string stationJunit(const StationFacts& facts, const std::vector<DeviceState>& devices) {
    std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + suiteOpening(facts, devices) + suiteProperties(facts);
    for (const DeviceState& device : devices) {
        document += testCase(device);
    }
    return document + "</testsuite>\n";
}

int writeStationJson(const std::string& path, const StationFacts& facts, const std::vector<DeviceState>& devices) {
    return replaceFile(path, stationJson(facts, devices));
}

int writeStationJunit(const std::string& path, const StationFacts& facts, const std::vector<DeviceState>& devices) {
    return replaceFile(path, stationJunit(facts, devices));
}

}  // namespace quorvane::station
