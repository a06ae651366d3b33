#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include "loopback_client.h"
#include "platform/shell.h"
#include "upload/audio_capture.h"
#include "upload/upload_control.h"
#include "upload_fixture.h"

namespace fs = std::filesystem;

namespace {

quorvane::upload::AudioSettings logSettings() {
    quorvane::upload::AudioSettings settings;
    settings.endRun = testRunEnder();
    settings.clock = steppingClock(std::chrono::seconds(10));
    return settings;
}

// Holds the connection in onConnect, once `expected` bytes wait in it, until
// the test releases it to the audio thread.
class GatedServer : public KestaroSocket {
public:
    GatedServer() : KestaroSocket(testUploadState()) {}
    void onConnect(unsigned int socket) override {
        const auto handle = static_cast<quorvane::net::SocketHandle>(socket);
        holding.set_value(eventually([&] { return quorvane::net::pendingBytes(handle) == expected; }));
        released.get_future().wait();
        quorvane::upload::AudioSettings settings = logSettings();
        settings.state = uploadState();
        quorvane::upload::startAudioCapture(audioThread, socket, settings);
    }
    long expected = 0;
    std::promise<bool> holding;
    std::promise<void> released;
    ThreadPool audioThread{1};
};

class Interruption : public UploadTest {
protected:
    void expectKeptAndNotSplit(const std::string& sent) {
        EXPECT_TRUE(runEnded());
        EXPECT_TRUE(testRunEnd()->failed);
        EXPECT_FALSE(testUploadState()->audioThreadRunning());
        EXPECT_EQ(readFile("record.pcm"), sent);
        EXPECT_NE(
            diagnostics().find("interrupted: record.pcm keeps the " + std::to_string(sent.size()) + " bytes received"),
            std::string::npos)
            << diagnostics();
        for (int channel = 1; channel <= 4; ++channel) {
            EXPECT_FALSE(fs::exists("record_ch" + std::to_string(channel) + ".pcm"));
        }
    }
};

TEST_F(Interruption, ListenReturnsQuietlyAndSoDoesAnyListenAfterwards) {
    CountingServer waiting;
    ListeningServer listening(waiting);
    ASSERT_NE(listening.port(), 0);
    ::testing::internal::CaptureStdout();
    testUploadState()->interrupt();
    EXPECT_EQ(listening.join(), "");
    CountingServer later;
    EXPECT_EQ(ListeningServer(later).join(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(diagnostics(), "");
    EXPECT_EQ(waiting.calls + later.calls, 0);
}

TEST_F(Interruption, ARunningUploadKeepsEveryByteReceivedAndSkipsTheSplit) {
    const std::string sent = uploadBytes(10000, 21);
    ::testing::internal::CaptureStdout();
    InstrumentedServer server(logSettings());
    ListeningServer listening(server);
    LoopbackClient device(listening.port());
    EXPECT_TRUE(device.send(sent));
    EXPECT_TRUE(waitForDiagnostic("received 10000 bytes (0:00.0 of audio) at 0.00 MB/s\n"));
    EXPECT_TRUE(testUploadState()->audioThreadRunning());

    testUploadState()->interrupt();
    expectKeptAndNotSplit(sent);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "socekt connected recv audio begin\n");
    EXPECT_TRUE(device.closedByServer());
}

TEST_F(Interruption, BytesThatArrivedBeforeTheInterruptionAreKeptThoughNotYetRead) {
    const std::string sent = uploadBytes(5000, 22);
    GatedServer server;
    server.expected = static_cast<long>(sent.size());
    std::future<bool> holding = server.holding.get_future();
    ListeningServer listening(server);
    LoopbackClient device(listening.port());
    EXPECT_TRUE(device.send(sent));
    device.finish();
    EXPECT_TRUE(holding.get());
    EXPECT_TRUE(testUploadState()->audioThreadRunning());
    EXPECT_FALSE(testUploadState()->waitForAudioThread(std::chrono::milliseconds(20)));

    testUploadState()->interrupt();
    server.released.set_value();
    EXPECT_EQ(listening.join(), "");
    expectKeptAndNotSplit(sent);
}

// A converter that did not hear the interruption is given up once the run's
// bounded wait has: it is left running, the audio thread says nothing more
// and is joined when its server is destroyed, and every channel file stays.
TEST_F(Interruption, AConversionGivenUpLeavesTheConverterRunningAndTheAudioThreadJoinable) {
    const fs::path converter = fs::path(QUORVANE_SLOW_CONVERTER).filename();
    fs::copy_file((fs::u8path(quorvane::platform::executableDirectory()) / QUORVANE_SLOW_CONVERTER).lexically_normal(),
                  fs::path("Pcm2Wav") += converter.extension());
    const std::string sent = uploadBytes(8 * 1000, 23);
    ::testing::internal::CaptureStdout();
    {
        InstrumentedServer server(logSettings());
        ListeningServer listening(server);
        LoopbackClient device(listening.port());
        EXPECT_TRUE(device.send(sent));
        device.finish();
        EXPECT_EQ(listening.join(), "");
        ASSERT_TRUE(eventually([] { return fs::exists("slow-converter-started"); }));
        testUploadState()->interrupt();
        EXPECT_EQ(testUploadState()->waitAfterInterruption(std::chrono::milliseconds(20)),
                  quorvane::upload::InterruptedEnd::StillConverting);
        testUploadState()->abandonConversion();
    }
    EXPECT_FALSE(testUploadState()->audioThreadRunning());
    EXPECT_TRUE(testRunEnd()->finished);
    EXPECT_TRUE(testRunEnd()->failed);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kBeginLine);
    const std::string said = diagnostics();
    EXPECT_EQ(said.find("interrupted"), std::string::npos) << said;
    EXPECT_EQ(said.find("dBFS"), std::string::npos) << said;
    for (int channel = 1; channel <= 4; ++channel) {
        EXPECT_TRUE(fs::exists("record_ch" + std::to_string(channel) + ".pcm")) << channel;
    }
    EXPECT_FALSE(fs::exists("slow-converter-released"));
    writeFile("slow-converter-release", "go\n");
    EXPECT_TRUE(eventually([] { return fs::exists("slow-converter-released"); }));
}

// The end of an interrupted run waits for the audio thread a bounded time,
// but on for as long as it splits: the split stops by itself and uses the
// run's file streams until then.
TEST_F(Interruption, TheEndWaitsOnForASplitAndTellsWhatTheAudioThreadStillDoes) {
    using quorvane::upload::AudioStage;
    using quorvane::upload::InterruptedEnd;
    const struct {
        const char* name;
        bool inHand;
        AudioStage stage;
        InterruptedEnd waitEnds;
    } cases[] = {
        {"nothing in hand", false, AudioStage::Receiving, InterruptedEnd::NoUpload},
        {"receiving", true, AudioStage::Receiving, InterruptedEnd::StillReceiving},
        {"splitting", true, AudioStage::Splitting, InterruptedEnd::Ended},
        {"converting", true, AudioStage::Converting, InterruptedEnd::StillConverting},
    };
    const std::chrono::milliseconds limit(20);
    for (const auto& state : cases) {
        SCOPED_TRACE(state.name);
        quorvane::upload::UploadState upload;
        if (state.inHand) {
            upload.beginWork();
        }
        upload.enterStage(state.stage);
        std::future<InterruptedEnd> waited =
            std::async(std::launch::async, [&upload, limit] { return upload.waitAfterInterruption(limit); });
        if (state.waitEnds == InterruptedEnd::Ended) {
            EXPECT_EQ(waited.wait_for(limit * 10), std::future_status::timeout);
        } else {
            EXPECT_EQ(waited.get(), state.waitEnds);
        }
        if (state.inHand) {
            upload.endWork();
        }
        if (waited.valid()) {
            EXPECT_EQ(waited.get(), state.waitEnds);
        }
    }
}

}  // namespace
