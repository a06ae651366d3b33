#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/station_table.h"
#include "station_devices.h"

namespace quorvane::station {
namespace {

TEST(StationTable, NarrowTerminalsLoseTheLesserColumnsAndWrapTheOutcome) {
    struct Case {
        std::size_t columns;
        std::string table;
    };
    const Case cases[] = {
        {0,
         "port          address       time  channels not ok           outcome\n"
         "/dev/ttyUSB0  192.168.1.23  0:41  -                         ok\n"
         "COM3          192.168.1.24  0:42  ch2 silent, ch3 clipping  ok\n"
         "\\\\.\\COM10     -             0:20  -                         failed: the device did not join the "
         "network\n"
         "station: 2 of 3 recordings stored, 1 with channels that are not ok\n"},
        // The address goes; the outcome goes on under itself.
        {80,
         "port          time  channels not ok           outcome\n"
         "/dev/ttyUSB0  0:41  -                         ok\n"
         "COM3          0:42  ch2 silent, ch3 clipping  ok\n"
         "\\\\.\\COM10     0:20  -                         failed: the device did not join\n"
         "                                              the network\n"
         "station: 2 of 3 recordings stored, 1 with channels that are not ok\n"},
        // Only the port and the outcome stay.
        {50,
         "port          outcome\n"
         "/dev/ttyUSB0  ok\n"
         "COM3          ok\n"
         "\\\\.\\COM10     failed: the device did not join the\n"
         "              network\n"
         "station: 2 of 3 recordings stored, 1 with channels that are not ok\n"},
        // Too narrow to wrap sensibly: the terminal wraps it.
        {20,
         "port          outcome\n"
         "/dev/ttyUSB0  ok\n"
         "COM3          ok\n"
         "\\\\.\\COM10     failed: the device did not join the network\n"
         "station: 2 of 3 recordings stored, 1 with channels that are not ok\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.columns);
        EXPECT_EQ(formatStationTable(testing::endedStation(), c.columns), c.table);
    }
}

TEST(StationTable, RowsShowWhatIsKnownOnOneLine) {
    DeviceState interrupted;
    interrupted.port = "COM6";
    interrupted.stage = DeviceStage::Recording;
    DeviceState talkative = testing::endedDevice("COM4", "10.0.0.7", 3723000);
    talkative.failureReason = "the device said \"ERR\nline\x1b[2J\" and \xC3\xA9nded";
    DeviceState unbroken = testing::endedDevice("COM5", "10.0.0.8", 1000);
    unbroken.failureReason = "an_address_far_too_long_to_break_anywhere_at_all";
    struct Case {
        const char* name;
        const DeviceState& device;
        std::size_t columns;
        StationRow row;
        std::vector<std::string> outcomeLines;
    };
    const Case cases[] = {
        {"not ended", interrupted, 20, {"COM6", "-", "-", "-", "recording"}, {"recording"}},
        {"control characters",
         talkative,
         40,
         {"COM4", "10.0.0.7", "1:02:03", "-", "failed: the device said \"ERR line [2J\" and \xC3\xA9nded"},
         {"failed: the device said \"ERR line", "[2J\" and \xC3\xA9nded"}},
        {"no space to break at",
         unbroken,
         40,
         {"COM5", "10.0.0.8", "0:01", "-", "failed: an_address_far_too_long_to_break_anywhere_at_all"},
         {"failed:", "an_address_far_too_long_to_break_a", "nywhere_at_all"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(stationRow(c.device), c.row);
        std::string expected = "port  outcome\n";
        for (std::size_t line = 0; line < c.outcomeLines.size(); ++line) {
            expected += (line == 0 ? c.row[0] + "  " : "      ") + c.outcomeLines[line] + "\n";
        }
        expected += stationCountLine({c.device}) + "\n";
        EXPECT_EQ(formatStationTable({c.device}, c.columns), expected);
    }
}

}  // namespace
}  // namespace quorvane::station
