#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "provisioning/recording_server.h"
#include "recording/shared_record_summary.h"
#include "run/command_line.h"
#include "platform/interrupt.h"
#include "run/run_end.h"
#include "upload/upload_control.h"
#include "upload/upload_router.h"

namespace quorvane {
class UartObserver;
}

// What a station hands each of its runs in place of what a single run takes
// for itself: the one upload listener, and the turns of devices that cannot
// be told apart by their addresses. Ctrl-C is the station's to handle; it
// interrupts every run.
struct StationShare {
    std::shared_ptr<quorvane::upload::UploadRouter> router;
    std::function<bool(const std::string& deviceAddress, bool ownAddress)> awaitUploadTurn;
};

// One run of the tool on one device: it owns the serial link, the
// provisioning listener's settings, the recording server with its upload,
// the upload's shared state and the end of the run, and hands each part only
// what it needs (to end the run, to stop the link, to send a request).
class CaptureRun {
public:
    // `station`: the run is one of a station's; it publishes none of the
    // single run's values and handles no Ctrl-C itself.
    explicit CaptureRun(RunOptions options, std::optional<StationShare> station = std::nullopt);
    ~CaptureRun();

    CaptureRun(const CaptureRun&) = delete;
    CaptureRun& operator=(const CaptureRun&) = delete;

    // Claims the upload port, starts the serial link on the port of the
    // options, waits until the run has ended and tears the link down.
    // Returns the process exit status: 0 when the recording was stored, 1
    // when the run ended without it, 128 + the signal after an interruption.
    int run();

    // Ends the run as Ctrl-C ends a single run, keeping what has arrived.
    void interrupt(quorvane::platform::Interruption cause);

    // Ends a run whose device has not joined, as failed: a station's device
    // may not hold the station for ever.
    void giveUpBeforeUpload();

    // For a station's view of the run, from any thread.
    const quorvane::upload::UploadState& upload() const { return *upload_; }
    quorvane::recording::RecordSummary summary() const { return summary_->snapshot(); }

private:
    void stopLink();
    bool sendToDevice(const UartRequest& request);
    quorvane::provisioning::RunSettings provisioningSettings();
    void settleInterruptedUpload();
    int exitStatus() const;

    const RunOptions options_;
    const std::optional<StationShare> station_;
    const std::shared_ptr<RunEnd> end_;
    const std::shared_ptr<quorvane::recording::SharedRecordSummary> summary_;
    // What the run shares with its upload: the interruption, the hand-over,
    // the audio thread's stage.
    const std::shared_ptr<quorvane::upload::UploadState> upload_;
    quorvane::provisioning::RecordingServer recordingServer_;
    std::unique_ptr<quorvane::UartObserver> observer_;
};
