#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recording/record_summary.h"

// The station's view of each device it provisions and records, one on each
// serial port, and the folder each device's files go to.
namespace quorvane::station {

// WaitingTurn: joined, and waiting for a device with the same address to
// end its upload before this one is asked to record.
enum class DeviceStage { Opening, Joining, WaitingTurn, Recording, Uploading, Converting, Ended };

// What the station knows of one device. There is deliberately no field for
// the pass phrase: what is not here cannot end up on the console or in a file.
struct DeviceState {
    // As the user gave it: "COM3", "/dev/ttyUSB0".
    std::string port;
    // The device's folder in the working folder.
    std::string folder;
    // Empty until the device reports one.
    std::string deviceAddress;
    DeviceStage stage = DeviceStage::Opening;
    // While Recording.
    std::chrono::seconds recorded{0};
    std::chrono::seconds recordTime{0};
    // While Uploading; an expected size of 0 is not known.
    std::uint64_t bytesReceived = 0;
    std::uint64_t bytesExpected = 0;
    // Once Ended: whether the recording was stored (every wanted WAV made),
    // else why not, and the device's record summary when one was made.
    bool stored = false;
    std::string failureReason;
    std::optional<recording::RecordSummary> summary;
    // From the station's start, each set when reached.
    std::optional<std::chrono::milliseconds> joinedAt;
    std::optional<std::chrono::milliseconds> uploadBeganAt;
    std::optional<std::chrono::milliseconds> endedAt;
};

// A stable lower-case name for files: "opening", "joining", "recording",
// "uploading", "converting", "ended".
const char* stageName(DeviceStage stage);

// "ok" for a stored recording, "failed: <reason>" otherwise; for a device
// that has not ended, its stage's name.
std::string outcomeText(const DeviceState& device);

// The channels of the device's recording whose verdict is not ok, as the
// user reads them: "ch2 silent, ch3 clipping"; empty when all are ok or none
// was measured.
std::string channelsNotOk(const DeviceState& device);

// Whether the device's recording needs a look: not stored, or a channel that
// is not ok.
bool deviceFailed(const DeviceState& device);

// `text` as a part of one console line: control characters (a line break in
// a device's reason, an escape sequence) become spaces, so that nothing a
// device says moves the cursor.
std::string oneLine(std::string text);

// The folder name for a port as the user gave it, the same on Windows and
// Linux and safe as a file name on both: "/dev/ttyUSB0" -> "ttyUSB0",
// "\\.\COM10" -> "COM10", "3" -> "COM3", and a name Windows reserves gets an
// underscore ("COM3" -> "COM3_").
std::string folderNameForPort(const std::string& port);

// The folder names for a station's ports, in their order: where two ports
// come to the same name (letter case aside, as Windows compares names), the
// later ones get "-2", "-3", ...
std::vector<std::string> uniqueFolderNames(const std::vector<std::string>& ports);

}  // namespace quorvane::station
