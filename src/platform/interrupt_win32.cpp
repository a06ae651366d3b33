#include "platform/interrupt.h"

#include <windows.h>

#include <atomic>
#include <utility>

namespace platform {

namespace {

constexpr UINT kInterruptedStatus = 130;

std::atomic<int> interruptions{0};
std::function<void()> interruptAction;

// Windows runs this on a new thread of its own. After a console close the
// process ends when the handler returns, so the first handler stays inside
// until the program has finished its own shutdown and exited.
BOOL WINAPI onConsoleEvent(DWORD) {
    if (interruptions.fetch_add(1) > 0) {
        ExitProcess(kInterruptedStatus);
    }
    interruptAction();
    Sleep(INFINITE);
    return TRUE;
}

}  // namespace

void installInterruptHandler(std::function<void()> onInterrupt) {
    interruptAction = std::move(onInterrupt);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

}  // namespace platform
