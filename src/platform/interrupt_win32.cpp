#include <windows.h>

#include <atomic>
#include <thread>
#include <utility>

#include "platform/interrupt.h"
#include "platform/interrupt_os.h"

namespace quorvane::platform {

namespace {

constexpr DWORD kHandlerEndLimitMs = 2000;

std::atomic<int> interruptions{0};
std::function<void(Interruption)> interruptAction;
// Set by the console handler once it has recorded the event; the watcher
// thread waits for it.
HANDLE wakeEvent = nullptr;
std::atomic<DWORD> arrivedEvent{CTRL_C_EVENT};
// The thread Windows ran the handler on for a Ctrl-C or Ctrl-Break, while it
// may still be ending; null for the events whose handler never returns.
std::atomic<HANDLE> handlerThread{nullptr};

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

bool handlerReturns(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

// Windows runs this on a new thread of its own, but holds the console's lock
// meanwhile: the next event waits until this call has returned. So Ctrl-C
// and Ctrl-Break return at once, leaving a second one free to end the
// program. After a console close, log-off or shut-down the process ends when
// the handler returns, so then the handler stays inside until the program has
// finished its own shutdown and exited. The run's work happens on the
// watcher thread.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (interruptions.fetch_add(1) > 0) {
        ExitProcess(static_cast<UINT>(exitStatusFor(interruptionOf(event))));
    }
    noteInterruptArrived();
    arrivedEvent = event;
    HANDLE self = nullptr;
    if (handlerReturns(event) &&
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, SYNCHRONIZE, FALSE, 0)) {
        handlerThread = self;
    }
    SetEvent(wakeEvent);
    if (!handlerReturns(event)) {
        Sleep(INFINITE);
    }
    return TRUE;
}

// The run's threads begin to end once onInterrupt has run. Under Wine a
// thread that ended while the handler's thread was still ending could stay
// unfinished for good (its join never returned), so onInterrupt waits until
// the handler's thread is gone.
void watchForInterrupt() {
    WaitForSingleObject(wakeEvent, INFINITE);
    if (const HANDLE thread = handlerThread) {
        WaitForSingleObject(thread, kHandlerEndLimitMs);
    }
    const Interruption interruption = interruptionOf(arrivedEvent);
    noteInterruptCause(interruption);
    interruptAction(interruption);
    noteInterruptHandled();
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
    wakeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (wakeEvent == nullptr) {
        return;
    }
    interruptAction = std::move(onInterrupt);
    std::thread(watchForInterrupt).detach();
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

}  // namespace quorvane::platform
