#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "recording/record_summary.h"

namespace quorvane::recording {

// The summary of one run (or one --convert), owned by the run and handed to
// the parts that fill it from their own threads: provisioning the addresses,
// the upload what arrived, what the check found, which files were made and
// how the upload ended. Every access holds one lock.
class SharedRecordSummary {
public:
    explicit SharedRecordSummary(RecordSummary initial = {});

    SharedRecordSummary(const SharedRecordSummary&) = delete;
    SharedRecordSummary& operator=(const SharedRecordSummary&) = delete;

    // Runs `change` on the summary under the lock.
    void update(const std::function<void(RecordSummary&)>& change);

    RecordSummary snapshot() const;

    // The device was asked to upload: from then on the run leaves a summary
    // file, however it ends.
    void markUploadRequested();
    bool uploadRequested() const;

    // How the recording's handling ended; the first ending told stays, so a
    // late report cannot overwrite what happened first. The reason counts
    // only for a failure.
    void recordEnding(RunOutcome outcome, const std::string& reason = {});
    bool endingRecorded() const;

private:
    mutable std::mutex mutex_;
    RecordSummary summary_;
    bool uploadRequested_ = false;
    bool endingRecorded_ = false;
};

}  // namespace quorvane::recording
