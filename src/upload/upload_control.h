#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "net/socket_layer.h"

namespace quorvane::upload {

// How long the device may keep the tool waiting: an upload silent this long
// has ended, and after a connection that delivered nothing the device has
// this long to connect again.
constexpr std::chrono::milliseconds kDeviceSilenceLimit{30000};

// A wait as the messages say it, rounded up to a tenth of a second: "0:30",
// "0:00.1".
std::string waitText(std::chrono::milliseconds wait);

// What the audio thread is doing, for the end of an interrupted run.
enum class AudioStage {
    // Receiving the upload into record.pcm (or not yet begun).
    Receiving,
    // Splitting an upload that ended whole: the split stops at the
    // interruption and uses the run's file streams until then.
    Splitting,
    // Converting the channels and reporting: a converter in hand runs to its
    // end, whatever the interruption.
    Converting,
};

// How the wait for the audio thread at the end of an interrupted run ended.
enum class InterruptedEnd { NoUpload, Ended, StillReceiving, StillConverting };

// What the run and the upload share about the one upload of a run (made by
// the run, shared with the upload server and its audio thread): whether
// the user has interrupted it (Ctrl-C), and whether a connection is in the
// audio thread's hands.
//
// Once a connection is in hand, only the upload decides how the run ends: a
// late failure of the Wi-Fi join cannot end it any more (endRunBeforeUpload),
// and the run waits for the audio thread before it exits.
//
// An interruption makes a Listen that waits for the device return quietly,
// and ends a running receive as if the device had closed: the audio thread
// keeps record.pcm with every byte received, skips the split and the
// conversion, says what record.pcm holds and ends the run with
// the run as failed. There is no way back within a run: waits that begin after
// the interruption end at once.
class UploadState {
public:
    // Only sets an atomic flag, so it may be called from any thread.
    void interrupt();
    bool interrupted() const;

    // True from the moment Listen accepts the device's connection until the
    // audio thread has done its work (the hand-over in between counts, so an
    // interruption never falls into a gap between the two).
    bool audioThreadRunning() const;

    // Waits until audioThreadRunning() is false or `limit` has passed; true
    // when the audio thread has finished, its end of the run included.
    bool waitForAudioThread(std::chrono::milliseconds limit) const;

    // For the end of an interrupted run: waits for the audio thread up to
    // `limit`, and on while it splits (it stops there by itself). NoUpload
    // when no connection was in hand; else what the thread was doing when
    // the wait gave up, or Ended.
    InterruptedEnd waitAfterInterruption(std::chrono::milliseconds limit) const;

    // Set by the run once its bounded wait after an interruption has given
    // up on a conversion: the audio thread stops waiting for a converter
    // that did not hear the interruption, leaves it running and ends without
    // a further word, so that it can be joined.
    void abandonConversion();
    bool conversionAbandoned() const;

    // Set by the audio thread as it moves on.
    void enterStage(AudioStage stage);
    AudioStage stage() const { return stage_; }

    // The bytes of the upload stored so far, counted by the audio thread as
    // they arrive, for a station's view of its devices.
    void countReceived(std::uint64_t bytes) { received_ += bytes; }
    std::uint64_t received() const { return received_; }

    // For an end of the run that does not come from the upload (the Wi-Fi
    // join failed or timed out): true when no connection is in hand yet, and
    // then none is handed over any more; false once the upload has begun.
    bool endRunBeforeUpload();

    // Brackets the hand-over of a connection; false, and nothing is counted,
    // when the run has ended before the upload.
    bool beginHandOver();

    // Brackets the audio thread's work.
    void beginWork();
    void endWork();

private:
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> conversionAbandoned_{false};
    std::atomic<AudioStage> stage_{AudioStage::Receiving};
    std::atomic<std::uint64_t> received_{0};
    mutable std::mutex mutex_;
    mutable std::condition_variable ended_;
    int inHand_ = 0;
    bool endedBeforeUpload_ = false;
};

enum class SocketEvent { Readable, TimedOut, Interrupted, Failed };

constexpr std::chrono::milliseconds kNoTimeLimit{-1};

// Waits until `socket` can be read, `limit` has passed (kNoTimeLimit: never)
// or `upload` is interrupted. On Failed, `error` holds the code.
SocketEvent waitForSocket(const UploadState& upload, net::SocketHandle socket, std::chrono::milliseconds limit,
                          int& error);

// Counts a connection as in hand from begin() until this object is destroyed.
class UploadWorkClaim {
public:
    explicit UploadWorkClaim(UploadState& upload) : upload_(upload) {}
    ~UploadWorkClaim();
    UploadWorkClaim(const UploadWorkClaim&) = delete;
    UploadWorkClaim& operator=(const UploadWorkClaim&) = delete;

    // False when the run has ended before the upload: nothing is in hand.
    bool begin();

private:
    UploadState& upload_;
    bool begun_ = false;
};

}  // namespace quorvane::upload
