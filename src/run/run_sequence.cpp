#include "run/run_sequence.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/diagnostics.h"
#include "platform/interrupt.h"
#include "provisioning/recording_server.h"
#include "provisioning/uart_observer_impl.h"
#include "run/command_line.h"
#include "run/record_summary_file.h"
#include "run/run_config.h"
#include "serial/link_diagnostics.h"
#include "serial/uart_observer.h"
#include "upload/audio_capture.h"
#include "upload/progress.h"
#include "upload/upload_control.h"

namespace {

constexpr int kBaudRate = 115200;
constexpr unsigned kCompletionPollMs = 5000;
// Long enough for the audio thread to flush and close record.pcm.
constexpr std::chrono::seconds kAudioSettleLimit{10};
// The interruption's own thread only says so and sets a few flags.
constexpr std::chrono::seconds kInterruptHandlerLimit{2};

std::atomic<bool> interrupted{false};
// Written before `interrupted` is set, read only after it was seen set.
std::atomic<quorvane::platform::Interruption> interruption{quorvane::platform::Interruption::Interrupt};

std::unique_ptr<quorvane::UartObserver> makeObserver() {
    if (portArgumentIsDevicePath(g_comPort)) {
        return std::make_unique<quorvane::UartObserver>(g_comPort, kBaudRate);
    }
    return std::make_unique<quorvane::UartObserver>(std::atoi(g_comPort.c_str()), kBaudRate);
}

// The parts reach the serial link only through these two, which the run
// hands them here; after tear-down they do nothing.
void stopSerialLink() {
    if (g_uartObserver != nullptr) {
        g_uartObserver->stop();
    }
}

bool sendToDevice(const UartRequest& request) {
    return g_uartObserver != nullptr && g_uartObserver->send(request);
}

// The run's own facts; never the pass phrase.
std::shared_ptr<quorvane::upload::SharedRecordSummary> beginRunSummary() {
    auto summary = beginSummary(quorvane::upload::SummaryCommand::Run);
    summary->update([](quorvane::upload::RecordSummary& facts) {
        facts.port = portLabel(g_comPort);
        facts.networkName = g_wifiSsid;
        facts.recordTime = g_recordTime;
    });
    return summary;
}

// Asking the device to upload is where the run reaches the upload: from then
// on it leaves a summary, however it ends.
quorvane::provisioning::RunSettings provisioningSettings(
    const std::shared_ptr<quorvane::upload::SharedRecordSummary>& summary) {
    const auto uploadRequested = [summary](const std::string& deviceAddress, const std::string& hostAddress) {
        summary->update([&](quorvane::upload::RecordSummary& facts) {
            facts.deviceAddress = deviceAddress;
            facts.hostAddress = hostAddress;
        });
        summary->markUploadRequested();
    };
    return {g_wifiSsid, g_wifiPassword, portLabel(g_comPort), g_recordTime, sendToDevice, uploadRequested};
}

void onInterrupt(quorvane::platform::Interruption cause) {
    quorvane::platform::diagnose("%s: ending the run, keeping what has arrived\n",
                                 quorvane::platform::interruptionName(cause));
    interruption = cause;
    interrupted = true;
    quorvane::upload::uploadState().interrupt();
    finishRun(true);
}

// A split stops by itself at the interruption and is waited for; a
// converter in hand is not, and record.pcm is whole by then.
void settleInterruptedUpload(const quorvane::upload::SharedRecordSummary& summary) {
    switch (quorvane::upload::uploadState().waitAfterInterruption(kAudioSettleLimit)) {
        case quorvane::upload::InterruptedEnd::NoUpload:
            quorvane::platform::diagnose("interrupted before the upload began; nothing was stored\n");
            break;
        case quorvane::upload::InterruptedEnd::StillReceiving:
            quorvane::platform::diagnose("interrupted; record.pcm may be incomplete\n");
            break;
        case quorvane::upload::InterruptedEnd::StillConverting: {
            const std::uint64_t bytes = summary.snapshot().bytesReceived;
            quorvane::platform::diagnose(
                "interrupted: record.pcm keeps all %llu bytes received (%s of audio); the converter still running "
                "was not waited for\n",
                static_cast<unsigned long long>(bytes), quorvane::upload::audioDuration(bytes).c_str());
            break;
        }
        case quorvane::upload::InterruptedEnd::Ended:
            break;
    }
}

int exitStatus() {
    if (interrupted) {
        return quorvane::platform::exitStatusFor(interruption);
    }
    return g_runFailed ? 1 : 0;
}

}  // namespace

int runSequence() {
    // Before the serial port is opened: a run that cannot have the upload
    // port must not ask its device to record.
    if (!quorvane::provisioning::claimUploadPort()) {
        return 1;
    }
    const auto summary = beginRunSummary();
    auto observer = makeObserver();
    g_uartObserver = observer.get();
    quorvane::upload::wireUpload({stopSerialLink, g_convertCh3, summary});
    observer->setListener(new UartObserverImpl(provisioningSettings(summary)));
    observer->setDiagnostics(std::make_unique<quorvane::StderrLinkDiagnostics>());
    quorvane::platform::installInterruptHandler(onInterrupt);
    observer->start();
    quorvane::platform::consoleLine("connecting to %s\n", portLabel(g_comPort).c_str());

    waitUntilFinished(kCompletionPollMs);

    observer->stop();
    if (interrupted) {
        settleInterruptedUpload(*summary);
    }
    quorvane::provisioning::stopRecordingServer();
    // Once the upload has begun only it decides how the run ends, and the
    // process never ends while record.pcm is being written; after Ctrl-C the
    // wait above is bounded instead.
    if (!interrupted) {
        quorvane::upload::uploadState().waitForAudioThread();
    }
    observer.reset();
    g_uartObserver = nullptr;
    quorvane::platform::awaitInterruptHandled(kInterruptHandlerLimit);
    const int status = exitStatus();
    if (summary->uploadRequested()) {
        finishSummary(*summary, {status, interrupted, g_convertCh3});
    }
    return status;
}
