#include "upload/upload_control.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

// How long one wait lasts at most before the interruption flag is looked at
// again: the latency of Ctrl-C, and the idle wake-ups of a silent upload.
constexpr int kSliceMilliseconds = 100;

struct UploadWork {
    std::mutex mutex;
    std::condition_variable ended;
    int inHand = 0;
};

// Never destroyed: the detached audio thread may end its work while the
// process exits.
UploadWork& uploadWork() {
    static UploadWork* work = new UploadWork;
    return *work;
}

int nextSlice(std::chrono::milliseconds limit, std::chrono::steady_clock::time_point deadline) {
    if (limit == upload::kNoTimeLimit) {
        return kSliceMilliseconds;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, kSliceMilliseconds));
}

}  // namespace

std::atomic<bool> g_uploadInterrupted{false};

void interruptUpload() {
    g_uploadInterrupted = true;
}

bool uploadInterrupted() {
    return g_uploadInterrupted;
}

bool audioThreadRunning() {
    UploadWork& work = uploadWork();
    std::lock_guard<std::mutex> lock(work.mutex);
    return work.inHand > 0;
}

bool waitForAudioThread(std::chrono::milliseconds limit) {
    UploadWork& work = uploadWork();
    std::unique_lock<std::mutex> lock(work.mutex);
    return work.ended.wait_for(lock, limit, [&work] { return work.inHand == 0; });
}

namespace upload {

SocketEvent waitForSocket(SocketHandle socket, std::chrono::milliseconds limit, int& error) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (uploadInterrupted()) {
            return SocketEvent::Interrupted;
        }
        const int slice = nextSlice(limit, deadline);
        switch (waitReadable(socket, slice, error)) {
            case WaitOutcome::Readable:
                return SocketEvent::Readable;
            case WaitOutcome::Failed:
                return SocketEvent::Failed;
            case WaitOutcome::TimedOut:
                if (limit != kNoTimeLimit && std::chrono::steady_clock::now() >= deadline) {
                    return SocketEvent::TimedOut;
                }
                break;
        }
    }
}

void beginUploadWork() {
    UploadWork& work = uploadWork();
    std::lock_guard<std::mutex> lock(work.mutex);
    ++work.inHand;
}

void endUploadWork() {
    UploadWork& work = uploadWork();
    {
        std::lock_guard<std::mutex> lock(work.mutex);
        --work.inHand;
    }
    work.ended.notify_all();
}

}  // namespace upload

namespace upload {

UploadWorkClaim::~UploadWorkClaim() {
    if (begun) {
        endUploadWork();
    }
}

void UploadWorkClaim::begin() {
    beginUploadWork();
    begun = true;
}

}  // namespace upload
