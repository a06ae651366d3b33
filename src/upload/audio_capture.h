#pragma once

#include "upload/kestaro_socket.h"
#include "upload/progress.h"

// The recording server: when the device connects, onConnect stops the serial
// link and hands the connection to the audio thread, which stores the upload
// in record.pcm, splits it into four channel files, converts them to WAV,
// reports and ends the run.
class test : public KestaroSocket {
public:
    void onConnect(unsigned int socket) override;
};

namespace upload {

// The run installs the serial link's stop (g_uartObserver->stop()) here once
// at start-up; the upload calls it when the device connects. Nothing is
// stopped while none is installed.
void setSerialLinkStop(void (*stop)());

struct AudioSettings {
    ProgressClock clock;
    bool progressOnTerminal = false;
};

// The steady clock, and in-place progress when standard error is a terminal.
AudioSettings consoleAudioSettings();

// Starts the detached audio thread on a connected socket, which it owns from
// then on. It ends the run with finishRun: false once the recording is stored
// and converted, true on any failure or interruption.
void startAudioThread(unsigned int socket, const AudioSettings& settings);

}  // namespace upload
