#include <gtest/gtest.h>

#include <iostream>
#include <thread>

#include "link_recorders.h"
#include "protocol/command_table.h"
#include "scripted_device.h"

namespace quorvane {
namespace testing {
namespace {

const std::string kJoined = "{\"result\":1}";

// A device whose bytes never pause for the one second that ends a read: with
// reads unbounded until 1024 bytes had gathered, acknowledgements would wait
// about 12 s, the link would be declared lost and the Wi-Fi answer missed.
// On the device's real timings, for twenty seconds: longer than the 10 s
// after which a link that answers nothing is declared lost. How soon the
// answer comes is printed, not asserted: a loaded PC delays it, and the read's
// own limit is tested on the port.
class TalkativeDeviceTest : public ::testing::Test {
protected:
    void runForTwentySeconds() {
        device.answerWifi(kJoined);
        auto observer = device.transport().observer(LinkTimings());
        auto log = std::make_shared<LinkLog>();
        observer->setListener(new RecordingListener(log));
        log->observer = observer.get();
        const auto started = Clock::now();
        ASSERT_TRUE(observer->start());
        ASSERT_TRUE(log->waitFor(LinkEvent::Connected, 1, std::chrono::milliseconds(8000)));

        std::this_thread::sleep_until(started + std::chrono::seconds(5));
        const std::size_t heartbeatsBefore = device.heartbeatCount();
        ASSERT_TRUE(observer->send(makeRequest(WIFI_CONNECT, "studio-net pass")));
        const auto asked = Clock::now();
        ASSERT_TRUE(log->waitFor(LinkEvent::Response, 1, std::chrono::milliseconds(10000)));
        const auto answerDelay = std::chrono::duration_cast<std::chrono::milliseconds>(log->events().back().at - asked);
        std::cout << "wifi_connect acknowledgement reported " << answerDelay.count() << " ms after the request\n";
        EXPECT_TRUE(log->events().back().ok);
        EXPECT_EQ(log->events().back().body, kJoined);

        std::this_thread::sleep_until(started + std::chrono::seconds(20));
        EXPECT_EQ(log->count(LinkEvent::Disconnected), 0u);
        EXPECT_EQ(log->count(LinkEvent::Connected), 1u);
        EXPECT_GE(device.heartbeatCount() - heartbeatsBefore, 15u);
        EXPECT_EQ(observer->state(), Connected);
    }

    ScriptedDevice device;
};

TEST_F(TalkativeDeviceTest, DeviceAnsweringEveryHeartbeatStaysConnected) {
    runForTwentySeconds();
}

TEST_F(TalkativeDeviceTest, DeviceLoggingEvery200MillisecondsStaysConnected) {
    device.logEvery(std::chrono::milliseconds(200));
    runForTwentySeconds();
}

}  // namespace
}  // namespace testing
}  // namespace quorvane
