#include "station_devices.h"

namespace quorvane::station::testing {

DeviceState endedDevice(const std::string& port, const std::string& address, int endedMilliseconds) {
    DeviceState device;
    device.port = port;
    device.folder = folderNameForPort(port);
    device.deviceAddress = address;
    device.stage = DeviceStage::Ended;
    device.endedAt = std::chrono::milliseconds(endedMilliseconds);
    return device;
}

void setVerdict(DeviceState& device, int channel, recording::Verdict verdict) {
    if (!device.summary) {
        device.summary.emplace();
    }
    recording::ChannelLevels levels;
    levels.verdict = verdict;
    device.summary->channels[channel - 1].levels = levels;
}

std::vector<DeviceState> endedStation() {
    DeviceState fine = endedDevice("/dev/ttyUSB0", "192.168.1.23", 41500);
    fine.stored = true;
    DeviceState warned = endedDevice("COM3", "192.168.1.24", 42000);
    warned.stored = true;
    setVerdict(warned, 2, recording::Verdict::Silent);
    setVerdict(warned, 3, recording::Verdict::Clipping);
    DeviceState failed = endedDevice("\\\\.\\COM10", "", 20125);
    failed.failureReason = "the device did not join the network";
    return {fine, warned, failed};
}

}  // namespace quorvane::station::testing
