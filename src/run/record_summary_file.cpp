#include "run/record_summary_file.h"

#include <chrono>
#include <string>

#include "platform/diagnostics.h"
#include "recording/record_files.h"

namespace {

constexpr auto kFrameBytes = static_cast<std::int64_t>(quorvane::recording::kFrameBytes);

// Not every WAV file was made from a recording that holds at least one whole
// frame and is still there (a record.pcm of an earlier run does not count).
bool convertibleLater(const quorvane::recording::RecordSummary& facts) {
    return facts.outcome != quorvane::recording::RunOutcome::Stored && facts.bytesReceived >= kFrameBytes &&
           quorvane::recording::fileSize(facts.recording) >= kFrameBytes;
}

std::string shellWord(const std::string& text) {
    return text.find_first_of(" \t'\"") == std::string::npos ? text : "\"" + text + "\"";
}

void suggestConversion(const quorvane::recording::RecordSummary& facts, bool convertChannel3) {
    const std::string command =
        "quorvane-capture --convert " + shellWord(facts.recording) + (convertChannel3 ? " 1" : "");
    if (facts.command == quorvane::recording::SummaryCommand::Run) {
        quorvane::platform::diagnose("to convert what was received, run: %s\n", command.c_str());
    } else {
        quorvane::platform::diagnose("to convert it again, run: %s\n", command.c_str());
    }
}

}  // namespace

std::shared_ptr<quorvane::recording::SharedRecordSummary> beginSummary(quorvane::recording::SummaryCommand command) {
    quorvane::recording::RecordSummary facts;
    facts.toolVersion = QUORVANE_VERSION;
    facts.command = command;
    facts.startedAt = std::chrono::system_clock::now();
    return std::make_shared<quorvane::recording::SharedRecordSummary>(facts);
}

void finishSummary(quorvane::recording::SharedRecordSummary& summary, const SummaryEnd& end,
                   const std::string& folder) {
    if (!summary.endingRecorded()) {
        summary.recordEnding(
            end.interrupted ? quorvane::recording::RunOutcome::Interrupted : quorvane::recording::RunOutcome::Failed,
            "the run ended before any upload arrived");
    }
    summary.update([&end](quorvane::recording::RecordSummary& facts) {
        facts.endedAt = std::chrono::system_clock::now();
        facts.exitStatus = end.exitStatus;
    });
    const quorvane::recording::RecordSummary facts = summary.snapshot();
    const int error =
        quorvane::recording::writeRecordSummary(quorvane::recording::inFolder(folder, quorvane::recording::kSummaryFileName), facts);
    if (error != 0) {
        quorvane::platform::diagnose("warning: cannot write %s: %s\n", quorvane::recording::kSummaryFileName,
                                     quorvane::recording::fileErrorText(error).c_str());
    }
    if (convertibleLater(facts)) {
        suggestConversion(facts, end.convertChannel3);
    }
}
