#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "device_emulator/device.h"
#include "device_emulator/options.h"

namespace quorvane::emulator {

// The devices of one command line, side by side: one serves on the calling
// thread, several on a thread each, every one exactly as a lone device.
class Station {
public:
    // Throws std::runtime_error when a device cannot open its request log.
    Station(const ParsedCommandLine& parsed, const std::atomic<bool>& stopRequested);

    // Opens every device's port, device 1's first; returns the paths to give
    // the host, in that order (none for --tty). Throws std::runtime_error
    // when a port cannot be set up.
    std::vector<std::string> open();

    // Serves every device until each has ended; returns the highest of
    // their exit statuses.
    int serve();

private:
    // Made whole before the devices, which keep references to them.
    const std::vector<Options> options_;
    std::vector<std::unique_ptr<Device>> devices_;
};

}  // namespace quorvane::emulator
