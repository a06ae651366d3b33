#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <memory>

#include "recording/record_files.h"
#include "recording/shared_record_summary.h"
#include "upload/progress.h"
#include "upload/thread_pool.h"
#include "upload/upload_control.h"

namespace quorvane::upload {

// What the run hands the upload when it wires the parts, read from the
// command line there: the upload reads no run-wide value itself.
struct UploadWiring {
    // Stops the serial link once the device has connected; nothing when empty.
    std::function<void()> stopSerialLink;
    // Channel 3 is converted as well as channels 1, 2 and 4.
    bool convertChannel3 = false;
    // The run's summary, which the upload fills: bytes, levels, files and how
    // the upload ended. The run has put the record time asked for in it, for
    // the duration line above the level table. When empty the upload keeps a
    // summary of its own, for its table.
    std::shared_ptr<recording::SharedRecordSummary> summary;
    // Ends the run, as failed or not; nothing when empty.
    std::function<void(bool failed)> endRun;
    // What the run and the upload share about the upload (its interruption,
    // the hand-over, the audio thread's stage); a server handed none keeps
    // one of its own.
    std::shared_ptr<UploadState> state;
    // Where the recording's files go: the working folder unless the run
    // has a folder of its own.
    std::shared_ptr<recording::RecordingFiles> files = recording::RecordingFiles::workingFolder();
};

struct AudioSettings {
    recording::ProgressClock clock;
    bool progressOnTerminal = false;
    bool convertChannel3 = false;
    // A device that loses its power or its Wi-Fi mid-upload sends no FIN: an
    // upload silent this long (by `clock`) has ended.
    std::chrono::milliseconds silenceLimit = kDeviceSilenceLimit;
    // From this much silence on, the progress says so.
    std::chrono::milliseconds stallNotice = kStallNotice;
    // How often a silent connection is looked at, in real time.
    std::chrono::milliseconds silenceCheck{1000};
    // As in UploadWiring.
    std::shared_ptr<recording::SharedRecordSummary> summary;
    std::function<void(bool failed)> endRun;
    // The upload's shared state, which the server handing the connection
    // over puts here.
    std::shared_ptr<UploadState> state;
    std::shared_ptr<recording::RecordingFiles> files = recording::RecordingFiles::workingFolder();
};

// The steady clock, in-place progress when standard error is a terminal, and
// what the run wired.
AudioSettings consoleAudioSettings(const UploadWiring& wiring);

// Hands a connected socket to `audioThread`, the upload server's audio
// thread (a pool of one worker), with the upload's state in
// `settings.state`; the worker owns the socket from then on and
// stores, splits and converts the upload there. It ends the run with
// settings.endRun: false once the recording is stored and converted, true on
// any failure or interruption. Before that it records in the summary how the
// upload ended.
//
// The future tells whether the connection delivered anything: true at its
// first byte, or when the upload ended otherwise (interrupted, record.pcm
// not writable); false when it ended before its first byte. The worker has
// then left the run alone, to a retry of the device (or endWithoutAudio).
std::future<bool> startAudioCapture(ThreadPool& audioThread, unsigned int socket, const AudioSettings& settings);

// Ends the run as an upload without audio: the device's connection ended
// before its first byte and no retry came within `retryLimit`. Says so
// (`handedOver`: a connection was accepted, so record.pcm was made empty),
// records the failure in the run's summary when there is one and ends the
// run as failed.
void endWithoutAudio(const UploadWiring& wiring, std::chrono::milliseconds retryLimit, bool handedOver);

// Ends the run as failed when no upload has begun `limit` after the end of
// the recording: the device is taken for lost.
void endWithoutUpload(const UploadWiring& wiring, std::chrono::milliseconds limit);

}  // namespace quorvane::upload
