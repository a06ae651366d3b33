#pragma once

#include <atomic>
#include <chrono>

#include "upload/socket_layer.h"

// Ctrl-C support for the run. interruptUpload only sets an atomic flag, so it
// may be called from any thread, and even from a signal handler. It makes a
// Listen that waits for the device return quietly, and ends a running receive
// as if the device had closed: the audio thread keeps record.pcm with every
// byte received, skips the split and the conversion, says on standard error
// what record.pcm holds and ends the run with finishRun(true). There is no
// way back: waits that begin after the interruption end at once.
void interruptUpload();
bool uploadInterrupted();

// Set by interruptUpload; like g_finished it only goes from false to true in
// a run.
extern std::atomic<bool> g_uploadInterrupted;

// True from the moment Listen accepts the device's connection until the
// audio thread has done its work (the hand-over in between counts, so an
// interruption never falls into a gap between the two).
bool audioThreadRunning();

// Waits until audioThreadRunning() is false or `limit` has passed; true when
// the audio thread has finished, its finishRun call included.
bool waitForAudioThread(std::chrono::milliseconds limit);

namespace upload {

enum class SocketEvent { Readable, TimedOut, Interrupted, Failed };

constexpr std::chrono::milliseconds kNoTimeLimit{-1};

// Waits until `socket` can be read, `limit` has passed (kNoTimeLimit: never)
// or the upload is interrupted. On Failed, `error` holds the code.
SocketEvent waitForSocket(SocketHandle socket, std::chrono::milliseconds limit, int& error);

// Brackets the hand-over of a connection and the audio thread's work; see
// audioThreadRunning.
void beginUploadWork();
void endUploadWork();

// Counts a connection as in hand from begin() until this object is destroyed.
class UploadWorkClaim {
public:
    UploadWorkClaim() = default;
    ~UploadWorkClaim();
    UploadWorkClaim(const UploadWorkClaim&) = delete;
    UploadWorkClaim& operator=(const UploadWorkClaim&) = delete;

    void begin();

private:
    bool begun = false;
};

}  // namespace upload
