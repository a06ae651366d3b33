#pragma once

#include <memory>

#include "provisioning/recording_server.h"
#include "recording/shared_record_summary.h"
#include "run/command_line.h"
#include "run/run_end.h"
#include "upload/upload_control.h"

namespace quorvane {
class UartObserver;
}

// One run of the tool on one device: it owns the serial link, the
// provisioning listener's settings, the recording server with its upload,
// the upload's shared state and the end of the run, and hands each part only
// what it needs (to end the run, to stop the link, to send a request).
class CaptureRun {
public:
    explicit CaptureRun(RunOptions options);
    ~CaptureRun();

    CaptureRun(const CaptureRun&) = delete;
    CaptureRun& operator=(const CaptureRun&) = delete;

    // Claims the upload port, starts the serial link on the port of the
    // options, waits until the run has ended and tears the link down.
    // Returns the process exit status: 0 when the recording was stored, 1
    // when the run ended without it, 128 + the signal after an interruption.
    int run();

private:
    void stopLink();
    bool sendToDevice(const UartRequest& request);
    quorvane::provisioning::RunSettings provisioningSettings();
    void settleInterruptedUpload();
    int exitStatus() const;

    const RunOptions options_;
    const std::shared_ptr<RunEnd> end_;
    const std::shared_ptr<quorvane::recording::SharedRecordSummary> summary_;
    // What the run shares with its upload: the interruption, the hand-over,
    // the audio thread's stage.
    const std::shared_ptr<quorvane::upload::UploadState> upload_;
    quorvane::provisioning::RecordingServer recordingServer_;
    std::unique_ptr<quorvane::UartObserver> observer_;
};
