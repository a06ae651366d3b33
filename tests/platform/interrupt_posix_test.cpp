#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/interrupt.h"

namespace {

// Each case runs in a child process of its own: the handler is installed
// once per process. The child's exit code tells what reached it.
constexpr int kHandledBase = 10;

[[noreturn]] void exitWithInterruption(quorvane::platform::Interruption interruption) {
    _exit(kHandledBase + static_cast<int>(interruption));
}

[[noreturn]] void raiseAndWait(int signalNumber) {
    raise(signalNumber);
    std::this_thread::sleep_for(std::chrono::seconds(20));
    _exit(1);
}

TEST(InterruptHandlerDeathTest, EachSignalReachesTheRunAsWhatItStandsFor) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        int signalNumber;
        quorvane::platform::Interruption expected;
    } cases[] = {
        {SIGINT, quorvane::platform::Interruption::Interrupt},
        {SIGHUP, quorvane::platform::Interruption::HangUp},
        {SIGTERM, quorvane::platform::Interruption::Terminate},
    };
    for (const auto& signal : cases) {
        SCOPED_TRACE(signal.signalNumber);
        EXPECT_EXIT(
            {
                quorvane::platform::installInterruptHandler(exitWithInterruption);
                raiseAndWait(signal.signalNumber);
            },
            ::testing::ExitedWithCode(kHandledBase + static_cast<int>(signal.expected)), "");
    }
}

TEST(InterruptHandlerDeathTest, SecondSignalEndsTheProcessAtOnceWithItsStatus) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const auto& [second, status] : {std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}, std::pair{SIGINT, 130}}) {
        SCOPED_TRACE(second);
        EXPECT_EXIT(
            {
                // The run takes its time to end after the first.
                quorvane::platform::installInterruptHandler(
                    [second = second](quorvane::platform::Interruption) { raise(second); });
                raiseAndWait(SIGINT);
            },
            ::testing::ExitedWithCode(status), "");
    }
}

TEST(InterruptHandlerDeathTest, SignalIgnoredAtTheStartStaysIgnored) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            signal(SIGHUP, SIG_IGN);
            quorvane::platform::installInterruptHandler(exitWithInterruption);
            raise(SIGHUP);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            raiseAndWait(SIGTERM);
        },
        ::testing::ExitedWithCode(kHandledBase + static_cast<int>(quorvane::platform::Interruption::Terminate)), "");
}

// As when a terminal's Ctrl-C ends a converter too and its end is seen
// first: once the signal has arrived, the run can wait for its handler.
TEST(InterruptHandlerDeathTest, ASignalThatArrivedIsHandledBeforeTheRunDecidesItsStatus) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static std::atomic<bool> handled{false};
            quorvane::platform::installInterruptHandler([](quorvane::platform::Interruption) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                handled = true;
            });
            const bool arrivedBefore = quorvane::platform::awaitInterruptHandled(std::chrono::seconds(5));
            raise(SIGINT);
            const bool arrived = quorvane::platform::awaitInterruptHandled(std::chrono::seconds(5));
            _exit(!arrivedBefore && arrived && handled ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
