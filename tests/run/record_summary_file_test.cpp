#include "run/record_summary_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/diagnostics.h"

namespace fs = std::filesystem;

namespace {

using quorvane::recording::RunOutcome;

std::string contentOf(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Each case in a working folder of its own, with what is said on standard
// error caught in a file.
class SummaryFile : public ::testing::Test {
protected:
    void SetUp() override {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path(::testing::TempDir()) / (std::string("summary-file-") + test->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        previous = fs::current_path();
        fs::current_path(folder);
        said = std::fopen("said.txt", "w+b");
        quorvane::platform::setDiagnosticStream(said);
    }

    void TearDown() override {
        quorvane::platform::setDiagnosticStream(nullptr);
        std::fclose(said);
        fs::current_path(previous);
        fs::remove_all(folder);
    }

    std::string diagnostics() const { return contentOf(folder / "said.txt"); }

    fs::path folder;
    fs::path previous;
    std::FILE* said = nullptr;
};

struct Case {
    const char* name;
    quorvane::recording::SummaryCommand command;
    const char* recording;
    std::uint64_t bytes;
    // Told by the upload before the end; Stored with none told means none.
    bool endingTold;
    RunOutcome told;
    SummaryEnd end;
    RunOutcome outcome;
    const char* reason;
    const char* hint;
};

TEST_F(SummaryFile, TheEndingTheExitStatusAndTheHintToConvertLater) {
    using quorvane::recording::SummaryCommand;
    std::ofstream("record.pcm", std::ios::binary) << std::string(800, '\0');
    std::ofstream("my take.pcm", std::ios::binary) << std::string(16, '\0');
    const Case cases[] = {
        {"stored",
         SummaryCommand::Run,
         "record.pcm",
         800,
         true,
         RunOutcome::Stored,
         {0, false, false},
         RunOutcome::Stored,
         "",
         ""},
        {"interrupted while the device records",
         SummaryCommand::Run,
         "record.pcm",
         0,
         false,
         RunOutcome::Stored,
         {130, true, false},
         RunOutcome::Interrupted,
         "",
         ""},
        {"no upload came",
         SummaryCommand::Run,
         "record.pcm",
         0,
         false,
         RunOutcome::Stored,
         {1, false, false},
         RunOutcome::Failed,
         "the run ended before any upload arrived",
         ""},
        {"interrupted upload",
         SummaryCommand::Run,
         "record.pcm",
         800,
         true,
         RunOutcome::Interrupted,
         {130, true, true},
         RunOutcome::Interrupted,
         "",
         "to convert what was received, run: quorvane-capture --convert record.pcm 1\n"},
        {"a recording that is gone",
         SummaryCommand::Run,
         "gone.pcm",
         800,
         true,
         RunOutcome::Interrupted,
         {130, true, false},
         RunOutcome::Interrupted,
         "",
         ""},
        {"less than a frame",
         SummaryCommand::Run,
         "record.pcm",
         7,
         true,
         RunOutcome::Interrupted,
         {130, true, false},
         RunOutcome::Interrupted,
         "",
         ""},
        {"convert failed",
         SummaryCommand::Convert,
         "my take.pcm",
         16,
         true,
         RunOutcome::Failed,
         {1, false, false},
         RunOutcome::Failed,
         "the converter failed",
         "to convert it again, run: quorvane-capture --convert \"my take.pcm\"\n"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::size_t before = diagnostics().size();
        const auto summary = beginSummary(test.command);
        summary->update([&test](quorvane::recording::RecordSummary& facts) {
            facts.recording = test.recording;
            facts.bytesReceived = test.bytes;
        });
        if (test.endingTold) {
            summary->recordEnding(test.told, "the converter failed");
        }
        finishSummary(*summary, test.end);

        const quorvane::recording::RecordSummary facts = summary->snapshot();
        EXPECT_EQ(facts.outcome, test.outcome);
        EXPECT_EQ(facts.failureReason, test.reason);
        EXPECT_EQ(facts.exitStatus, test.end.exitStatus);
        EXPECT_LE(facts.startedAt, facts.endedAt);
        EXPECT_FALSE(facts.toolVersion.empty());
        const std::string json = contentOf("record.json");
        EXPECT_NE(json.find("\"exit_status\":\t" + std::to_string(test.end.exitStatus)), std::string::npos) << json;
        const std::string hint = diagnostics().substr(before);
        EXPECT_EQ(hint, test.hint[0] == '\0' ? "" : std::string("quorvane-capture: ") + test.hint);
    }
}

TEST_F(SummaryFile, ASummaryThatCannotBeWrittenIsAWarning) {
    fs::create_directory("record.json");
    const auto summary = beginSummary(quorvane::recording::SummaryCommand::Run);
    summary->recordEnding(RunOutcome::Stored);
    finishSummary(*summary, {0, false, false});
    EXPECT_EQ(diagnostics().rfind("quorvane-capture: warning: cannot write record.json: ", 0), 0u) << diagnostics();
}

}  // namespace
