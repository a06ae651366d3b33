#include <atomic>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "device_emulator/log.h"
#include "device_emulator/options.h"
#include "device_emulator/station.h"

namespace {

constexpr int kUsageStatus = 2;

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onStopSignal(int) {
    stopRequested = true;
}

// No SA_RESTART, so a signal also cuts the main loop's poll short. SIGPIPE is
// ignored because a host that drops the upload shows up as a send error.
void installSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    const quorvane::emulator::ParsedCommandLine parsed =
        quorvane::emulator::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "quorvane-device-emulator: %s\n(--help lists the options)\n", parsed.error.c_str());
        return kUsageStatus;
    }
    if (parsed.helpRequested) {
        std::fputs(quorvane::emulator::usageText().c_str(), stdout);
        return 0;
    }
    installSignalHandlers();
    try {
        quorvane::emulator::Station station(parsed, stopRequested);
        for (const std::string& path : station.open()) {
            quorvane::emulator::announce(path);
        }
        return station.serve();
    } catch (const std::runtime_error& error) {
        quorvane::emulator::log(error.what());
        return 1;
    }
}
