#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include "platform/wall_clock.h"
#include "serial/uart_observer.h"

namespace quorvane {
namespace testing {

// A clock for the link's time-outs that moves only when the test moves it. It
// starts at the wall clock's reading, so that requests, which take the wall
// clock's time when they are built, start out in step with it.
class ManualClock {
public:
    ManualClock();

    platform::FtimeStamp now() const;
    // A negative step sets the clock back.
    void advance(std::chrono::milliseconds step);
    // What an observer reads this clock through; it stays valid after the
    // ManualClock is gone.
    LinkClock reading() const;

private:
    std::shared_ptr<std::atomic<long long>> millisecondsSince1970_;
};

}  // namespace testing
}  // namespace quorvane
