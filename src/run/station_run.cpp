#include "run/station_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/diagnostics.h"
#include "platform/interrupt.h"
#include "recording/record_files.h"
#include "recording/record_summary.h"
#include "recording/record_time.h"
#include "run/capture_run.h"
#include "run/command_line.h"
#include "run/device_log.h"
#include "run/refusal.h"
#include "station/device_state.h"
#include "station/station_display.h"
#include "station/station_report.h"
#include "station/station_table.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kUploadPort = 8888;
constexpr std::size_t kStationArgumentCount = 4;
// How often the devices' lines are looked at and redrawn.
constexpr std::chrono::milliseconds kRedrawEvery{250};
constexpr const char* kRunLogName = "run.log";

// Devices whose uploads cannot be told apart by their addresses take turns:
// the next one is asked to upload only when the one before has ended. A
// device with an address of its own is in a group of its own; every device
// whose connections come from elsewhere shares one.
class UploadTurns {
public:
    // Blocks until the group is free; false when the station is ending.
    bool await(const std::string& group) {
        std::unique_lock<std::mutex> lock(mutex_);
        freed_.wait(lock, [&] { return stopping_ || busy_.count(group) == 0; });
        if (stopping_) {
            return false;
        }
        busy_.insert(group);
        return true;
    }

    void release(const std::string& group) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            busy_.erase(group);
        }
        freed_.notify_all();
    }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        freed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    std::set<std::string> busy_;
    bool stopping_ = false;
};

std::string groupOf(const std::string& deviceAddress, bool ownAddress) {
    return ownAddress ? deviceAddress : std::string();
}

// One device of the station: its run, its log and its thread.
struct Device {
    quorvane::station::DeviceState state;
    std::shared_ptr<DeviceLog> log;
    std::unique_ptr<CaptureRun> run;
    std::thread thread;
    std::optional<std::string> turnGroup;
    std::atomic<bool> ended{false};
    bool gaveUp = false;
    int status = 1;
};

bool isPositiveNumber(const std::string& text) {
    return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos &&
           std::stol(text) > 0;
}

RunOptions deviceOptions(const StationOptions& station, const std::string& port, const std::string& folder) {
    RunOptions options = runOptionsFrom({station.ssid, station.passphrase, port, station.recordTime});
    options.convertCh3 = station.convertCh3;
    options.folder = folder;
    options.uploadTimeout = station.uploadTimeout;
    return options;
}

// Every check a single run makes before it touches its device, for every
// port, before any is touched.
std::string stationProblem(const StationOptions& options) {
    std::set<std::string> seen;
    for (const std::string& port : options.ports) {
        const RunOptions run = deviceOptions(options, port, {});
        if (!seen.insert(portLabel(run.port)).second) {
            return "the port " + portLabel(run.port) + " is given twice; each device needs a port of its own";
        }
        std::string problem = runArgumentsProblem(run);
        if (problem.empty()) {
            problem = portPathProblem(run.port);
        }
        if (!problem.empty()) {
            return problem;
        }
    }
    return {};
}

bool makeFolders(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::u8path(folder), error);
        if (error) {
            quorvane::platform::diagnose("cannot make the folder %s: %s\n", folder.c_str(), error.message().c_str());
            return false;
        }
    }
    return true;
}

// The station: its devices, the one upload listener, the turns and the view.
class Station {
public:
    explicit Station(StationOptions options) : options_(std::move(options)) {}

    int run();

private:
    bool prepare();
    void startDevice(Device& device, const std::string& folder);
    void giveUpUnjoined();
    void interruptAll(quorvane::platform::Interruption cause);
    std::vector<quorvane::station::DeviceState> states();
    bool allEnded() const;
    int finish(const std::vector<quorvane::station::DeviceState>& devices);

    StationOptions options_;
    const Clock::time_point start_ = Clock::now();
    const std::chrono::system_clock::time_point startedAt_ = std::chrono::system_clock::now();
    std::shared_ptr<quorvane::upload::UploadRouter> router_;
    UploadTurns turns_;
    std::vector<std::unique_ptr<Device>> devices_;
    std::vector<std::string> folders_;
};

bool Station::prepare() {
    folders_ = quorvane::station::uniqueFolderNames(options_.ports);
    if (!makeFolders(folders_)) {
        return false;
    }
    try {
        router_ = std::make_shared<quorvane::upload::UploadRouter>();
    } catch (const std::runtime_error& e) {
        quorvane::platform::diagnose("the upload listener could not be set up (%s); no device was contacted\n",
                                     e.what());
        return false;
    }
    const int error = router_->claimPort(kUploadPort);
    if (error != 0) {
        quorvane::platform::diagnose("cannot take TCP port %d for the uploads (code %d); no device was contacted\n",
                                     kUploadPort, error);
        return false;
    }
    return true;
}

void Station::startDevice(Device& device, const std::string& folder) {
    device.log = std::make_shared<DeviceLog>(quorvane::recording::inFolder(folder, kRunLogName), start_);
    StationShare share{router_, [this, &device](const std::string& deviceAddress, bool ownAddress) {
                           const std::string group = groupOf(deviceAddress, ownAddress);
                           device.log->noteWaitingTurn();
                           if (!turns_.await(group)) {
                               return false;
                           }
                           device.turnGroup = group;
                           device.log->noteRecording();
                           return true;
                       }};
    device.run = std::make_unique<CaptureRun>(deviceOptions(options_, device.state.port, folder), std::move(share));
    device.thread = std::thread([this, &device] {
        {
            const quorvane::platform::RunOutputScope scope(device.log);
            device.status = device.run->run();
        }
        if (device.turnGroup) {
            turns_.release(*device.turnGroup);
        }
        device.log->noteEnded();
        device.ended = true;
    });
}

void Station::interruptAll(quorvane::platform::Interruption cause) {
    turns_.stop();
    for (const auto& device : devices_) {
        device->run->interrupt(cause);
    }
}

// A device that has not joined by the time its upload should have begun
// (as though it had joined at once) is given up.
void Station::giveUpUnjoined() {
    const auto limit = quorvane::recording::recordSeconds(options_.recordTime).value_or(std::chrono::seconds(0)) +
                       options_.uploadTimeout;
    if (Clock::now() - start_ < limit) {
        return;
    }
    for (const auto& device : devices_) {
        if (!device->ended && !device->gaveUp && !device->log->joined()) {
            device->gaveUp = true;
            device->log->say("the device did not join the network within " + quorvane::recording::clockText(limit) +
                             " (does it answer on " + device->state.port + "?)");
            device->run->giveUpBeforeUpload();
        }
    }
}

bool Station::allEnded() const {
    for (const auto& device : devices_) {
        if (!device->ended) {
            return false;
        }
    }
    return true;
}

std::vector<quorvane::station::DeviceState> Station::states() {
    std::vector<quorvane::station::DeviceState> shown;
    for (const auto& device : devices_) {
        quorvane::station::DeviceState state = device->state;
        device->log->describe(state);
        const quorvane::upload::UploadState& upload = device->run->upload();
        state.bytesReceived = upload.received();
        if (state.recordTime.count() > 0) {
            state.recorded = std::min(state.recorded, state.recordTime);
        }
        if (state.stage == quorvane::station::DeviceStage::Uploading &&
            upload.stage() != quorvane::upload::AudioStage::Receiving) {
            state.stage = quorvane::station::DeviceStage::Converting;
        }
        if (device->ended) {
            const quorvane::recording::RecordSummary summary = device->run->summary();
            state.stage = quorvane::station::DeviceStage::Ended;
            state.stored = device->status == 0;
            if (state.stored) {
                state.failureReason.clear();
            } else if (!summary.failureReason.empty()) {
                state.failureReason = summary.failureReason;
            }
            state.summary = summary;
        }
        shown.push_back(std::move(state));
    }
    return shown;
}

int Station::finish(const std::vector<quorvane::station::DeviceState>& devices) {
    const auto interruption = quorvane::platform::arrivedInterruption();
    int status = 0;
    for (const auto& device : devices_) {
        if (device->status != 0) {
            status = 1;
        }
    }
    if (interruption) {
        status = quorvane::platform::exitStatusFor(*interruption);
    }
    const quorvane::station::StationFacts facts{QUORVANE_VERSION,    startedAt_, options_.ssid,
                                                options_.recordTime, status,     interruption.has_value()};
    if (quorvane::station::writeStationJson(quorvane::station::kStationJsonName, facts, devices) != 0 ||
        quorvane::station::writeStationJunit(quorvane::station::kStationJunitName, facts, devices) != 0) {
        quorvane::platform::diagnose("warning: cannot write station.json or station.xml in the working folder\n");
    }
    const int columns = quorvane::platform::diagnosticsOnTerminal() ? quorvane::platform::diagnosticColumns() : 0;
    quorvane::platform::showText(
        "%s", quorvane::station::formatStationTable(devices, static_cast<std::size_t>(std::max(columns, 0))).c_str());
    return status;
}

int Station::run() {
    if (!prepare()) {
        return kRefused;
    }
    for (std::size_t index = 0; index < options_.ports.size(); ++index) {
        auto device = std::make_unique<Device>();
        device->state.port = options_.ports[index];
        device->state.folder = folders_[index];
        device->state.recordTime =
            quorvane::recording::recordSeconds(options_.recordTime).value_or(std::chrono::seconds(0));
        device->state.bytesExpected = quorvane::recording::expectedUploadBytes(options_.recordTime);
        devices_.push_back(std::move(device));
    }
    for (std::size_t index = 0; index < devices_.size(); ++index) {
        startDevice(*devices_[index], folders_[index]);
    }
    quorvane::platform::installInterruptHandler(
        [this](quorvane::platform::Interruption cause) { interruptAll(cause); });
    quorvane::station::StationDisplay display(quorvane::station::standardErrorRedraws());
    while (!allEnded()) {
        giveUpUnjoined();
        display.show(states());
        std::this_thread::sleep_for(kRedrawEvery);
    }
    for (const auto& device : devices_) {
        device->thread.join();
    }
    const std::vector<quorvane::station::DeviceState> devices = states();
    display.show(devices);
    display.release();
    quorvane::platform::awaitInterruptHandled(std::chrono::seconds(2));
    return finish(devices);
}

}  // namespace

bool isStationRequest(const std::vector<std::string>& arguments) {
    return !arguments.empty() && arguments.front() == kStationOption;
}

StationOptions parseStationOptions(const std::vector<std::string>& afterOption) {
    StationOptions options;
    CommandLine commandLine = parseCommandLine(afterOption);
    if (const auto timeout = takeUploadTimeout(commandLine.options, options.problem)) {
        options.uploadTimeout = *timeout;
    }
    for (const std::string& option : commandLine.options) {
        if (option == "--ch3") {
            options.convertCh3 = true;
        } else if (options.problem.empty()) {
            options.problem = "unknown option " + option + " for --station";
        }
    }
    if (!options.problem.empty()) {
        return options;
    }
    const std::vector<std::string>& positional = commandLine.positional;
    if (positional.size() < kStationArgumentCount) {
        options.problem = "--station needs SSID, PASSPHRASE, RECORD_TIME and at least one PORT";
        return options;
    }
    options.ssid = positional[0];
    options.passphrase = positional[1];
    options.recordTime = positional[2];
    options.ports.assign(positional.begin() + 3, positional.end());
    if (!isPositiveNumber(options.recordTime)) {
        options.problem = "RECORD_TIME of a station must be a whole number of seconds, at least 1";
    }
    return options;
}

int runStation(StationOptions options) {
    if (refused(options.problem) || refused(stationProblem(options))) {
        return kRefused;
    }
    // What the devices may misread is the same on every port: said once.
    for (const std::string& warning : runArgumentWarnings(deviceOptions(options, options.ports.front(), {}))) {
        quorvane::platform::diagnose("warning: %s\n", warning.c_str());
    }
    return Station(std::move(options)).run();
}
