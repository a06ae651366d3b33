#include "run/convert_command.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "recording/record_files.h"
#include "recording/record_picture.h"
#include "recording/record_summary.h"
#include "recording/recording_processing.h"
#include "run/command_line.h"
#include "run/converter_search.h"
#include "run/information.h"
#include "run/record_summary_file.h"
#include "run/refusal.h"

namespace {

// The conversion in hand runs to its end (or ends with the console's Ctrl-C,
// as the converter hears it too); none starts after it.
void onInterrupt(quorvane::platform::Interruption cause) {
    quorvane::platform::diagnose(
        "%s: ending the conversion, keeping the recording and the channel files not converted yet\n",
        quorvane::platform::interruptionName(cause));
}

// Why `file` cannot be read as a recording; empty when it can. A pipe, a
// FIFO or a device is not opened to find out: the split opens it once.
std::string unreadableProblem(const std::string& file) {
    const std::filesystem::path path = std::filesystem::u8path(file);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status)) {
        return "cannot convert " + file + ": it is a folder, not a recording";
    }
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        const int refusal = quorvane::platform::readAccessError(file);
        return refusal == 0 ? std::string()
                            : "cannot read " + file + ": " + quorvane::recording::fileErrorText(refusal);
    }
    errno = 0;
    std::ifstream recording(path, std::ios::in | std::ios::binary);
    if (!recording.is_open()) {
        return "cannot read " + file + ": " + quorvane::recording::fileErrorText(errno);
    }
    return {};
}

// equivalent() tells nothing about two FIFOs or devices; for them the same
// path after every link is resolved is the same file.
bool sameFile(const std::filesystem::path& first, const std::filesystem::path& second) {
    std::error_code error;
    if (std::filesystem::equivalent(first, second, error)) {
        return true;
    }
    const std::filesystem::path resolved = std::filesystem::canonical(first, error);
    return !error && resolved == std::filesystem::canonical(second, error);
}

std::vector<std::string> filesTheConversionWrites() {
    std::vector<std::string> names;
    for (int channel = 1; channel <= quorvane::recording::kChannelCount; ++channel) {
        names.push_back(quorvane::recording::channelPcmName(channel));
        names.push_back(quorvane::recording::channelWavName(channel));
    }
    names.emplace_back(quorvane::recording::kSummaryFileName);
    names.emplace_back(quorvane::recording::kPictureFileName);
    return names;
}

// The split would truncate its own input when `file` is, under any name or
// link, one of the files the conversion writes in the working folder (as the
// record_chN.pcm a failed conversion keeps).
std::string overwrittenProblem(const std::string& file) {
    const std::filesystem::path path = std::filesystem::u8path(file);
    for (const std::string& name : filesTheConversionWrites()) {
        if (sameFile(path, std::filesystem::path(".") / name)) {
            return "cannot convert " + file + ": it is the working folder's " + name +
                   ", which the conversion writes over; nothing was written. Convert the four-channel recording "
                   "instead (such as record.pcm), or copy the file to another name first";
        }
    }
    return {};
}

int exitStatusOf(quorvane::recording::RunOutcome outcome) {
    if (const auto interruption = quorvane::platform::arrivedInterruption()) {
        return quorvane::platform::exitStatusFor(*interruption);
    }
    switch (outcome) {
        case quorvane::recording::RunOutcome::Stored:
            return 0;
        case quorvane::recording::RunOutcome::Interrupted:
            return quorvane::platform::exitStatusFor(quorvane::platform::Interruption::Interrupt);
        case quorvane::recording::RunOutcome::Failed:
            break;
    }
    return 1;
}

// A run's record.json about this very recording (after Ctrl-C, or a failed
// converter) knows the port, the network, the addresses and the record time;
// the conversion's record.json, which replaces it, keeps them.
void keepRunFacts(const std::string& file, quorvane::recording::SharedRecordSummary& summary) {
    const auto facts = quorvane::recording::readRunFacts(quorvane::recording::kSummaryFileName);
    if (!facts || !sameFile(std::filesystem::u8path(file), std::filesystem::u8path(facts->recording))) {
        return;
    }
    summary.update([&facts](quorvane::recording::RecordSummary& kept) {
        kept.port = facts->port;
        kept.networkName = facts->networkName;
        kept.deviceAddress = facts->deviceAddress;
        kept.hostAddress = facts->hostAddress;
        kept.recordTime = facts->recordTime;
    });
    quorvane::platform::diagnose("%s keeps what the run that recorded %s knew: port, network, record time\n",
                                 quorvane::recording::kSummaryFileName, file.c_str());
}

int convertRecording(const ConvertRequest& request) {
    const auto summary = beginSummary(quorvane::recording::SummaryCommand::Convert);
    keepRunFacts(request.file, *summary);
    // The split counts what it reads; the size stands only when it fails.
    const std::int64_t size = quorvane::recording::fileSize(request.file);
    summary->update([&request, size](quorvane::recording::RecordSummary& facts) {
        facts.recording = request.file;
        facts.bytesReceived = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    });
    quorvane::recording::ProcessingSettings settings;
    settings.clock = [] { return std::chrono::steady_clock::now(); };
    settings.convertChannel3 = request.convertChannel3;
    settings.interrupted = [] { return quorvane::platform::arrivedInterruption().has_value(); };
    const quorvane::recording::RecordingEnding ending =
        quorvane::recording::processRecording({request.file, request.file}, settings, *summary);
    summary->recordEnding(ending.outcome, ending.reason);
    const int status = exitStatusOf(ending.outcome);
    const bool interrupted = quorvane::platform::arrivedInterruption().has_value();
    finishSummary(*summary, {status, interrupted || ending.outcome == quorvane::recording::RunOutcome::Interrupted,
                             request.convertChannel3});
    return status;
}

}  // namespace

int runConvertCommand(const std::vector<std::string>& afterOption) {
    const ConvertRequest request = parseConvertRequest(afterOption);
    if (refused(request.problem)) {
        showUsage();
        return kRefused;
    }
    if (refused(unreadableProblem(request.file)) || refused(overwrittenProblem(request.file)) ||
        refused(converterSearchProblem())) {
        return kRefused;
    }
    quorvane::platform::installInterruptHandler(onInterrupt);
    return convertRecording(request);
}
