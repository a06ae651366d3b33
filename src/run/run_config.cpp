#include "run/run_config.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

std::string g_wifiSsid;
std::string g_wifiPassword;
std::string g_comPort;
std::string g_recordTime;
bool g_convertCh3 = false;
quorvane::UartObserver* g_uartObserver = nullptr;
std::atomic<bool> g_finished{false};
bool g_recordStarted = false;
std::atomic<bool> g_runFailed{false};

namespace {

// Never destroyed: a detached thread (the interruption's, the audio
// thread) may end the run while the process exits after an earlier end.
std::mutex& finishMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

std::condition_variable& finishCondition() {
    static std::condition_variable* condition = new std::condition_variable;
    return *condition;
}

}  // namespace

void finishRun(bool failed) {
    // Notified under the lock: the entry point may return, and the process
    // end, as soon as the lock is free, while the caller (a detached thread)
    // must be done with the condition variable by then.
    std::lock_guard<std::mutex> lock(finishMutex());
    if (failed) {
        g_runFailed = true;
    }
    g_finished = true;
    finishCondition().notify_all();
}

void waitUntilFinished(unsigned pollMilliseconds) {
    std::unique_lock<std::mutex> lock(finishMutex());
    while (!g_finished) {
        finishCondition().wait_for(lock, std::chrono::milliseconds(pollMilliseconds));
    }
}
