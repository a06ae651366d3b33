#pragma once

#include <chrono>
#include <functional>
#include <optional>

namespace quorvane::platform {

// How the user or the system asked the program to stop.
enum class Interruption {
    Interrupt,  // Ctrl-C (SIGINT); on Windows also Ctrl-Break
    HangUp,     // SIGHUP: the terminal went away; on Windows the console window was closed
    Terminate,  // SIGTERM; on Windows the user logs off or the system shuts down
};

// The exit status of a program that ends because of `interruption`: 128 plus
// the number of the POSIX signal it stands for, as shells report a program
// that such a signal ended (130, 129, 143).
int exitStatusFor(Interruption interruption);

// How this system names what happened, for messages: "SIGTERM", "the
// console window was closed".
const char* interruptionName(Interruption interruption);

// Calls `onInterrupt` once, on a thread of its own (never inside a signal
// handler), when the program is first interrupted: SIGINT, SIGHUP and SIGTERM
// on POSIX (each unless this program was started with it ignored, as nohup
// does), the console events on Windows. A second interruption ends the
// process at once with its exit status. Install once, before other threads
// start.
void installInterruptHandler(std::function<void(Interruption)> onInterrupt);

// The interruption the program has had, from just before its onInterrupt
// call on; empty before. The run and --convert decide their exit status by
// it, the split and the conversion stop at it: one interruption, one place.
std::optional<Interruption> arrivedInterruption();

// When an interruption has arrived, waits until its onInterrupt call has
// returned (at most `limit`); false at once when none arrived. A Ctrl-C from
// a terminal also ends a program this one runs, and that end may be seen
// before onInterrupt has run: the run asks this before it decides its exit
// status.
bool awaitInterruptHandled(std::chrono::milliseconds limit);

}  // namespace quorvane::platform
