#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "station/device_state.h"

namespace quorvane::station {

// The cells of one row of the station's table: port, device address, time
// from the station's start to the device's end, channels not ok, outcome.
constexpr std::size_t kStationColumns = 5;
using StationRow = std::array<std::string, kStationColumns>;

const StationRow& stationHeadings();

// One device's row; "-" for what is not known.
StationRow stationRow(const DeviceState& device);

// "station: 2 of 3 recordings stored, 1 with channels that are not ok".
std::string stationCountLine(const std::vector<DeviceState>& devices);

// The table shown on standard error once every device has ended: a heading,
// one row a device and the count line. On a terminal `columns` wide the
// columns that matter least are left out until the table fits, and a last
// cell still too wide goes on under itself on lines of their own; 0 (a pipe,
// a file) keeps all and every row on one line.
std::string formatStationTable(const std::vector<DeviceState>& devices, std::size_t columns = 0);

}  // namespace quorvane::station
