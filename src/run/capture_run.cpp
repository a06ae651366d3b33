#include "run/capture_run.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "platform/console_lines.h"
#include "platform/diagnostics.h"
#include "platform/interrupt.h"
#include "provisioning/uart_observer_impl.h"
#include "recording/record_time.h"
#include "run/record_summary_file.h"
#include "run/run_config.h"
#include "serial/link_diagnostics.h"
#include "serial/uart_observer.h"
#include "upload/upload_control.h"

namespace {

constexpr int kBaudRate = 115200;
// Long enough for the audio thread to flush and close record.pcm.
constexpr std::chrono::seconds kAudioSettleLimit{10};
// The interruption's own thread only says so and sets a few flags.
constexpr std::chrono::seconds kInterruptHandlerLimit{2};

std::unique_ptr<quorvane::UartObserver> makeObserver(const std::string& port) {
    if (portArgumentIsDevicePath(port)) {
        return std::make_unique<quorvane::UartObserver>(port, kBaudRate);
    }
    return std::make_unique<quorvane::UartObserver>(std::atoi(port.c_str()), kBaudRate);
}

std::shared_ptr<quorvane::recording::RecordingFiles> filesIn(const std::string& folder) {
    return folder.empty() ? quorvane::recording::RecordingFiles::workingFolder()
                          : quorvane::recording::RecordingFiles::inFolder(folder);
}

// The run's own facts; never the pass phrase.
std::shared_ptr<quorvane::recording::SharedRecordSummary> beginRunSummary(const RunOptions& options) {
    auto summary = beginSummary(quorvane::recording::SummaryCommand::Run);
    summary->update([&options](quorvane::recording::RecordSummary& facts) {
        facts.port = portLabel(options.port);
        facts.networkName = options.ssid;
        facts.recordTime = options.recordTime;
        facts.recording = quorvane::recording::inFolder(options.folder, facts.recording);
    });
    return summary;
}

// On the interruption's own thread, which outlives the run object: it
// shares only the run's end and its upload's state.
void interruptRun(const std::shared_ptr<RunEnd>& end, const std::shared_ptr<quorvane::upload::UploadState>& upload,
                  quorvane::platform::Interruption cause) {
    // Before the upload has begun there is nothing to keep.
    quorvane::platform::diagnose(
        upload->audioThreadRunning() ? "%s: ending the run, keeping what has arrived\n" : "%s: ending the run\n",
        quorvane::platform::interruptionName(cause));
    upload->interrupt();
    end->finish(true);
}

}  // namespace

CaptureRun::CaptureRun(RunOptions options, std::optional<StationShare> station)
    : options_(std::move(options)),
      station_(std::move(station)),
      end_(std::make_shared<RunEnd>()),
      summary_(beginRunSummary(options_)),
      upload_(std::make_shared<quorvane::upload::UploadState>()),
      recordingServer_({[this] { stopLink(); }, options_.convertCh3, summary_, end_->ender(), upload_,
                        filesIn(options_.folder)},
                       station_ ? station_->router : nullptr) {}

CaptureRun::~CaptureRun() = default;

// The parts reach the serial link only through these two, which the run
// hands them; after tear-down they do nothing.
void CaptureRun::stopLink() {
    if (observer_) {
        observer_->stop();
    }
}

bool CaptureRun::sendToDevice(const UartRequest& request) {
    return observer_ && observer_->send(request);
}

// Asking the device to upload is where the run reaches the upload: from then
// on it leaves a summary, however it ends.
quorvane::provisioning::RunSettings CaptureRun::provisioningSettings() {
    const auto uploadRequested = [summary = summary_, single = !station_](const std::string& deviceAddress,
                                                                         const std::string& hostAddress) {
        summary->update([&](quorvane::recording::RecordSummary& facts) {
            facts.deviceAddress = deviceAddress;
            facts.hostAddress = hostAddress;
        });
        summary->markUploadRequested();
        if (single) {
            g_recordStarted = true;
        }
    };
    return {options_.ssid,
            options_.passphrase,
            portLabel(options_.port),
            options_.recordTime,
            [this](const UartRequest& request) { return sendToDevice(request); },
            uploadRequested,
            end_->ender(),
            [upload = upload_] { return upload->endRunBeforeUpload(); },
            station_ ? station_->awaitUploadTurn : nullptr,
            options_.uploadTimeout};
}

// A split stops by itself at the interruption and is waited for; a
// converter in hand is not, and record.pcm is whole by then: the audio
// thread gives it up once this wait has, and can be joined.
void CaptureRun::settleInterruptedUpload() {
    switch (upload_->waitAfterInterruption(kAudioSettleLimit)) {
        case quorvane::upload::InterruptedEnd::NoUpload:
            quorvane::platform::diagnose("interrupted before the upload began; nothing was stored\n");
            break;
        case quorvane::upload::InterruptedEnd::StillReceiving:
            quorvane::platform::diagnose("interrupted; record.pcm may be incomplete\n");
            break;
        case quorvane::upload::InterruptedEnd::StillConverting: {
            const std::uint64_t bytes = summary_->snapshot().bytesReceived;
            quorvane::platform::diagnose(
                "interrupted: record.pcm keeps all %llu bytes received (%s of audio); the converter still running "
                "was not waited for\n",
                static_cast<unsigned long long>(bytes), quorvane::recording::audioDuration(bytes).c_str());
            upload_->abandonConversion();
            break;
        }
        case quorvane::upload::InterruptedEnd::Ended:
            break;
    }
}

int CaptureRun::exitStatus() const {
    if (const auto interruption = quorvane::platform::arrivedInterruption()) {
        return quorvane::platform::exitStatusFor(*interruption);
    }
    return end_->failed() ? 1 : 0;
}

void CaptureRun::interrupt(quorvane::platform::Interruption cause) {
    interruptRun(end_, upload_, cause);
}

void CaptureRun::giveUpBeforeUpload() {
    if (upload_->endRunBeforeUpload()) {
        end_->finish(true);
    }
}

int CaptureRun::run() {
    // Before the serial port is opened: a run that cannot have the upload
    // port must not ask its device to record.
    if (!recordingServer_.claimUploadPort()) {
        return 1;
    }
    observer_ = makeObserver(options_.port);
    if (!station_) {
        g_uartObserver = observer_.get();
    }
    const quorvane::provisioning::RunSettings settings = provisioningSettings();
    observer_->setListener(new UartObserverImpl(settings, [this, settings](const std::string& deviceIp) {
        recordingServer_._startRecord(settings, deviceIp);
    }));
    observer_->setDiagnostics(std::make_unique<quorvane::StderrLinkDiagnostics>());
    if (!station_) {
        quorvane::platform::installInterruptHandler([end = end_, upload = upload_](
                                                        quorvane::platform::Interruption cause) {
            interruptRun(end, upload, cause);
        });
    }
    observer_->start();
    quorvane::platform::console::connecting(portLabel(options_.port));

    end_->awaitEnd();
    if (!station_) {
        g_finished = true;
    }

    observer_->stop();
    const bool interrupted = quorvane::platform::arrivedInterruption().has_value();
    if (interrupted) {
        settleInterruptedUpload();
    }
    // Once the upload has begun only it decides how the run ends, and the
    // process never ends while record.pcm is being written: stopping the
    // recording server joins the audio thread. After Ctrl-C the wait above
    // is bounded instead, and a converter still running is given up there.
    recordingServer_.stop();
    if (!station_) {
        g_uartObserver = nullptr;
    }
    observer_.reset();
    if (!station_) {
        quorvane::platform::awaitInterruptHandled(kInterruptHandlerLimit);
    }
    const int status = exitStatus();
    if (summary_->uploadRequested()) {
        finishSummary(*summary_, {status, interrupted, options_.convertCh3}, options_.folder);
    }
    return status;
}
