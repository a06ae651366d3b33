#pragma once

#include <atomic>
#include <chrono>

namespace quorvane::emulator {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// Sleeps for the given time in short steps; returns false as soon as stop is
// set, so a pending upload never delays the exit.
bool sleepUnlessStopped(Milliseconds duration, const std::atomic<bool>& stop);

// Whole milliseconds from now until then, at least 0.
Milliseconds timeUntil(Clock::time_point then, Clock::time_point now);

}  // namespace quorvane::emulator
