#pragma once

#include <atomic>
#include <string>

namespace quorvane {
class UartObserver;
}

// Run-wide values: written by the entry point before any other thread
// exists, read afterwards by the provisioning and upload code.
extern std::string g_wifiSsid;
extern std::string g_wifiPassword;
extern std::string g_comPort;
extern std::string g_recordTime;
extern bool g_convertCh3;
extern quorvane::UartObserver* g_uartObserver;
extern std::atomic<bool> g_finished;
extern bool g_recordStarted;

// Set (before g_finished) when the run ends without a stored recording.
extern std::atomic<bool> g_runFailed;

// Ends the run: records whether it failed, sets g_finished and wakes the
// entry point's completion wait at once.
void finishRun(bool failed);

// Blocks until g_finished is set, looking at it at least every
// `pollMilliseconds` and at once when finishRun is called.
void waitUntilFinished(unsigned pollMilliseconds);
