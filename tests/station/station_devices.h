#pragma once

#include <string>
#include <vector>

#include "station/device_state.h"

// Devices as the station's tests see them at its end.
namespace quorvane::station::testing {

DeviceState endedDevice(const std::string& port, const std::string& address, int endedMilliseconds);

// The channel (1-4) given `verdict` in the device's record summary.
void setVerdict(DeviceState& device, int channel, recording::Verdict verdict);

// Three devices at the station's end: /dev/ttyUSB0 stored and fine, COM3
// stored with channel 2 silent and channel 3 clipping, \\.\COM10 failed
// without an address.
std::vector<DeviceState> endedStation();

}  // namespace quorvane::station::testing
