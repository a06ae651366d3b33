#pragma once

// What the shared interruption code needs from each operating system's
// handler: it says when an interruption has arrived (from the signal or
// console handler itself, so only a lock-free store) and when the run's
// onInterrupt call has returned.
namespace quorvane::platform {

void noteInterruptArrived();
void noteInterruptHandled();

}  // namespace quorvane::platform
