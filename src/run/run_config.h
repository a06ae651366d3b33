#pragma once

#include <atomic>
#include <string>

#include "run/command_line.h"

namespace quorvane {
class UartObserver;
}

// The run-wide values the system's design names, as the single run's view:
// written only in run/, where the run is wired (publishRunOptions, the run
// object), and read by nothing below run/. The parts are handed what they
// need instead.
extern std::string g_wifiSsid;
extern std::string g_wifiPassword;
extern std::string g_comPort;
extern std::string g_recordTime;
extern bool g_convertCh3;
extern quorvane::UartObserver* g_uartObserver;
extern std::atomic<bool> g_finished;
extern std::atomic<bool> g_recordStarted;

// Puts the options of the run in the values above, before any other thread
// exists.
void publishRunOptions(const RunOptions& options);
