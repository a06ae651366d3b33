#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "station/device_state.h"

namespace quorvane::station {

constexpr const char* kStationJsonName = "station.json";
constexpr const char* kStationJunitName = "station.xml";

// What the station knows of its run as a whole. There is deliberately no
// field for the pass phrase.
struct StationFacts {
    std::string toolVersion;
    std::chrono::system_clock::time_point startedAt;
    std::string networkName;
    // As given on the command line ("30").
    std::string recordTime;
    int exitStatus = 0;
    bool interrupted = false;
};

// The station's run and each device's end as a JSON document for scripts
// (UTF-8; bytes that are not valid UTF-8 become U+FFFD; facts not known are
// null).
std::string stationJson(const StationFacts& facts, const std::vector<DeviceState>& devices);

// The same as a JUnit XML report for test dashboards: one test case a
// device, failed when its recording was not stored or a channel is not ok.
std::string stationJunit(const StationFacts& facts, const std::vector<DeviceState>& devices);

// Write the documents to `path` in one step (a file of their own beside it,
// renamed over it), so that a script never reads half of one; 0 or the error
// code of the failure.
int writeStationJson(const std::string& path, const StationFacts& facts, const std::vector<DeviceState>& devices);
int writeStationJunit(const std::string& path, const StationFacts& facts, const std::vector<DeviceState>& devices);

}  // namespace quorvane::station
