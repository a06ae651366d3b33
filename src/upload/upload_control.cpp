#include "upload/upload_control.h"

#include <algorithm>

#include "recording/record_time.h"

namespace quorvane::upload {

namespace {

// How long one wait lasts at most before the interruption flag is looked at
// again: the latency of Ctrl-C, and the idle wake-ups of a silent upload.
constexpr std::chrono::milliseconds kSlice{100};

std::chrono::milliseconds nextSlice(std::chrono::milliseconds limit, std::chrono::steady_clock::time_point deadline) {
    if (limit == kNoTimeLimit) {
        return kSlice;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return std::clamp(left, std::chrono::milliseconds::zero(), kSlice);
}

constexpr std::chrono::milliseconds kTenth{100};

}  // namespace

std::string waitText(std::chrono::milliseconds wait) {
    const auto tenths =
        (std::max(wait, std::chrono::milliseconds::zero()) + kTenth - std::chrono::milliseconds(1)) / kTenth;
    return recording::clockText(tenths * kTenth, tenths % 10 == 0 ? 0 : 1);
}

void UploadState::interrupt() {
    interrupted_ = true;
}

bool UploadState::interrupted() const {
    return interrupted_;
}

bool UploadState::audioThreadRunning() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return inHand_ > 0;
}

bool UploadState::waitForAudioThread(std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return ended_.wait_for(lock, limit, [this] { return inHand_ == 0; });
}

InterruptedEnd UploadState::waitAfterInterruption(std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(mutex_);
    if (inHand_ == 0) {
        return InterruptedEnd::NoUpload;
    }
    const auto ended = [this] { return inHand_ == 0; };
    if (ended_.wait_for(lock, limit, ended)) {
        return InterruptedEnd::Ended;
    }
    switch (stage_.load()) {
        case AudioStage::Splitting:
            ended_.wait(lock, ended);
            return InterruptedEnd::Ended;
        case AudioStage::Converting:
            return InterruptedEnd::StillConverting;
        case AudioStage::Receiving:
            break;
    }
    return InterruptedEnd::StillReceiving;
}

void UploadState::abandonConversion() {
    conversionAbandoned_ = true;
}

bool UploadState::conversionAbandoned() const {
    return conversionAbandoned_;
}

void UploadState::enterStage(AudioStage stage) {
    stage_ = stage;
}

bool UploadState::endRunBeforeUpload() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (inHand_ > 0) {
        return false;
    }
    endedBeforeUpload_ = true;
    return true;
}

bool UploadState::beginHandOver() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (endedBeforeUpload_) {
        return false;
    }
    ++inHand_;
    return true;
}

void UploadState::beginWork() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++inHand_;
}

void UploadState::endWork() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --inHand_;
    }
    ended_.notify_all();
}

SocketEvent waitForSocket(const UploadState& upload, net::SocketHandle socket, std::chrono::milliseconds limit,
                          int& error) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (upload.interrupted()) {
            return SocketEvent::Interrupted;
        }
        const auto slice = nextSlice(limit, deadline);
        switch (net::waitReadable(socket, slice, error)) {
            case net::WaitOutcome::Readable:
                return SocketEvent::Readable;
            case net::WaitOutcome::Failed:
                return SocketEvent::Failed;
            case net::WaitOutcome::TimedOut:
                if (limit != kNoTimeLimit && std::chrono::steady_clock::now() >= deadline) {
                    return SocketEvent::TimedOut;
                }
                break;
        }
    }
}

UploadWorkClaim::~UploadWorkClaim() {
    if (begun_) {
        upload_.endWork();
    }
}

bool UploadWorkClaim::begin() {
    begun_ = upload_.beginHandOver();
    return begun_;
}

}  // namespace quorvane::upload
