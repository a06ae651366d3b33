#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "recording/channel_levels.h"

namespace quorvane::recording {

constexpr const char* kSummaryFileName = "record.json";

enum class RunOutcome { Stored, Failed, Interrupted };

// What made the summary: a run with a device, or --convert of a recording
// kept from an earlier run (which knows the port, network and record time
// only from that run's record.json).
enum class SummaryCommand { Run, Convert };

struct ChannelSummary {
    // The WAV file made for the channel; nothing when it was not converted.
    std::optional<std::string> wavFile;
    // Nothing when the run ended before the split measured the channel.
    std::optional<ChannelLevels> levels;
};

// What a run that reached the upload knows at its end, whether it stored the
// recording, failed or was interrupted. The run fills it as it goes; empty
// texts are facts not known by then. There is deliberately no field for the
// pass phrase: what is not here cannot end up in a file.
struct RecordSummary {
    std::string toolVersion;
    SummaryCommand command = SummaryCommand::Run;
    std::chrono::system_clock::time_point startedAt;
    std::chrono::system_clock::time_point endedAt;
    std::string port;
    std::string networkName;
    std::string deviceAddress;
    std::string hostAddress;
    std::string recordTime;
    // The recording the channels come from: record.pcm, or the file given to
    // --convert.
    std::string recording = "record.pcm";
    std::uint64_t bytesReceived = 0;
    std::array<ChannelSummary, kChannelCount> channels;
    RunOutcome outcome = RunOutcome::Failed;
    std::string failureReason;
    int exitStatus = 0;
};

// Whole frames and the seconds of audio they hold in `bytes` of upload.
std::uint64_t wholeFrames(std::uint64_t bytes);
double audioSeconds(std::uint64_t bytes);

// `text` with each ill-formed part of UTF-8 replaced by U+FFFD: texts from
// the command line are not UTF-8 on every system, JSON and SVG must be.
std::string validUtf8(const std::string& text);

// ISO 8601 in UTC to the second: "2024-05-17T08:30:00Z".
std::string utcTimestamp(std::chrono::system_clock::time_point time);

// The summary as a JSON document (UTF-8; bytes that are not valid UTF-8
// become U+FFFD; levels of -infinity become null; the port, network and
// record time of a --convert are null).
std::string recordSummaryJson(const RecordSummary& summary);

// Writes the JSON document to `path`; 0 or the error code of the failure.
int writeRecordSummary(const std::string& path, const RecordSummary& summary);

// What a run's record.json knows that a conversion of its recording cannot:
// the device's port and addresses, the network and the record time.
struct RunFacts {
    std::string recording;
    std::string port;
    std::string networkName;
    std::string deviceAddress;
    std::string hostAddress;
    std::string recordTime;
};

// The run facts in the record.json at `path`; nothing when there is none,
// when it is not JSON or was not written by a run.
std::optional<RunFacts> readRunFacts(const std::string& path);

}  // namespace quorvane::recording
