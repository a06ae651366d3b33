#include "upload/audio_capture.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>

#include "net/socket_layer.h"
#include "platform/console_lines.h"
#include "platform/diagnostics.h"
#include "recording/record_files.h"
#include "recording/record_time.h"
#include "recording/recording_processing.h"
#include "upload/upload_control.h"

namespace quorvane::upload {

namespace {

constexpr int kReceiveChunk = 4096;

// Tells the server once whether the connection delivered anything.
class DeliveryNotice {
public:
    std::future<bool> future() { return promise_.get_future(); }

    void tell(bool delivered) {
        if (!told_.exchange(true)) {
            promise_.set_value(delivered);
        }
    }

private:
    std::promise<bool> promise_;
    std::atomic<bool> told_{false};
};

struct ReceiveOutcome {
    std::uint64_t received = 0;
    std::uint64_t stored = 0;
    bool storeFailed = false;
    // For the summary: "cannot write record.pcm: No space left on device".
    std::string storeFailure;
    bool interrupted = false;
};

// A failed write may still have put part of its bytes in the file (some C
// runtimes report a short write as a failure), so the file's own size is what
// it keeps; the count of reported writes when the size cannot be told.
std::uint64_t keptBytes(const ReceiveOutcome& outcome, const recording::RecordingFiles& files) {
    const std::int64_t size = recording::fileSize(files.path(recording::kRecordFileName));
    return size >= 0 ? static_cast<std::uint64_t>(size) : outcome.stored;
}

void reportStoreFailure(int error, ReceiveOutcome& outcome, const recording::RecordingFiles& files,
                        const char* consequence) {
    outcome.storeFailed = true;
    outcome.storeFailure = "cannot write record.pcm: " + recording::fileErrorText(error);
    platform::diagnose("error: cannot write record.pcm: %s; it keeps %llu of the %llu bytes received%s\n",
                       recording::fileErrorText(error).c_str(), static_cast<unsigned long long>(keptBytes(outcome, files)),
                       static_cast<unsigned long long>(outcome.received), consequence);
}

// record.pcm is written without a stream buffer, so that what a write
// reports is what the file holds, even when the disk fills up.
bool storeChunk(const char* data, int count, const AudioSettings& settings, ReceiveOutcome& outcome,
                ProgressMeter& progress) {
    const recording::RecordingFiles& files = *settings.files;
    errno = 0;
    const std::streamsize written = files.recordOut().rdbuf()->sputn(data, count);
    const int error = errno;
    outcome.received += static_cast<std::uint64_t>(count);
    outcome.stored += static_cast<std::uint64_t>(written);
    progress.add(static_cast<std::size_t>(count));
    settings.state->countReceived(static_cast<std::uint64_t>(count));
    if (written == count) {
        return true;
    }
    reportStoreFailure(error, outcome, files, ", and the upload was stopped there");
    return false;
}

// What has arrived before the interruption still belongs to the recording,
// just as when the device closes: it is read, and nothing after it.
void keepArrivedBytes(net::SocketHandle socket, char* buffer, const AudioSettings& settings, ReceiveOutcome& outcome,
                      ProgressMeter& progress) {
    outcome.interrupted = true;
    for (long waiting = net::pendingBytes(socket); waiting > 0;) {
        const int count =
            ::recv(socket, buffer, waiting < kReceiveChunk ? static_cast<int>(waiting) : kReceiveChunk, 0);
        if (count <= 0 || !storeChunk(buffer, count, settings, outcome, progress)) {
            return;
        }
        waiting -= count;
    }
}

// A connection that keep-alive found dead has been silent for a while; the
// silence is said with it then.
void reportReceiveError(int error, const ReceiveOutcome& outcome, std::chrono::steady_clock::duration silence,
                        const AudioSettings& settings) {
    char silent[64] = "";
    if (silence >= settings.stallNotice) {
        std::snprintf(silent, sizeof silent, " after %s without data", recording::elapsedText(silence).c_str());
    }
    platform::diagnose(
        "warning: the upload connection failed after %llu bytes (%s, code %d)%s; taken as the end of the "
        "upload\n",
        static_cast<unsigned long long>(outcome.received), net::socketErrorText(error).c_str(), error, silent);
}

// True when the upload has been silent for too long: the device has gone
// dark (lost its power or its Wi-Fi) without closing the connection.
bool wentDark(std::chrono::steady_clock::duration silence, const ReceiveOutcome& outcome,
              const AudioSettings& settings) {
    if (silence < settings.silenceLimit) {
        return false;
    }
    platform::diagnose(
        "warning: the upload went silent: no data for %s after %llu bytes; taken as the end of the upload "
        "(has the device lost its power or its Wi-Fi?)\n",
        recording::elapsedText(silence).c_str(), static_cast<unsigned long long>(outcome.received));
    return true;
}

// Reads what the connection holds; false when the upload has ended there.
bool receiveChunk(net::SocketHandle socket, char* buffer, const AudioSettings& settings, ReceiveOutcome& outcome,
                  ProgressMeter& progress) {
    const int count = ::recv(socket, buffer, kReceiveChunk, 0);
    if (count > 0) {
        return storeChunk(buffer, count, settings, outcome, progress);
    }
    if (count == 0) {
        return false;
    }
    const int error = net::lastSocketError();
    if (net::isWouldBlock(error)) {
        return true;
    }
    reportReceiveError(error, outcome, progress.silence(), settings);
    return false;
}

// One wait for more of the upload; false when the upload has ended.
bool receiveMore(net::SocketHandle socket, char* buffer, const AudioSettings& settings, ReceiveOutcome& outcome,
                 ProgressMeter& progress) {
    int error = 0;
    switch (waitForSocket(*settings.state, socket, settings.silenceCheck, error)) {
        case SocketEvent::Interrupted:
            keepArrivedBytes(socket, buffer, settings, outcome, progress);
            return false;
        case SocketEvent::Failed:
            reportReceiveError(error, outcome, progress.silence(), settings);
            return false;
        case SocketEvent::TimedOut:
            return !wentDark(progress.idle(), outcome, settings);
        case SocketEvent::Readable:
            break;
    }
    return receiveChunk(socket, buffer, settings, outcome, progress);
}

// Receives until the device closes (or the connection fails, which some
// device stacks do instead of closing), the upload goes silent for too long,
// the upload is interrupted, or record.pcm cannot take more.
// The first byte tells the server that this connection is the upload.
void receiveInto(net::SocketHandle socket, const AudioSettings& settings, ReceiveOutcome& outcome,
                 ProgressMeter& progress, DeliveryNotice& delivery) {
    char buffer[kReceiveChunk];
    while (receiveMore(socket, buffer, settings, outcome, progress)) {
        if (outcome.received > 0) {
            delivery.tell(true);
        }
    }
}

ReceiveOutcome receiveRecording(net::SocketHandle socket, const AudioSettings& settings, ProgressMeter& progress,
                                DeliveryNotice& delivery) {
    ReceiveOutcome outcome;
    settings.files->recordOut().rdbuf()->pubsetbuf(nullptr, 0);
    errno = 0;
    settings.files->recordOut().open(std::filesystem::u8path(settings.files->path(recording::kRecordFileName)), std::ios::out | std::ios::binary);
    if (!settings.files->recordOut().is_open()) {
        const int error = errno;
        outcome.storeFailed = true;
        outcome.storeFailure = "cannot create record.pcm: " + recording::fileErrorText(error);
        platform::diagnose("error: cannot create record.pcm: %s; the upload was refused and nothing is stored\n",
                           recording::fileErrorText(error).c_str());
        return outcome;
    }
    receiveInto(socket, settings, outcome, progress, delivery);
    errno = 0;
    settings.files->recordOut().close();
    const int closeError = errno;
    if (settings.files->recordOut().fail() && !outcome.storeFailed) {
        reportStoreFailure(closeError, outcome, *settings.files, "");
    }
    progress.finish();
    return outcome;
}

void reportInterruptedUpload(std::uint64_t received) {
    platform::diagnose(
        "interrupted: record.pcm keeps the %llu bytes received (%s of audio); the split and the "
        "conversion were skipped\n",
        static_cast<unsigned long long>(received), recording::audioDuration(received).c_str());
}

// How the upload ended; nothing when the connection ended before its first
// byte, which leaves the run to a retry.
std::optional<recording::RecordingEnding> captureRecording(net::SocketHandle socket, const AudioSettings& settings,
                                                           recording::SharedRecordSummary& summary,
                                                           DeliveryNotice& delivery) {
    // The run put the record time asked for in the summary: the upload's size
    // follows from it.
    ProgressMeter progress(settings.clock, settings.progressOnTerminal, settings.stallNotice,
                           recording::expectedUploadBytes(summary.snapshot().recordTime));
    const ReceiveOutcome outcome = receiveRecording(socket, settings, progress, delivery);
    net::closeSocket(socket);
    summary.update([&outcome](recording::RecordSummary& facts) { facts.bytesReceived = outcome.received; });
    if (outcome.storeFailed) {
        return recording::RecordingEnding{recording::RunOutcome::Failed, outcome.storeFailure};
    }
    UploadState& upload = *settings.state;
    if (outcome.interrupted || upload.interrupted()) {
        reportInterruptedUpload(outcome.received);
        return recording::RecordingEnding{recording::RunOutcome::Interrupted, {}};
    }
    if (outcome.received == 0) {
        return std::nullopt;
    }
    upload.enterStage(AudioStage::Splitting);
    recording::ProcessingSettings processing;
    processing.clock = settings.clock;
    processing.convertChannel3 = settings.convertChannel3;
    processing.interrupted = [&upload] { return upload.interrupted(); };
    processing.converting = [&upload] { upload.enterStage(AudioStage::Converting); };
    processing.abandoned = [&upload] { return upload.conversionAbandoned(); };
    processing.files = settings.files;
    return recording::processRecording(recording::runRecording(*settings.files), processing, summary);
}

void endRun(const std::function<void(bool)>& end, bool failed) {
    if (end) {
        end(failed);
    }
}

std::shared_ptr<recording::SharedRecordSummary> summaryOf(const AudioSettings& settings) {
    return settings.summary ? settings.summary : std::make_shared<recording::SharedRecordSummary>();
}

void runAudioCapture(net::SocketHandle socket, const AudioSettings& settings,
                     const std::shared_ptr<DeliveryNotice>& delivery) {
    platform::console::uploadBegins();
    const std::shared_ptr<recording::SharedRecordSummary> summary = summaryOf(settings);
    const std::optional<recording::RecordingEnding> captured = captureRecording(socket, settings, *summary, *delivery);
    if (!captured) {
        settings.state->endWork();
        delivery->tell(false);
        return;
    }
    delivery->tell(true);
    const recording::RecordingEnding& ending = *captured;
    summary->recordEnding(ending.outcome, ending.reason);
    const bool stored = ending.outcome == recording::RunOutcome::Stored;
    if (stored) {
        platform::console::success();
    }
    endRun(settings.endRun, !stored);
    // Last, so that waitForAudioThread promises that the run's end has been
    // recorded.
    settings.state->endWork();
}

}  // namespace

AudioSettings consoleAudioSettings(const UploadWiring& wiring) {
    AudioSettings settings;
    settings.clock = [] { return std::chrono::steady_clock::now(); };
    settings.progressOnTerminal = platform::diagnosticsOnTerminal();
    settings.convertChannel3 = wiring.convertChannel3;
    settings.summary = wiring.summary;
    settings.endRun = wiring.endRun;
    settings.files = wiring.files;
    return settings;
}

std::future<bool> startAudioCapture(ThreadPool& audioThread, unsigned int socket, const AudioSettings& settings) {
    const auto handle = static_cast<net::SocketHandle>(socket);
    const auto delivery = std::make_shared<DeliveryNotice>();
    std::future<bool> delivered = delivery->future();
    settings.state->beginWork();
    audioThread.enqueue([handle, settings, delivery] { runAudioCapture(handle, settings, delivery); });
    return delivered;
}

void endWithoutAudio(const UploadWiring& wiring, std::chrono::milliseconds retryLimit, bool handedOver) {
    platform::diagnose(
        "error: the device sent no audio: its upload connection ended before the first byte and it did not connect "
        "again within %s; %s\n",
        waitText(retryLimit).c_str(),
        handedOver ? "record.pcm is empty and no channel or WAV files were made" : "nothing was stored");
    if (wiring.summary) {
        wiring.summary->recordEnding(recording::RunOutcome::Failed, "the device sent no audio");
    }
    endRun(wiring.endRun, true);
}

void endWithoutUpload(const UploadWiring& wiring, std::chrono::milliseconds limit) {
    const std::string reason = "no upload began within " + waitText(limit) + " after the recording's end";
    platform::diagnose("error: %s; nothing was stored\n", reason.c_str());
    if (wiring.summary) {
        wiring.summary->recordEnding(recording::RunOutcome::Failed, reason);
    }
    endRun(wiring.endRun, true);
}

}  // namespace quorvane::upload
