#include "platform/interrupt.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <utility>

namespace platform {

namespace {

constexpr int kInterruptedStatus = 130;

std::atomic<int> interruptions{0};
int wakePipe[2] = {-1, -1};

// Only async-signal-safe calls here: the work happens on the watcher thread.
void onSignal(int) {
    if (interruptions.fetch_add(1) > 0) {
        _exit(kInterruptedStatus);
    }
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = write(wakePipe[1], &wake, 1);
}

void watchForInterrupt(std::function<void()> onInterrupt) {
    char wake = 0;
    while (read(wakePipe[0], &wake, 1) < 0) {
    }
    onInterrupt();
}

}  // namespace

void installInterruptHandler(std::function<void()> onInterrupt) {
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
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace platform
