#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "upload/progress.h"
#include "upload_fixture.h"

namespace {

using std::chrono::milliseconds;

using Progress = UploadTest;

TEST(AudioDuration, IsHoursMinutesSecondsAndTenthsOf128000BytesASecond) {
    EXPECT_EQ(upload::audioDuration(127999), "0:00:00.9");
    EXPECT_EQ(upload::audioDuration(128000 * 61 + 64000), "0:01:01.5");
    EXPECT_EQ(upload::audioDuration(460800000ull * 100), "100:00:00.0");
}

TEST_F(Progress, AwayFromATerminalALineIsAddedEvery10Seconds) {
    upload::ProgressMeter meter(steppingClock(std::chrono::seconds(1)), false);
    for (int second = 1; second <= 25; ++second) {
        meter.add(128000);
    }
    meter.finish();
    EXPECT_EQ(diagnostics(),
              "received 1280000 bytes (0:00:10.0 of audio) at 0.13 MB/s\n"
              "received 2560000 bytes (0:00:20.0 of audio) at 0.13 MB/s\n"
              "upload ended: received 3200000 bytes (0:00:25.0 of audio) at 0.12 MB/s in 26.0 s\n");
}

TEST_F(Progress, OnATerminalOneLineIsRewrittenInPlaceAFewTimesASecond) {
    const std::vector<milliseconds> readings = {milliseconds(0),   milliseconds(100), milliseconds(300),
                                                milliseconds(400), milliseconds(700), milliseconds(800)};
    auto next = std::make_shared<std::size_t>(0);
    upload::ProgressMeter meter(
        [readings, next] { return std::chrono::steady_clock::time_point(readings.at((*next)++)); }, true);
    for (std::size_t bytes : {1000000, 2000000, 0, 1}) {
        meter.add(bytes);
    }
    meter.finish();
    EXPECT_EQ(diagnostics(),
              "\rreceived 3000000 bytes (0:00:23.4 of audio) at 10.00 MB/s"
              "\rreceived 3000001 bytes (0:00:23.4 of audio) at 4.29 MB/s "
              "\rupload ended: received 3000001 bytes (0:00:23.4 of audio) at 3.75 MB/s in 0.8 s\n");
}

// While nothing arrives for 5 s or more, the line says for how long instead
// of a rate that would only sink; the next bytes bring the rate back.
TEST_F(Progress, OnATerminalASilenceOf5SecondsOrMoreIsShownInsteadOfTheRate) {
    const std::vector<milliseconds> readings = {milliseconds(0),    milliseconds(100),  milliseconds(5000),
                                                milliseconds(5100), milliseconds(5200), milliseconds(6200),
                                                milliseconds(6500), milliseconds(6600)};
    auto next = std::make_shared<std::size_t>(0);
    upload::ProgressMeter meter(
        [readings, next] { return std::chrono::steady_clock::time_point(readings.at((*next)++)); }, true);
    meter.add(1000);
    EXPECT_EQ(meter.idle(), milliseconds(4900));
    EXPECT_EQ(meter.idle(), milliseconds(5000));
    EXPECT_EQ(meter.idle(), milliseconds(5100));
    EXPECT_EQ(meter.idle(), milliseconds(6100));
    meter.add(1);
    meter.finish();
    EXPECT_EQ(diagnostics(),
              "\rreceived 1000 bytes (0:00:00.0 of audio); no data for 5 s"
              "\rreceived 1000 bytes (0:00:00.0 of audio); no data for 6 s"
              "\rreceived 1001 bytes (0:00:00.0 of audio) at 0.00 MB/s    "
              "\rupload ended: received 1001 bytes (0:00:00.0 of audio) at 0.00 MB/s in 6.6 s\n");
}

}  // namespace
