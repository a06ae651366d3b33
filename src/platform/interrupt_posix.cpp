#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <utility>

#include "platform/interrupt.h"
#include "platform/interrupt_os.h"

namespace quorvane::platform {

namespace {

std::atomic<int> interruptions{0};
int wakePipe[2] = {-1, -1};

Interruption interruptionOf(int signalNumber) {
    switch (signalNumber) {
        case SIGHUP:
            return Interruption::HangUp;
        case SIGTERM:
            return Interruption::Terminate;
        default:
            return Interruption::Interrupt;
    }
}

// Only async-signal-safe calls here: the work happens on the watcher thread,
// which the pipe tells which signal came.
void onSignal(int signalNumber) {
    if (interruptions.fetch_add(1) > 0) {
        _exit(exitStatusFor(interruptionOf(signalNumber)));
    }
    noteInterruptArrived();
    const char signalByte = static_cast<char>(signalNumber);
    [[maybe_unused]] const ssize_t written = write(wakePipe[1], &signalByte, 1);
}

void watchForInterrupt(std::function<void(Interruption)> onInterrupt) {
    char signalByte = 0;
    while (read(wakePipe[0], &signalByte, 1) < 0) {
    }
    const Interruption interruption = interruptionOf(signalByte);
    noteInterruptCause(interruption);
    onInterrupt(interruption);
    noteInterruptHandled();
}

// A signal this program was started with ignored stays ignored: "nohup" and
// a shell's background jobs ask for that.
void catchUnlessIgnored(int signalNumber, const struct sigaction& action) {
    struct sigaction inherited {};
    if (sigaction(signalNumber, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) {
        return;
    }
    sigaction(signalNumber, &action, nullptr);
}

}  // namespace

const char* interruptionName(Interruption interruption) {
    switch (interruption) {
        case Interruption::HangUp:
            return "SIGHUP (hang-up)";
        case Interruption::Terminate:
            return "SIGTERM";
        case Interruption::Interrupt:
            break;
    }
    return "Ctrl-C";
}

void installInterruptHandler(std::function<void(Interruption)> onInterrupt) {
    if (pipe(wakePipe) != 0) {
        return;
    }
    fcntl(wakePipe[0], F_SETFD, FD_CLOEXEC);
    fcntl(wakePipe[1], F_SETFD, FD_CLOEXEC);
    std::thread(watchForInterrupt, std::move(onInterrupt)).detach();
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGINT, SIGHUP, SIGTERM}) {
        catchUnlessIgnored(signalNumber, action);
    }
}

}  // namespace quorvane::platform
