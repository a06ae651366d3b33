#include "device_emulator/station.h"

#include <algorithm>
#include <thread>

namespace quorvane::emulator {

namespace {

std::vector<Options> optionsOfEveryDevice(const ParsedCommandLine& parsed) {
    std::vector<Options> options;
    for (unsigned device = 1; device <= parsed.options.run.devices; ++device) {
        options.push_back(optionsOfDevice(parsed, device));
    }
    return options;
}

}  // namespace

Station::Station(const ParsedCommandLine& parsed, const std::atomic<bool>& stopRequested)
    : options_(optionsOfEveryDevice(parsed)) {
    for (const Options& options : options_) {
        devices_.push_back(std::make_unique<Device>(options, stopRequested));
    }
}

std::vector<std::string> Station::open() {
    std::vector<std::string> paths;
    for (const auto& device : devices_) {
        if (const std::optional<std::string> path = device->open()) {
            paths.push_back(*path);
        }
    }
    return paths;
}

int Station::serve() {
    if (devices_.size() == 1) {
        return devices_.front()->serve();
    }
    std::vector<int> statuses(devices_.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        threads.emplace_back([this, i, &statuses] { statuses[i] = devices_[i]->serve(); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return *std::max_element(statuses.begin(), statuses.end());
}

}  // namespace quorvane::emulator
