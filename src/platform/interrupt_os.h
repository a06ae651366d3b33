#pragma once

// What the shared interruption code needs from each operating system's
// handler: it says when an interruption has arrived (from the signal or
// console handler itself, so only a lock-free store) and when the run's
// onInterrupt call has returned.
#include "platform/interrupt.h"

namespace quorvane::platform {

void noteInterruptArrived();
// Records which interruption it was, outside the signal handler, before the
// run's onInterrupt is called.
void noteInterruptCause(Interruption interruption);
void noteInterruptHandled();

}  // namespace quorvane::platform
