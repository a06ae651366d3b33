#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "device_transport.h"
#include "scripted_device.h"
#include "serial/serial_port.h"

namespace quorvane {
namespace testing {
namespace {

constexpr std::int32_t kCapacity = 1024;

std::string patternedBytes(std::size_t count) {
    std::string bytes;
    for (std::size_t index = 0; index < count; ++index) {
        bytes += static_cast<char>('A' + index % 26);
    }
    return bytes;
}

struct Burst {
    std::string bytes;
    Clock::time_point began;
    Clock::time_point ended;
};

class SerialPortTest : public ::testing::Test {
protected:
    bool open(SerialPort& port) { return port.open(device->portName(), 115200, 0, 8, 1); }

    // Reads the way the observer's reader does: an empty read returns at once,
    // so poll until one read starts on waiting bytes.
    static Burst readBurst(SerialPort& port, std::int32_t capacity = kCapacity) {
        std::vector<char> buffer(static_cast<std::size_t>(capacity));
        const auto deadline = Clock::now() + milliseconds(10000);
        while (Clock::now() < deadline) {
            const auto began = Clock::now();
            const std::int32_t count = port.read(buffer.data(), capacity);
            if (count > 0) {
                return {std::string(buffer.data(), static_cast<std::size_t>(count)), began, Clock::now()};
            }
            std::this_thread::sleep_for(milliseconds(2));
        }
        return {};
    }

    std::string receivedByDevice(std::size_t expected) {
        std::string received;
        eventually(
            [&] {
                received += device->read(milliseconds(20));
                return received.size() >= expected;
            },
            milliseconds(5000));
        return received;
    }

    // The device writes a byte every `period` from its own thread, until the
    // returned guard is destroyed.
    std::shared_ptr<void> keepTalking(milliseconds period) {
        auto talking = std::make_shared<std::atomic<bool>>(true);
        auto talker = std::make_shared<std::thread>([this, talking, period] {
            while (*talking) {
                device->write("x");
                std::this_thread::sleep_for(period);
            }
        });
        return std::shared_ptr<void>(nullptr, [talking, talker](void*) {
            *talking = false;
            talker->join();
        });
    }

    std::unique_ptr<DeviceTransport> device = openDeviceTransport();
};

long long millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<milliseconds>(to - from).count();
}

TEST_F(SerialPortTest, NothingWaitingReadsZeroWithoutWaiting) {
    SerialPort port;
    ASSERT_TRUE(open(port));
    char buffer[kCapacity];
    const auto began = Clock::now();
    EXPECT_EQ(port.read(buffer, kCapacity), 0);
    EXPECT_LT(millisecondsBetween(began, Clock::now()), 500);
}

// The device's own interval of 1000 ms; the total limit is lifted so that only
// the silence after the burst can end the read.
TEST_F(SerialPortTest, BurstReturnsAboutOneSecondAfterItsLastByte) {
    SerialTimeouts timeouts;
    timeouts.readTotalConstantMs = 10000;
    SerialPort port(timeouts);
    ASSERT_TRUE(open(port));
    const std::string burst = patternedBytes(40);
    const auto sent = Clock::now();
    device->write(burst);
    const Burst read = readBurst(port);
    const long long returnedAfter = millisecondsBetween(sent, read.ended);
    std::cout << "40-byte burst returned " << returnedAfter << " ms after it was sent\n";
    EXPECT_EQ(read.bytes, burst);
    EXPECT_GE(returnedAfter, 900);
    EXPECT_LT(returnedAfter, 3000);
}

TEST_F(SerialPortTest, PausesShorterThanTheIntervalDoNotSplitABurst) {
    SerialPort port;
    ASSERT_TRUE(open(port));
    const std::string parts[] = {"<QRVN_ACK_WIFI_CON>", "{\"result\":1}", "<QRVN_ACK_WIFI_CON_END>"};
    std::thread talker([&] {
        for (const std::string& part : parts) {
            device->write(part);
            std::this_thread::sleep_for(milliseconds(200));
        }
    });
    const Burst read = readBurst(port);
    talker.join();
    EXPECT_EQ(read.bytes, parts[0] + parts[1] + parts[2]);
}

TEST_F(SerialPortTest, LineThatNeverFallsSilentEndsTheReadAtTheTotalLimit) {
    SerialTimeouts timeouts;
    timeouts.readIntervalMs = 600;
    timeouts.readTotalConstantMs = 1200;
    SerialPort port(timeouts);
    ASSERT_TRUE(open(port));
    auto talker = keepTalking(milliseconds(50));
    const Burst first = readBurst(port);
    const Burst second = readBurst(port);
    talker.reset();
    for (const Burst& read : {first, second}) {
        EXPECT_GE(millisecondsBetween(read.began, read.ended), 1150);
        EXPECT_LT(millisecondsBetween(read.began, read.ended), 2700);
        EXPECT_GT(read.bytes.size(), 5u);
    }
}

TEST_F(SerialPortTest, MoreThanCapacityWaitingReturnsExactlyCapacityThenTheRest) {
    SerialPort port;
    ASSERT_TRUE(open(port));
    const std::string sent = patternedBytes(1500);
    device->write(sent);
    const Burst first = readBurst(port);
    ASSERT_EQ(first.bytes.size(), static_cast<std::size_t>(kCapacity));
    std::string rest;
    while (first.bytes.size() + rest.size() < sent.size()) {
        const Burst next = readBurst(port);
        ASSERT_FALSE(next.bytes.empty());
        rest += next.bytes;
    }
    EXPECT_EQ(first.bytes + rest, sent);
}

TEST_F(SerialPortTest, WriteDeliversTheLineAndOpenDropsWhatWaitedBefore) {
    device->write("stale boot banner\r\n");
    std::this_thread::sleep_for(milliseconds(500));
    SerialPort port;
    ASSERT_TRUE(open(port));
    char buffer[kCapacity];
    EXPECT_EQ(port.read(buffer, kCapacity), 0);
    const std::string line = "listen heart_beat\r\n";
    EXPECT_EQ(port.write(line.data(), static_cast<std::int32_t>(line.size())), 19);
    EXPECT_EQ(receivedByDevice(line.size()), line);
}

TEST_F(SerialPortTest, ClosedPortReadsAndWritesNothing) {
    SerialPort port;
    EXPECT_EQ(port.close(), 0);
    EXPECT_FALSE(port.isOpen());
    char buffer[16] = {};
    EXPECT_EQ(port.read(buffer, sizeof buffer), 0);
    EXPECT_EQ(port.write("x", 1), 0);
    ASSERT_TRUE(open(port));
    EXPECT_EQ(port.close(), 0);
    EXPECT_EQ(port.write("x", 1), 0);
    EXPECT_EQ(port.close(), 0);
}

TEST_F(SerialPortTest, MissingPortFailsToOpenAndSaysItIsMissing) {
    for (const std::string& name : {std::string(), missingPortName()}) {
        SerialPort port;
        EXPECT_FALSE(port.open(name, 115200, 0, 8, 1)) << name;
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.lastOpenError().kind, OpenFailure::Missing) << name;
        EXPECT_NE(port.lastOpenError().code, 0);
        EXPECT_FALSE(port.lastOpenError().description.empty());
    }
}

TEST_F(SerialPortTest, PortOpenElsewhereIsBusyUntilClosed) {
    if (!systemEnforcesExclusiveOpen()) {
        GTEST_SKIP() << "Wine lets a second program open a COM port that is open (no exclusive "
                        "sharing), which Windows refuses";
    }
    SerialPort holder;
    ASSERT_TRUE(open(holder));
    SerialPort second;
    EXPECT_FALSE(open(second));
    EXPECT_EQ(second.lastOpenError().kind, OpenFailure::Busy);
    holder.close();
    EXPECT_TRUE(open(second));
}

TEST_F(SerialPortTest, CloseWaitsForAReadInProgress) {
    SerialPort port;
    ASSERT_TRUE(open(port));
    const auto sent = Clock::now();
    device->write("partial frame");
    std::string readBytes;
    std::thread reader([&] { readBytes = readBurst(port).bytes; });
    std::this_thread::sleep_for(milliseconds(500));
    port.close();
    const auto closed = Clock::now();
    reader.join();
    EXPECT_EQ(readBytes, "partial frame");
    EXPECT_GE(millisecondsBetween(sent, closed), 900);
    EXPECT_FALSE(port.isOpen());
}

// A device that never pauses keeps a read going until its total limit, 10 s
// here; cancelling ends it at once, and reads stay turned away until resumed.
TEST_F(SerialPortTest, CancelEndsAReadInProgressAtOnceAndLaterReadsUntilResumed) {
    SerialTimeouts timeouts;
    timeouts.readTotalConstantMs = 10000;
    SerialPort port(timeouts);
    ASSERT_TRUE(open(port));
    auto talker = keepTalking(milliseconds(20));
    std::this_thread::sleep_for(milliseconds(100));
    Clock::time_point readEnded;
    std::thread reader([&] {
        char buffer[kCapacity];
        port.read(buffer, kCapacity);
        readEnded = Clock::now();
    });
    std::this_thread::sleep_for(milliseconds(500));
    const auto cancelled = Clock::now();
    port.cancelReads();
    reader.join();
    std::cout << "cancelled read returned " << millisecondsBetween(cancelled, readEnded) << " ms after the cancel\n";
    EXPECT_GE(millisecondsBetween(cancelled, readEnded), 0) << "the read ended before it was cancelled";
    EXPECT_LT(millisecondsBetween(cancelled, readEnded), 500);

    talker.reset();

    device->write("after");
    std::this_thread::sleep_for(milliseconds(200));
    char buffer[kCapacity];
    const auto turnedAway = Clock::now();
    EXPECT_EQ(port.read(buffer, kCapacity), 0);
    EXPECT_LT(millisecondsBetween(turnedAway, Clock::now()), 100);
    port.resumeReads();
    const std::string resumed = readBurst(port).bytes;
    EXPECT_EQ(resumed.substr(resumed.size() - std::min<std::size_t>(resumed.size(), 5)), "after");
}

// A cancel may come while the read waits for bytes or while it takes them in;
// rounds at moments 10 ms apart against a device sending every 2 ms, whose
// bytes would otherwise fill the buffer in about two seconds.
TEST_F(SerialPortTest, CancelEndsTheReadWhateverMomentItComes) {
    SerialPort port;
    ASSERT_TRUE(open(port));
    auto talker = keepTalking(milliseconds(2));
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        port.resumeReads();
        std::atomic<bool> cancelling{false};
        Clock::time_point readEnded;
        std::thread reader([&] {
            char buffer[kCapacity];
            while (port.read(buffer, kCapacity) == 0 && !cancelling) {
                std::this_thread::sleep_for(milliseconds(1));
            }
            readEnded = Clock::now();
        });
        std::this_thread::sleep_for(milliseconds(10 + 10 * round));
        const auto cancelled = Clock::now();
        cancelling = true;
        port.cancelReads();
        reader.join();
        EXPECT_LT(millisecondsBetween(cancelled, readEnded), 500);
    }
    talker.reset();
}

}  // namespace
}  // namespace testing
}  // namespace quorvane
