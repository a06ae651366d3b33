#include "device_emulator/timing.h"

#include <algorithm>
#include <thread>

namespace quorvane::emulator {

namespace {

constexpr Milliseconds kStopCheckInterval{20};

}  // namespace

bool sleepUnlessStopped(Milliseconds duration, const std::atomic<bool>& stop) {
    const Clock::time_point end = Clock::now() + duration;
    for (;;) {
        if (stop) {
            return false;
        }
        const Clock::time_point now = Clock::now();
        if (now >= end) {
            return true;
        }
        std::this_thread::sleep_for(std::min(timeUntil(end, now) + Milliseconds(1), kStopCheckInterval));
    }
}

Milliseconds timeUntil(Clock::time_point then, Clock::time_point now) {
    if (then <= now) {
        return Milliseconds(0);
    }
    return std::chrono::duration_cast<Milliseconds>(then - now);
}

}  // namespace quorvane::emulator
