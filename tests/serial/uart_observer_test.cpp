#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "link_recorders.h"
#include "manual_clock.h"
#include "protocol/command_table.h"
#include "scripted_device.h"
#include "serial/serial_port.h"

namespace quorvane {
namespace testing {
namespace {

const std::string kJoined = "{\"result\":1,\"ip\":\"192.168.4.20\"}";

// The link's states in a tenth of their time or less, on the wall clock; the
// serial reads end 50 ms after a burst.
LinkTimings quickTimings() {
    LinkTimings timings;
    timings.stepPause = milliseconds(20);
    timings.probePoll = milliseconds(10);
    timings.heartbeatPeriod = milliseconds(100);
    timings.idleReadPause = milliseconds(5);
    timings.writeRetryPause = milliseconds(5);
    timings.probeTimeout = milliseconds(600);
    timings.lossTimeout = milliseconds(1500);
    timings.serial.readIntervalMs = 50;
    timings.serial.readTotalConstantMs = 300;
    return timings;
}

// The device's own patience (5 s for a probe, 10 s for heart-beats), measured
// on `clock`, which the test moves past a time-out instead of waiting for it;
// only the pauses between steps are real, and short.
LinkTimings clockedTimings(const ManualClock& clock) {
    LinkTimings timings = quickTimings();
    timings.stepPause = milliseconds(5);
    timings.probePoll = milliseconds(5);
    timings.heartbeatPeriod = milliseconds(20);
    timings.probeTimeout = LinkTimings().probeTimeout;
    timings.lossTimeout = LinkTimings().lossTimeout;
    timings.clock = clock.reading();
    return timings;
}

const milliseconds kPastProbeTimeout = LinkTimings().probeTimeout + milliseconds(1);
const milliseconds kPastLossTimeout = LinkTimings().lossTimeout + milliseconds(1);

long long millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<milliseconds>(to - from).count();
}

UartRequest wifiRequest(std::int32_t timeoutMs = 10000) {
    UartRequest request = makeRequest(WIFI_CONNECT, "studio-net pass phrase");
    request.timeoutMs = timeoutMs;
    return request;
}

// A device on the line, an observer on the host's end, what it reported, and
// a clock for the observer to measure its patience on.
class Link {
public:
    void startObserver(const LinkTimings& timings = quickTimings()) {
        observer = device.transport().observer(timings);
        attach(*observer);
        ASSERT_TRUE(observer->start());
    }

    void attach(UartObserver& target) {
        target.setListener(new RecordingListener(log));
        target.setDiagnostics(std::make_unique<RecordingDiagnostics>(diagnostics));
        log->observer = &target;
    }

    // The bound is for a loaded machine under Wine, where 5 s once fell short.
    void connect(const LinkTimings& timings = quickTimings()) {
        startObserver(timings);
        ASSERT_TRUE(log->waitFor(LinkEvent::Connected, 1, milliseconds(15000)));
    }

    ScriptedDevice device;
    ManualClock clock;
    std::shared_ptr<LinkLog> log = std::make_shared<LinkLog>();
    std::shared_ptr<DiagnosticsLog> diagnostics = std::make_shared<DiagnosticsLog>();
    std::unique_ptr<UartObserver> observer;
};

class UartObserverTest : public ::testing::Test, protected Link {};

// The clock moves to four times the loss time-out, a quarter of it at a
// time, and after each step the device hears two more heart-beats and the
// reader takes in every answer. Each answer refreshes the link's last
// heart-beat, so the link stays up; it would be lost only if no answer came
// in over five steps in a row.
TEST_F(UartObserverTest, AnsweredProbeConnectsOnceAndAnsweredHeartbeatsKeepTheLinkUpPastTheLossTimeout) {
    LinkTimings timings = clockedTimings(clock);
    // A read ends 5 ms after an answer, well before the next heart-beat.
    timings.serial.readIntervalMs = 5;
    connect(timings);
    const milliseconds step = timings.lossTimeout / 4;
    for (milliseconds moved = step; moved <= 4 * timings.lossTimeout; moved += step) {
        clock.advance(step);
        const std::size_t heard = device.heartbeatCount();
        ASSERT_TRUE(eventually([&] { return device.heartbeatCount() >= heard + 2 && observer->pendingCount() == 0; },
                               milliseconds(3000)))
            << moved.count() << " ms on";
    }
    EXPECT_EQ(log->count(LinkEvent::Connected), 1u);
    EXPECT_EQ(log->count(LinkEvent::Disconnected), 0u);
    EXPECT_EQ(observer->state(), Connected);
    EXPECT_TRUE(diagnostics->said().empty());
}

// The device's real timings: the probe's acknowledgement comes with the read
// that ends a second after it, then a heart-beat goes out every half second.
TEST_F(UartObserverTest, RealTimingsSendAHeartbeatEveryHalfSecond) {
    connect(LinkTimings());
    const std::size_t first = device.heartbeatCount();
    ASSERT_TRUE(eventually([&] { return device.heartbeatCount() >= first + 4; }, milliseconds(8000)));
    const std::vector<Clock::time_point> times = device.heartbeatTimes();
    std::vector<long long> gaps;
    for (std::size_t index = first; index + 1 < times.size(); ++index) {
        gaps.push_back(millisecondsBetween(times[index], times[index + 1]));
    }
    std::sort(gaps.begin(), gaps.end());
    EXPECT_GE(gaps[gaps.size() / 2], 480);
    EXPECT_LE(gaps[gaps.size() / 2], 800);
    EXPECT_EQ(log->count(LinkEvent::Connected), 1u);
}

// The probe waits on a clock that stands still until the test moves it past
// the time-out; each time the port is closed, reopened and probed again. One
// jump of the clock is a stall of this PC, in which no answer could be read:
// only the device's silence while the link thread runs counts.
TEST_F(UartObserverTest, SilentDeviceIsReprobedEachTimeTheProbeTimesOutAndTheListenerHearsNothing) {
    device.answerHeartbeats(false);
    startObserver(clockedTimings(clock));
    ASSERT_TRUE(eventually([&] { return device.heartbeatCount() >= 1; }, milliseconds(3000)));
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(device.heartbeatCount(), 1u) << "probed again while the clock stood still";
    clock.advance(kPastProbeTimeout);
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(device.heartbeatCount(), 1u) << "probed again after one stall of this PC";
    EXPECT_EQ(observer->state(), Probing);
    std::size_t mostPending = 0;
    for (std::size_t probes = 2; probes <= 4; ++probes) {
        ASSERT_TRUE(eventually(
            [&] {
                mostPending = std::max(mostPending, observer->pendingCount());
                clock.advance(kPastProbeTimeout);
                return device.heartbeatCount() >= probes;
            },
            milliseconds(3000)))
            << "probe " << probes;
    }
    EXPECT_LE(mostPending, 1u);
    EXPECT_TRUE(log->events().empty());
    EXPECT_EQ(diagnostics->said(), std::vector<std::string>{"silent"});
}

// As for the probe, one jump of the clock past the loss time-out is a stall
// of this PC; many jumps, each seen by the link thread, are the device's.
TEST_F(UartObserverTest, DeviceThatStopsAnsweringIsLostThenReconnected) {
    connect(clockedTimings(clock));
    device.answerHeartbeats(false);
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(log->count(LinkEvent::Disconnected), 0u) << "lost while the clock stood still";
    clock.advance(kPastLossTimeout);
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(log->count(LinkEvent::Disconnected), 0u) << "lost over one stall of this PC";
    ASSERT_TRUE(eventually(
        [&] {
            clock.advance(kPastLossTimeout);
            return log->count(LinkEvent::Disconnected) >= 1;
        },
        milliseconds(3000)));
    device.answerHeartbeats(true);
    ASSERT_TRUE(log->waitFor(LinkEvent::Connected, 2, milliseconds(3000)));
    const std::vector<LinkEvent> events = log->events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].kind, LinkEvent::Disconnected);
    EXPECT_EQ(diagnostics->count("lost"), 1u);
}

// A device whose heart-beat answers wait behind its own output (a megabyte
// of log or line noise read slowly) is behind, not lost: each quarter of the
// loss time-out brings bytes, so the link stays up for three time-outs
// without an answer, and is lost once the device falls quiet.
TEST_F(UartObserverTest, DeviceWhoseBytesKeepArrivingIsBehindNotLostUntilItFallsQuiet) {
    LinkTimings timings = clockedTimings(clock);
    timings.serial.readIntervalMs = 5;
    connect(timings);
    device.answerHeartbeats(false);
    device.logEvery(milliseconds(5));
    const milliseconds step = timings.lossTimeout / 4;
    for (milliseconds moved = step; moved <= 3 * timings.lossTimeout; moved += step) {
        clock.advance(step);
        const std::size_t received = observer->bytesReceived();
        ASSERT_TRUE(eventually([&] { return observer->bytesReceived() > received; }, milliseconds(3000)))
            << moved.count() << " ms on";
    }
    EXPECT_EQ(log->count(LinkEvent::Disconnected), 0u);
    device.logEvery(milliseconds(0));
    EXPECT_TRUE(eventually(
        [&] {
            clock.advance(kPastLossTimeout);
            return log->count(LinkEvent::Disconnected) >= 1;
        },
        milliseconds(3000)));
}

// A read that the device's log keeps going (up to 1024 bytes or 60 s here)
// has not yet told the link whether the device speaks: the clock jumping past
// the loss time-out again and again meanwhile is not the device's silence.
TEST_F(UartObserverTest, LinkIsNotLostWhileAReadIsUnderWay) {
    LinkTimings timings = clockedTimings(clock);
    timings.serial.readIntervalMs = 1000;
    timings.serial.readTotalConstantMs = 60000;
    connect(timings);
    device.answerHeartbeats(false);
    device.logEvery(milliseconds(100));
    for (int look = 0; look < 20; ++look) {
        clock.advance(kPastLossTimeout);
        std::this_thread::sleep_for(milliseconds(20));
    }
    EXPECT_EQ(log->count(LinkEvent::Disconnected), 0u);
}

// The device's own 10 s for wifi_connect: expired once 10000 ms have passed
// since the request was built, not a millisecond before.
TEST_F(UartObserverTest, UnansweredRequestIsReportedAsFailedOnceItsTimeoutHasPassed) {
    LinkTimings timings = clockedTimings(clock);
    timings.lossTimeout = milliseconds(60000);
    connect(timings);
    UartRequest request = wifiRequest();
    request.createdAt = clock.now();
    ASSERT_TRUE(observer->send(request));
    clock.advance(milliseconds(9999));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(log->count(LinkEvent::Response), 0u) << "expired before its time-out";
    clock.advance(milliseconds(1));
    ASSERT_TRUE(log->waitFor(LinkEvent::Response, 1, milliseconds(3000)));
    std::this_thread::sleep_for(milliseconds(50));
    const std::vector<LinkEvent> events = log->events();
    ASSERT_EQ(log->count(LinkEvent::Response), 1u);
    const LinkEvent& failed = events.back();
    EXPECT_EQ(failed.command, WIFI_CONNECT);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.body, "");
}

// A clock set back makes the time since a stamp a huge unsigned number, so
// whatever waits on it counts as expired rather than waiting for ever.
TEST(UartObserverClock, ClockSetBackCountsAsExpiredForEveryWait) {
    struct Situation {
        const char* waitingFor;
        std::function<void(Link&)> begin;
        std::function<bool(const Link&)> expired;
    };
    const Situation situations[] = {
        {"the probe's answer",
         [](Link& link) {
             link.device.answerHeartbeats(false);
             link.startObserver(clockedTimings(link.clock));
             ASSERT_TRUE(eventually([&] { return link.device.heartbeatCount() >= 1; }, milliseconds(3000)));
         },
         [](const Link& link) { return link.device.heartbeatCount() >= 2; }},
        {"heart-beat answers on a link that is up",
         [](Link& link) {
             link.connect(clockedTimings(link.clock));
             link.device.answerHeartbeats(false);
         },
         [](const Link& link) { return link.log->count(LinkEvent::Disconnected) >= 1; }},
        {"a request's answer",
         [](Link& link) {
             link.connect(clockedTimings(link.clock));
             UartRequest request = wifiRequest();
             request.createdAt = link.clock.now();
             ASSERT_TRUE(link.observer->send(request));
         },
         [](const Link& link) {
             const std::vector<LinkEvent> events = link.log->events();
             return std::any_of(events.begin(), events.end(), [](const LinkEvent& event) {
                 return event.kind == LinkEvent::Response && event.command == WIFI_CONNECT && !event.ok;
             });
         }},
    };
    for (const Situation& situation : situations) {
        SCOPED_TRACE(situation.waitingFor);
        Link link;
        situation.begin(link);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_TRUE(eventually(
            [&] {
                link.clock.advance(milliseconds(-1000));
                return situation.expired(link);
            },
            milliseconds(3000)));
    }
}

// Sent: heart-beat (the probe), heart-beat, heart-beat, wifi_connect,
// heart-beat. The probe's copy waits for all four heart-beats, so pending
// holds it and wifi_connect; one chunk then holds both frames, after line
// noise with a NUL byte.
TEST_F(UartObserverTest, OneChunkCompletesEveryWaitingRequestInListOrder) {
    LinkTimings timings = quickTimings();
    timings.probeTimeout = milliseconds(20000);
    timings.heartbeatPeriod = milliseconds(3000);
    device.answerHeartbeats(false);
    startObserver(timings);
    ASSERT_TRUE(eventually([&] { return observer->pendingCount() == 1; }, milliseconds(3000)));
    const UartRequest heartbeat = makeRequest(HEART_BEAT, "");
    ASSERT_TRUE(observer->send(heartbeat));
    ASSERT_TRUE(observer->send(heartbeat));
    ASSERT_TRUE(observer->send(wifiRequest()));
    ASSERT_TRUE(observer->send(heartbeat));
    ASSERT_EQ(observer->pendingCount(), 2u);
    device.send(std::string("\x7f\0\xff", 3) + wifiAck(kJoined) + heartbeatAck());
    ASSERT_TRUE(log->waitFor(LinkEvent::Response, 1, milliseconds(3000)));
    EXPECT_TRUE(eventually([&] { return observer->pendingCount() == 0; }, milliseconds(1000)));
    const std::vector<LinkEvent> events = log->events();
    const LinkEvent response = *std::find_if(events.begin(), events.end(),
                                             [](const LinkEvent& event) { return event.kind == LinkEvent::Response; });
    EXPECT_EQ(response.command, WIFI_CONNECT);
    EXPECT_TRUE(response.ok);
    EXPECT_EQ(response.body, kJoined);
    EXPECT_EQ(response.stateSeen, Connected);
    EXPECT_TRUE(log->waitFor(LinkEvent::Connected, 1, milliseconds(3000)));
    EXPECT_EQ(log->count(LinkEvent::Response), 1u);
}

TEST_F(UartObserverTest, SendAfterStopFailsWithoutWriting) {
    connect();
    observer->stop();
    ASSERT_TRUE(eventually([&] { return observer->state() == Closed; }, milliseconds(3000)));
    std::this_thread::sleep_for(milliseconds(100));
    const std::size_t heartbeats = device.heartbeatCount();
    EXPECT_FALSE(observer->send(makeRequest(HEART_BEAT, "")));
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(device.heartbeatCount(), heartbeats);
}

TEST_F(UartObserverTest, SecondStartFailsWhileRunningAndAStoppedLinkStartsAgain) {
    connect();
    EXPECT_FALSE(observer->start());
    observer->stop();
    ASSERT_TRUE(eventually([&] { return observer->start(); }, milliseconds(5000)));
    EXPECT_TRUE(log->waitFor(LinkEvent::Connected, 2, milliseconds(5000)));
}

TEST_F(UartObserverTest, StopInsideAResponseAndTearDownWaitForTheListener) {
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
    log->duringResponse = [&] {
        observer->stop();
        inside = true;
        std::this_thread::sleep_for(milliseconds(200));
        finished = true;
    };
    device.answerWifi(kJoined);
    connect();
    ASSERT_TRUE(observer->send(wifiRequest()));
    ASSERT_TRUE(eventually([&] { return inside.load(); }, milliseconds(5000)));
    std::thread worker([&] { observer->stop(); });
    worker.join();
    EXPECT_FALSE(finished);
    observer.reset();
    EXPECT_TRUE(finished);
}

// A device that logs more often than the inter-byte time-out keeps each read
// going until the port's total limit, here 3 s; stopping ends the read in
// progress, so tearing the observer down does not wait for it.
TEST_F(UartObserverTest, StopEndsTheReadInProgressSoTearDownIsPrompt) {
    LinkTimings timings = quickTimings();
    timings.serial.readIntervalMs = 1000;
    timings.serial.readTotalConstantMs = 3000;
    device.logEvery(milliseconds(200));
    startObserver(timings);
    ASSERT_TRUE(eventually([&] { return device.heartbeatCount() >= 1; }, milliseconds(3000)));
    std::this_thread::sleep_for(milliseconds(300));
    ASSERT_EQ(log->count(LinkEvent::Connected), 0u) << "the probe's answer came before the read's limit";
    const auto stopped = Clock::now();
    observer->stop();
    observer.reset();
    EXPECT_LT(millisecondsBetween(stopped, Clock::now()), 500);
}

TEST_F(UartObserverTest, RequestsSentWhileTheReaderIdlesAreReadAtOnce) {
    LinkTimings timings = clockedTimings(clock);
    timings.heartbeatPeriod = milliseconds(20000);
    timings.serial.readIntervalMs = 20;
    device.answerWifi(kJoined);
    connect(timings);
    for (std::size_t round = 1; round <= 20; ++round) {
        ASSERT_TRUE(eventually([&] { return observer->pendingCount() == 0; }, milliseconds(2000)));
        ASSERT_TRUE(observer->send(wifiRequest()));
        ASSERT_TRUE(log->waitFor(LinkEvent::Response, round, milliseconds(2000))) << "round " << round;
    }
}

// Opens are retried every 5 ms here, some thirty times per name.
TEST_F(UartObserverTest, PortThatCannotBeOpenedStaysClosedAndIsReportedOnce) {
    const LinkTimings timings = clockedTimings(clock);
    for (const std::string& name : {std::string(), missingPortName()}) {
        UartObserver absent(name, 115200, timings);
        attach(absent);
        ASSERT_TRUE(absent.start());
        const bool leftClosed = eventually([&] { return absent.state() != Closed; }, milliseconds(150));
        EXPECT_FALSE(leftClosed) << name;
    }
    UartObserver portZero(0, 115200, timings);
    attach(portZero);
    ASSERT_TRUE(portZero.start());
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(portZero.state(), Closed);
    log->observer = nullptr;
    EXPECT_TRUE(log->events().empty());
    EXPECT_EQ(diagnostics->said(),
              (std::vector<std::string>{"unavailable:missing ", "unavailable:missing " + missingPortName(),
                                        "unavailable:missing "}));
}

TEST_F(UartObserverTest, BusyPortIsReportedOnceAndConnectsWhenFreed) {
    if (!systemEnforcesExclusiveOpen()) {
        GTEST_SKIP() << "Wine lets a second program open a COM port that is open (no exclusive "
                        "sharing), which Windows refuses";
    }
    SerialPort holder;
    ASSERT_TRUE(holder.open(device.transport().portName(), 115200, 0, 8, 1));
    startObserver(clockedTimings(clock));
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(observer->state(), Closed);
    holder.close();
    EXPECT_TRUE(log->waitFor(LinkEvent::Connected, 1, milliseconds(5000)));
    EXPECT_EQ(diagnostics->said(), std::vector<std::string>{"unavailable:busy " + device.transport().portName()});
}

}  // namespace
}  // namespace testing
}  // namespace quorvane
