// The recording check as the upload wires it: the split feeds it, and the
// summary the run hands down learns how each ending of the upload came about.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "loopback_client.h"
#include "recording/channel_split.h"
#include "recording/recording_processing.h"
#include "recording/shared_record_summary.h"
#include "upload/audio_capture.h"
#include "upload/upload_control.h"
#include "upload_fixture.h"

namespace fs = std::filesystem;

namespace {

using quorvane::recording::RunOutcome;

void appendSample(std::string& bytes, int sample) {
    const auto value = static_cast<std::uint16_t>(sample);
    bytes += static_cast<char>(value & 0xFF);
    bytes += static_cast<char>(value >> 8);
}

// Channel 1 a square wave at half of full scale, 2 silent, 3 a square wave
// at full scale (every sample clipped), 4 a copy of channel 1.
std::string squareWaves(int frames) {
    std::string bytes;
    for (int frame = 0; frame < frames; ++frame) {
        const bool high = frame % 2 == 0;
        for (int sample : {high ? 16384 : -16384, 0, high ? 32767 : -32768, high ? 16384 : -16384}) {
            appendSample(bytes, sample);
        }
    }
    return bytes;
}

quorvane::recording::ProgressClock steadyClock() {
    return [] { return std::chrono::steady_clock::now(); };
}

class RecordingWiring : public UploadTest {};

// A partial last frame is no sample of any channel: here its bytes would be
// full-scale samples of channels 1 to 3 and make channel 2 loud.
TEST_F(RecordingWiring, TheSplitFeedsTheCheckEveryWholeFrameAndNoPartialOne) {
    const int frames = 1000;  // six whole blocks of the split and part of a seventh
    writeFile("record.pcm", squareWaves(frames) + std::string("\xFF\x7F\xFF\x7F\xFF\x7F\xFF", 7));
    quorvane::recording::RecordingCheck check(frames);
    const quorvane::recording::SplitOutcome split = quorvane::recording::splitRecording(
        quorvane::recording::runRecording(*quorvane::recording::RecordingFiles::workingFolder()),
        {steadyClock(), false, nullptr, nullptr, nullptr}, check);
    ASSERT_FALSE(split.failure.has_value()) << diagnostics();
    EXPECT_EQ(split.bytesRead, 8u * frames + 7);
    const quorvane::recording::RecordingFindings findings = check.finish();

    EXPECT_EQ(findings.frames, static_cast<std::uint64_t>(frames));
    EXPECT_EQ(findings.envelopes.expectedFrames, static_cast<std::uint64_t>(frames));
    const quorvane::recording::ChannelLevelSet& levels = findings.levels;
    EXPECT_NEAR(levels[0].peakDbfs, 20 * std::log10(0.5), 1e-9);
    EXPECT_NEAR(levels[0].rmsDbfs, 20 * std::log10(0.5), 1e-9);
    EXPECT_EQ(levels[0].clippedSamples, 0u);
    EXPECT_EQ(levels[0].verdict, quorvane::recording::Verdict::Ok);
    EXPECT_EQ(levels[1].verdict, quorvane::recording::Verdict::Silent);
    EXPECT_EQ(levels[2].clippedSamples, static_cast<std::uint64_t>(frames));
    EXPECT_EQ(levels[2].verdict, quorvane::recording::Verdict::Clipping);
    EXPECT_EQ(levels[3].verdict, quorvane::recording::Verdict::SameAsChannel);
    EXPECT_EQ(levels[3].sameAsChannel, 1);
    EXPECT_EQ(readFile("record_ch1.pcm").size(), 2u * frames);
}

struct Ending {
    const char* name;
    std::function<void()> prepare;
    std::string bytes;
    RunOutcome outcome;
    std::string reasonStart;
    bool measured;
    std::vector<int> wavFiles;
};

class UploadEndings : public UploadTest {
protected:
    // Each ending in a folder and a run state of its own.
    void startAfresh() {
        TearDown();
        SetUp();
    }

    // One upload through the recording server with a summary wired as the
    // run wires it.
    quorvane::recording::RecordSummary upload(const std::string& bytes) {
        const auto summary = std::make_shared<quorvane::recording::SharedRecordSummary>();
        summary->update([](quorvane::recording::RecordSummary& facts) { facts.recordTime = "1"; });
        serveOneUpload(bytes, testWiring(nullptr, false, summary));
        EXPECT_TRUE(summary->endingRecorded());
        return summary->snapshot();
    }
};

TEST_F(UploadEndings, TheSummaryTellsHowEachEndingCameAbout) {
    const std::string recording = squareWaves(1600);
    const Ending endings[] = {
        {"stored", [] {}, recording, RunOutcome::Stored, "", true, {1, 2, 4}},
        {"no audio", [] {}, "", RunOutcome::Failed, "the device sent no audio", false, {}},
        {"less than one frame",
         [] {},
         "\x7F",
         RunOutcome::Failed,
         "no audio: record.pcm holds 1 byte, less than one 8-byte frame",
         false,
         {}},
        {"record.pcm cannot be created",
         [] { fs::create_directory("record.pcm"); },
         recording,
         RunOutcome::Failed,
         "cannot create record.pcm: ",
         false,
         {}},
        {"a channel file cannot be created",
         [] { fs::create_directory("record_ch2.pcm"); },
         recording,
         RunOutcome::Failed,
         "cannot create record_ch2.pcm: ",
         false,
         {}},
        {"the converter fails on channel 2",
         [] { fs::create_directory("record_ch2.wav"); },
         recording,
         RunOutcome::Failed,
         "the converter failed on record_ch2.pcm",
         true,
         {1, 4}},
        {"the converter writes nothing",
         [] { fs::copy_file(fakeConverter(), fakeConverter().filename()); },
         recording,
         RunOutcome::Failed,
         "the converter made no complete record_ch1.wav",
         true,
         {}},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        startAfresh();
        ending.prepare();
        const quorvane::recording::RecordSummary facts = upload(ending.bytes);
        const bool received = fs::is_regular_file("record.pcm");
        EXPECT_EQ(facts.outcome, ending.outcome);
        EXPECT_EQ(facts.failureReason.rfind(ending.reasonStart, 0), 0u) << facts.failureReason;
        EXPECT_EQ(ending.reasonStart.empty(), facts.failureReason.empty()) << facts.failureReason;
        EXPECT_EQ(facts.bytesReceived, received ? ending.bytes.size() : 0u);
        for (int channel = 1; channel <= 4; ++channel) {
            const quorvane::recording::ChannelSummary& summary = facts.channels[channel - 1];
            const bool made = std::count(ending.wavFiles.begin(), ending.wavFiles.end(), channel) == 1;
            EXPECT_EQ(summary.levels.has_value(), ending.measured) << channel;
            EXPECT_EQ(summary.wavFile.value_or(""), made ? "record_ch" + std::to_string(channel) + ".wav" : "")
                << channel;
        }
        // The table and the picture come whenever the split ran and found audio.
        EXPECT_EQ(fs::exists("record.svg"), ending.measured);
        EXPECT_EQ(diagnostics().find("audio: 0:00.1 of the 0:01 asked for") != std::string::npos, ending.measured)
            << diagnostics();
    }
}

TEST_F(UploadEndings, AnInterruptedUploadTellsWhatArrivedAndMeasuresNothing) {
    const auto summary = std::make_shared<quorvane::recording::SharedRecordSummary>();
    quorvane::upload::AudioSettings settings;
    settings.endRun = testRunEnder();
    settings.clock = steppingClock(std::chrono::seconds(10));
    settings.summary = summary;
    const std::string sent = squareWaves(1250);
    ::testing::internal::CaptureStdout();
    {
        InstrumentedServer server(settings);
        ListeningServer listening(server);
        LoopbackClient device(listening.port());
        EXPECT_TRUE(device.send(sent));
        EXPECT_TRUE(eventually([] { return quorvane::recording::fileSize("record.pcm") == 10000; }));
        testUploadState()->interrupt();
        EXPECT_TRUE(runEnded());
    }
    ::testing::internal::GetCapturedStdout();
    const quorvane::recording::RecordSummary facts = summary->snapshot();
    EXPECT_EQ(facts.outcome, RunOutcome::Interrupted);
    EXPECT_EQ(facts.failureReason, "");
    EXPECT_EQ(facts.bytesReceived, sent.size());
    for (const quorvane::recording::ChannelSummary& channel : facts.channels) {
        EXPECT_FALSE(channel.levels || channel.wavFile);
    }
    EXPECT_FALSE(fs::exists("record.svg"));
}

// Ctrl-C before the first conversion: the channels were measured, none was
// converted, and the report still shows them. The split looks for an
// interruption between its blocks of 160 frames, so it splits this shorter
// recording whole.
TEST_F(UploadEndings, AnInterruptedConversionKeepsTheLevelsAndReportsThem) {
    const std::string recording = squareWaves(150);
    writeFile("take.pcm", recording);
    quorvane::recording::SharedRecordSummary summary;
    summary.update([&recording](quorvane::recording::RecordSummary& facts) { facts.bytesReceived = recording.size(); });
    const quorvane::recording::RecordingEnding ending = quorvane::recording::processRecording(
        {"./take.pcm", "take.pcm"}, {steadyClock(), true, [] { return true; }, nullptr, nullptr}, summary);
    EXPECT_EQ(ending.outcome, RunOutcome::Interrupted);
    const quorvane::recording::RecordSummary facts = summary.snapshot();
    for (int channel = 1; channel <= 4; ++channel) {
        EXPECT_TRUE(facts.channels[channel - 1].levels.has_value()) << channel;
        EXPECT_FALSE(facts.channels[channel - 1].wavFile.has_value()) << channel;
        EXPECT_EQ(readFile("record_ch" + std::to_string(channel) + ".pcm").size(), 300u) << channel;
    }
    EXPECT_TRUE(fs::exists("record.svg"));
    EXPECT_NE(diagnostics().find("interrupted: take.pcm keeps all 1200 bytes received"), std::string::npos)
        << diagnostics();
    EXPECT_NE(diagnostics().find("1        not converted"), std::string::npos) << diagnostics();
}

// Ctrl-C during a long split: it stops after the block in hand, removes the
// incomplete channel files and keeps the recording; nothing is measured.
TEST_F(UploadEndings, AnInterruptedSplitStopsKeepsTheRecordingAndMakesNoChannelFiles) {
    const std::string recording = squareWaves(1000);
    writeFile("take.pcm", recording);
    quorvane::recording::SharedRecordSummary summary;
    summary.update([&recording](quorvane::recording::RecordSummary& facts) { facts.bytesReceived = recording.size(); });
    bool converting = false;
    const quorvane::recording::RecordingEnding ending = quorvane::recording::processRecording(
        {"./take.pcm", "take.pcm"},
        {steadyClock(), true, [] { return true; }, [&converting] { converting = true; }, nullptr}, summary);
    EXPECT_EQ(ending.outcome, RunOutcome::Interrupted);
    EXPECT_EQ(ending.reason, "");
    EXPECT_EQ(readFile("take.pcm"), recording);
    for (int channel = 1; channel <= 4; ++channel) {
        EXPECT_FALSE(fs::exists("record_ch" + std::to_string(channel) + ".pcm")) << channel;
        EXPECT_FALSE(summary.snapshot().channels[channel - 1].levels.has_value()) << channel;
    }
    EXPECT_EQ(occurrences(diagnostics(),
                          "interrupted: take.pcm keeps all 8000 bytes received (0:00.0 of audio); "
                          "the split was stopped, no channel or WAV files were made\n"),
              1)
        << diagnostics();
    EXPECT_EQ(diagnostics().find("split 1000 frames"), std::string::npos) << diagnostics();
    EXPECT_TRUE(converting) << "the stage after the split is told, also when it was stopped";
}

TEST(SharedRecordSummary, TheFirstEndingStaysAndOnlyAFailureHasAReason) {
    quorvane::recording::SharedRecordSummary summary;
    EXPECT_FALSE(summary.endingRecorded());
    summary.recordEnding(RunOutcome::Interrupted, "a reason nobody asked for");
    summary.recordEnding(RunOutcome::Failed, "too late");
    EXPECT_EQ(summary.snapshot().outcome, RunOutcome::Interrupted);
    EXPECT_EQ(summary.snapshot().failureReason, "");

    quorvane::recording::SharedRecordSummary failed;
    failed.recordEnding(RunOutcome::Failed, "cannot write record.pcm: No space left on device");
    EXPECT_EQ(failed.snapshot().failureReason, "cannot write record.pcm: No space left on device");
}

// Provisioning and the audio thread fill the summary at the same time; every
// change lands (the sanitizer builds watch the locking).
TEST(SharedRecordSummary, ChangesFromSeveralThreadsAllLand) {
    quorvane::recording::SharedRecordSummary summary;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&summary] {
            for (int change = 0; change < 1000; ++change) {
                summary.update([](quorvane::recording::RecordSummary& facts) { ++facts.bytesReceived; });
                summary.snapshot();
            }
        });
    }
    summary.markUploadRequested();
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(summary.snapshot().bytesReceived, 4000u);
    EXPECT_TRUE(summary.uploadRequested());
}

}  // namespace
