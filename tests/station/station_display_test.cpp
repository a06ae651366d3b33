#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "station/station_display.h"
#include "station_devices.h"

namespace quorvane::station {
namespace {

using std::chrono::seconds;

// Everything a display writes, one entry a write.
struct Written {
    std::vector<std::string> texts;
    TextWriter writer() {
        return [this](const std::string& text) { texts.push_back(text); };
    }
};

DeviceState deviceOn(const std::string& port) {
    DeviceState device;
    device.port = port;
    return device;
}

void record(DeviceState& device, const std::string& address, seconds recorded, seconds recordTime) {
    device.stage = DeviceStage::Recording;
    device.deviceAddress = address;
    device.recorded = recorded;
    device.recordTime = recordTime;
}

void upload(DeviceState& device, std::uint64_t received, std::uint64_t expected) {
    device.stage = DeviceStage::Uploading;
    device.bytesReceived = received;
    device.bytesExpected = expected;
}

TEST(StationDisplay, ATerminalHasEveryLineRedrawnInPlaceFittedToItsWidth) {
    int columns = 80;
    Written written;
    StationDisplay display(
        true, [&columns] { return columns; }, written.writer());
    std::vector<DeviceState> devices = {deviceOn("/dev/ttyUSB0"), deviceOn("COM3"), deviceOn("\\\\.\\COM10")};
    record(devices[0], "192.168.1.23", seconds(12), seconds(30));
    devices[1].stage = DeviceStage::Joining;
    display.show(devices);

    upload(devices[0], 430, 1000);
    record(devices[1], "192.168.1.24", seconds(0), seconds(0));
    devices[2] = testing::endedStation()[2];
    columns = 40;
    display.show(devices);

    devices = testing::endedStation();
    columns = 50;
    display.show(devices);
    // Nothing changed: nothing is drawn.
    display.show(devices);
    // Another message was written below: the lines are drawn anew under it.
    display.release();
    columns = 0;
    display.show(devices);

    const std::vector<std::string> expected = {
        "\x1b[2K/dev/ttyUSB0  192.168.1.23  recording 0:12 of 0:30\n"
        "\x1b[2KCOM3          -             joining\n"
        "\x1b[2K\\\\.\\COM10     -             opening\n",
        // 39 columns: the address goes, then the state is cut.
        "\x1b[3A"
        "\x1b[2K/dev/ttyUSB0  uploading 43 %\n"
        "\x1b[2KCOM3          recording 0:00\n"
        "\x1b[2K\\\\.\\COM10     failed: the device did no\n",
        // 49 columns: an address goes only where its line is too wide.
        "\x1b[3A"
        "\x1b[2K/dev/ttyUSB0  192.168.1.23  ok\n"
        "\x1b[2KCOM3          ok; ch2 silent, ch3 clipping\n"
        "\x1b[2K\\\\.\\COM10     failed: the device did not join the\n",
        // A width not known is taken as 80 columns.
        "\x1b[2K/dev/ttyUSB0  192.168.1.23  ok\n"
        "\x1b[2KCOM3          192.168.1.24  ok; ch2 silent, ch3 clipping\n"
        "\x1b[2K\\\\.\\COM10     -             failed: the device did not join the network\n",
    };
    EXPECT_EQ(written.texts, expected);
}

TEST(StationDisplay, AwayFromATerminalEachStageChangeIsALineOfItsOwn) {
    Written written;
    StationDisplay display(
        false, [] { return 80; }, written.writer());
    std::vector<DeviceState> devices = {deviceOn("/dev/ttyUSB0"), deviceOn("COM3")};
    struct Step {
        const char* name;
        std::function<void()> change;
        const char* lines;
    };
    const Step steps[] = {
        {"start", [] {}, "/dev/ttyUSB0: opening\nCOM3: opening\n"},
        {"joining", [&] { devices[0].stage = DeviceStage::Joining; }, "/dev/ttyUSB0: joining\n"},
        {"an address alone", [&] { devices[0].deviceAddress = "10.0.0.5"; }, ""},
        {"recording and joining",
         [&] {
             record(devices[0], "10.0.0.5", seconds(0), seconds(30));
             devices[1].stage = DeviceStage::Joining;
         },
         "/dev/ttyUSB0 (10.0.0.5): recording for 0:30\nCOM3: joining\n"},
        {"a recording's tick", [&] { devices[0].recorded = seconds(12); }, ""},
        {"uploading", [&] { upload(devices[0], 100, 1000); }, "/dev/ttyUSB0 (10.0.0.5): uploading\n"},
        {"an upload's progress", [&] { devices[0].bytesReceived = 900; }, ""},
        {"ended",
         [&] {
             devices[0].stage = DeviceStage::Ended;
             devices[0].stored = true;
             testing::setVerdict(devices[0], 2, recording::Verdict::Silent);
             devices[1].stage = DeviceStage::Ended;
             devices[1].failureReason = "the device said\nno\x1b[2J";
         },
         "/dev/ttyUSB0 (10.0.0.5): ok; ch2 silent\nCOM3: failed: the device said no [2J\n"},
        {"again", [] {}, ""},
    };
    std::size_t writes = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        display.show(devices);
        const std::string lines = step.lines;
        writes += lines.empty() ? 0 : 1;
        ASSERT_EQ(written.texts.size(), writes);
        if (!lines.empty()) {
            EXPECT_EQ(written.texts.back(), lines);
        }
    }
}

TEST(StationDisplay, StateTextsWithAndWithoutProgress) {
    DeviceState noRecordTime = deviceOn("COM3");
    record(noRecordTime, "", seconds(75), seconds(0));
    DeviceState hour = deviceOn("COM3");
    record(hour, "", seconds(3599), seconds(3600));
    DeviceState unknownSize = deviceOn("COM3");
    upload(unknownSize, 1, 0);
    DeviceState overrun = deviceOn("COM3");
    upload(overrun, 1200, 1000);
    DeviceState converting = deviceOn("COM3");
    converting.stage = DeviceStage::Converting;
    struct Case {
        const char* name;
        DeviceState device;
        const char* progress;
        const char* stage;
    };
    const Case cases[] = {
        {"opening", deviceOn("COM3"), "opening", "opening"},
        {"no record time", noRecordTime, "recording 1:15", "recording"},
        {"an hour", hour, "recording 59:59 of 1:00:00", "recording for 1:00:00"},
        {"size not known", unknownSize, "uploading 1 byte", "uploading"},
        {"more than expected", overrun, "uploading 100 %", "uploading"},
        {"converting", converting, "converting", "converting"},
        {"failed", testing::endedStation()[2], "failed: the device did not join the network",
         "failed: the device did not join the network"},
        {"channels not ok", testing::endedStation()[1], "ok", "ok; ch2 silent, ch3 clipping"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(progressText(c.device), c.progress);
        EXPECT_EQ(stageText(c.device), c.stage);
    }
}

}  // namespace
}  // namespace quorvane::station
