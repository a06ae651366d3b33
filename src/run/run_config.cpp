#include "run/run_config.h"

std::string g_wifiSsid;
std::string g_wifiPassword;
std::string g_comPort;
std::string g_recordTime;
bool g_convertCh3 = false;
quorvane::UartObserver* g_uartObserver = nullptr;
std::atomic<bool> g_finished{false};
std::atomic<bool> g_recordStarted{false};

void publishRunOptions(const RunOptions& options) {
    g_wifiSsid = options.ssid;
    g_wifiPassword = options.passphrase;
    g_comPort = options.port;
    g_recordTime = options.recordTime;
    g_convertCh3 = options.convertCh3;
}
