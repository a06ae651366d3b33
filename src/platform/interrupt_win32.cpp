#include "platform/interrupt.h"

#include <windows.h>

#include <atomic>
#include <utility>

namespace platform {

namespace {

constexpr UINT kInterruptedStatus = 130;

std::atomic<int> interruptions{0};
std::function<void()> interruptAction;

// Windows runs this on a new thread of its own, but holds the console's lock
// meanwhile: the next event waits until this call has returned. So Ctrl-C
// and Ctrl-Break return at once, leaving a second one free to end the
// program. After a console close, log-off or shut-down the process ends when
// the handler returns, so then the handler stays inside until the program has
// finished its own shutdown and exited.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (interruptions.fetch_add(1) > 0) {
        ExitProcess(kInterruptedStatus);
    }
    interruptAction();
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

void installInterruptHandler(std::function<void()> onInterrupt) {
    interruptAction = std::move(onInterrupt);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

}  // namespace platform
