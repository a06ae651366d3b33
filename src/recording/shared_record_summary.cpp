#include "recording/shared_record_summary.h"

#include <utility>

namespace quorvane::recording {

SharedRecordSummary::SharedRecordSummary(RecordSummary initial) : summary_(std::move(initial)) {}

void SharedRecordSummary::update(const std::function<void(RecordSummary&)>& change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(summary_);
}

RecordSummary SharedRecordSummary::snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return summary_;
}

void SharedRecordSummary::markUploadRequested() {
    std::lock_guard<std::mutex> lock(mutex_);
    uploadRequested_ = true;
}

bool SharedRecordSummary::uploadRequested() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return uploadRequested_;
}

void SharedRecordSummary::recordEnding(RunOutcome outcome, const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (endingRecorded_) {
        return;
    }
    endingRecorded_ = true;
    summary_.outcome = outcome;
    summary_.failureReason = outcome == RunOutcome::Failed ? reason : std::string();
}

bool SharedRecordSummary::endingRecorded() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return endingRecorded_;
}

}  // namespace quorvane::recording
