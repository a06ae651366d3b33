#pragma once

#include <functional>

namespace platform {

// Calls `onInterrupt` once, on a thread of its own (never inside a signal
// handler), when the user first interrupts the program: Ctrl-C (SIGINT) and
// SIGTERM; on Windows Ctrl-C, Ctrl-Break and closing the console window. A
// second interruption ends the process at once with status 130. Install once,
// before other threads start.
void installInterruptHandler(std::function<void()> onInterrupt);

}  // namespace platform
