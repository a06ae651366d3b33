// Writes station.json and station.xml into FOLDER for a station of three
// devices that station_report_check.py reads back: one stored and fine, one
// stored with channels that are not ok, and one that failed with a reason
// holding markup characters, a control character and bytes that are no
// UTF-8. Each file is written twice, the second time over the first, as the
// station does when it ends.
//
// usage: station_report_driver FOLDER
#include <cstdio>
#include <string>
#include <vector>

#include "recording/record_files.h"
#include "station/station_report.h"
#include "station_devices.h"

namespace {

using namespace quorvane::station;
using quorvane::recording::Verdict;

// The tests' station, with a failure reason that holds markup characters, a
// control character, bytes that are no UTF-8 and a character XML forbids.
std::vector<DeviceState> station() {
    std::vector<DeviceState> devices = testing::endedStation();
    for (DeviceState& device : devices) {
        if (device.stored) {
            for (int channel = 1; channel <= 4; ++channel) {
                testing::setVerdict(device, channel, Verdict::Ok);
            }
            device.joinedAt = std::chrono::milliseconds(4250);
            device.uploadBeganAt = std::chrono::milliseconds(35000);
            device.summary->bytesReceived = 1280000;
        }
    }
    testing::setVerdict(devices[1], 2, Verdict::Silent);
    testing::setVerdict(devices[1], 3, Verdict::Clipping);
    devices[2].failureReason = "no <answer> & \"nothing\" 'said'\x01 \xE9t\xC3\xA9 \xEF\xBF\xBF\nend";
    return devices;
}

StationFacts facts() {
    StationFacts result;
    result.toolVersion = "1.0.0";
    // 2024-02-29T23:59:58Z.
    result.startedAt = std::chrono::system_clock::time_point(std::chrono::seconds(1709251198));
    result.networkName = "Caf\xC3\xA9 <lab> & \xE9";
    result.recordTime = "30";
    result.exitStatus = 1;
    return result;
}

int report(const char* name, int error) {
    if (error != 0) {
        std::fprintf(stderr, "cannot write %s: %s\n", name, quorvane::recording::fileErrorText(error).c_str());
    }
    return error;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: station_report_driver FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    std::vector<DeviceState> devices = station();
    std::vector<DeviceState> earlier = devices;
    earlier.pop_back();
    int errors = 0;
    for (const auto* written : {&earlier, &devices}) {
        errors |= report(kStationJsonName, writeStationJson(folder + kStationJsonName, facts(), *written));
        errors |= report(kStationJunitName, writeStationJunit(folder + kStationJunitName, facts(), *written));
    }
    return errors == 0 ? 0 : 1;
}
