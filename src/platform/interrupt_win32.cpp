#include <windows.h>

#include <atomic>
#include <utility>

#include "platform/interrupt.h"
#include "platform/interrupt_os.h"

namespace quorvane::platform {

namespace {

std::atomic<int> interruptions{0};
std::function<void(Interruption)> interruptAction;

// Ctrl-Break is the console's other interrupt key. Closing the console
// window takes the terminal away as a hang-up does on POSIX (129); log-off and
// shut-down ask every program to terminate, as SIGTERM does (143).
Interruption interruptionOf(DWORD event) {
    switch (event) {
        case CTRL_CLOSE_EVENT:
            return Interruption::HangUp;
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            return Interruption::Terminate;
        default:
            return Interruption::Interrupt;
    }
}

// Windows runs this on a new thread of its own, but holds the console's lock
// meanwhile: the next event waits until this call has returned. So Ctrl-C
// and Ctrl-Break return at once, leaving a second one free to end the
// program. After a console close, log-off or shut-down the process ends when
// the handler returns, so then the handler stays inside until the program has
// finished its own shutdown and exited.
BOOL WINAPI onConsoleEvent(DWORD event) {
    const Interruption interruption = interruptionOf(event);
    if (interruptions.fetch_add(1) > 0) {
        ExitProcess(static_cast<UINT>(exitStatusFor(interruption)));
    }
    noteInterruptArrived();
    noteInterruptCause(interruption);
    interruptAction(interruption);
    noteInterruptHandled();
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

const char* interruptionName(Interruption interruption) {
    switch (interruption) {
        case Interruption::HangUp:
            return "the console window was closed";
        case Interruption::Terminate:
            return "log-off or shut-down";
        case Interruption::Interrupt:
            break;
    }
    return "Ctrl-C";
}

void installInterruptHandler(std::function<void(Interruption)> onInterrupt) {
    interruptAction = std::move(onInterrupt);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

}  // namespace quorvane::platform
