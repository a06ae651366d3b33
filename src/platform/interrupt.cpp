#include "platform/interrupt.h"

#include <atomic>
#include <thread>

#include "platform/interrupt_os.h"

namespace quorvane::platform {

namespace {

// Lock-free, so that a signal handler may set it.
std::atomic<bool> interruptArrived{false};
std::atomic<bool> interruptHandled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");
// Written once, before the onInterrupt call; read from any thread.
std::atomic<bool> causeKnown{false};
std::atomic<Interruption> cause{Interruption::Interrupt};

}  // namespace

void noteInterruptArrived() {
    interruptArrived = true;
}

void noteInterruptCause(Interruption interruption) {
    cause = interruption;
    causeKnown = true;
}

std::optional<Interruption> arrivedInterruption() {
    if (!causeKnown) {
        return std::nullopt;
    }
    return cause.load();
}

void noteInterruptHandled() {
    interruptHandled = true;
}

bool awaitInterruptHandled(std::chrono::milliseconds limit) {
    constexpr std::chrono::milliseconds kPoll{5};
    if (!interruptArrived) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!interruptHandled && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

int exitStatusFor(Interruption interruption) {
    // 128 + the POSIX signal number; the numbers are POSIX's own, the same
    // on every system (Windows has no SIGHUP).
    constexpr int kSignalBase = 128;
    switch (interruption) {
        case Interruption::HangUp:
            return kSignalBase + 1;
        case Interruption::Terminate:
            return kSignalBase + 15;
        case Interruption::Interrupt:
            break;
    }
    // 130 = 128 + SIGINT (2): what shells report for a program ended by Ctrl-C.
    return kSignalBase + 2;
}

}  // namespace quorvane::platform
