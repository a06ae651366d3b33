// An upload that goes dark: the device stops sending without closing the
// connection (it lost its power or its Wi-Fi). The silence is measured on a
// clock the test moves, so the 30 s limit takes no 30 s here.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>

#include "loopback_client.h"
#include "recording/record_files.h"
#include "upload/audio_capture.h"
#include "upload/upload_control.h"
#include "upload_fixture.h"

namespace {

using std::chrono::seconds;

// The device connects and sends `first` before the server accepts it, so the
// bytes wait in the connection however slowly the audio thread starts; the
// run's limits apply (30 s of silence, said from 5 s on).
class SilentUpload : public UploadTest {
protected:
    // Listen returns at the first byte; without one it waits for a retry.
    void startUpload(const std::string& first) {
        quorvane::upload::AudioSettings settings;
        settings.endRun = testRunEnder();
        settings.clock = time.clock();
        settings.silenceCheck = std::chrono::milliseconds(5);
        server = std::make_unique<InstrumentedServer>(settings);
        server->setRetryLimit(kShortRetryLimit);
        ASSERT_EQ(server->claimPort(0), 0);
        device = std::make_unique<LoopbackClient>(server->localPort());
        ASSERT_TRUE(device->send(first));
        listening = std::make_unique<ListeningServer>(*server, server->localPort());
        if (!first.empty()) {
            EXPECT_EQ(listening->join(), "");
        }
    }

    // The audio thread creates record.pcm after it has read the clock to
    // begin the upload; the test moves the clock only after that.
    static bool recordHolds(std::size_t bytes) {
        return eventually([&] {
            return quorvane::recording::fileSize(quorvane::recording::kRecordFileName) == static_cast<std::int64_t>(bytes);
        });
    }

    // Moves the clock on and waits until the audio thread has looked at the
    // silence since (the progress shows how long it lasts).
    void silentFor(seconds duration, const std::string& shown) {
        time.advance(duration);
        EXPECT_TRUE(waitForDiagnostic(shown)) << diagnostics();
    }

    void TearDown() override {
        listening.reset();
        device.reset();
        server.reset();
        UploadTest::TearDown();
    }

    ManualClock time;
    std::unique_ptr<InstrumentedServer> server;
    std::unique_ptr<LoopbackClient> device;
    std::unique_ptr<ListeningServer> listening;
};

TEST_F(SilentUpload, EndsAfter30SilentSecondsWithEveryByteKeptAndConverted) {
    const std::string bytes = uploadBytes(8 * 1000, 41);
    ::testing::internal::CaptureStdout();
    startUpload(bytes);
    ASSERT_TRUE(recordHolds(bytes.size()));
    silentFor(seconds(29), "received 8000 bytes (0:00.0 of audio); no data for 0:29\n");
    EXPECT_FALSE(testUploadState()->waitForAudioThread(std::chrono::milliseconds(100)))
        << "the upload ended before its silence reached the limit";

    time.advance(seconds(1));
    EXPECT_TRUE(runEnded());
    EXPECT_TRUE(device->closedByServer());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kBeginLine + kSuccessBlock);
    EXPECT_FALSE(testRunEnd()->failed);
    EXPECT_EQ(readFile("record.pcm"), bytes);
    EXPECT_EQ(readFile("record_ch2.wav").substr(44), channelBytes(bytes, 2));
    const std::string said = diagnostics();
    EXPECT_EQ(occurrences(said,
                          "warning: the upload went silent: no data for 0:30.0 after 8000 bytes; taken as the end "
                          "of the upload"),
              1)
        << said;
}

// Data after a pause shorter than the limit carries on the same upload, and
// the silence is counted again from the last byte.
TEST_F(SilentUpload, APauseShorterThanTheLimitIsNoEnd) {
    const std::string first = uploadBytes(8 * 500, 42);
    const std::string second = uploadBytes(8 * 700, 43);
    ::testing::internal::CaptureStdout();
    startUpload(first);
    ASSERT_TRUE(recordHolds(first.size()));
    silentFor(seconds(25), "received 4000 bytes (0:00.0 of audio); no data for 0:25\n");
    ASSERT_TRUE(device->send(second));
    ASSERT_TRUE(recordHolds(first.size() + second.size()));
    silentFor(seconds(25), "received 9600 bytes (0:00.0 of audio); no data for 0:25\n");
    device->finish();

    EXPECT_TRUE(runEnded());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kBeginLine + kSuccessBlock);
    EXPECT_EQ(readFile("record.pcm"), first + second);
    EXPECT_EQ(diagnostics().find("went silent"), std::string::npos) << diagnostics();
}

// Below 5 s of silence the progress keeps quiet about it.
TEST_F(SilentUpload, ShortSilencesAreNotShown) {
    const std::string bytes = uploadBytes(8 * 100, 44);
    startUpload(bytes);
    ASSERT_TRUE(recordHolds(bytes.size()));
    time.advance(seconds(4));
    EXPECT_FALSE(testUploadState()->waitForAudioThread(std::chrono::milliseconds(100)));
    device->finish();
    EXPECT_TRUE(runEnded());
    EXPECT_EQ(diagnostics().find("no data for"), std::string::npos) << diagnostics();
}

TEST_F(SilentUpload, AConnectionSilentFromTheStartIsNoRecording) {
    ::testing::internal::CaptureStdout();
    startUpload("");
    ASSERT_TRUE(recordHolds(0));
    silentFor(seconds(30), "no data for 0:30.0 after 0 bytes");
    EXPECT_TRUE(runEnded());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kBeginLine);
    EXPECT_TRUE(testRunEnd()->failed);
    EXPECT_EQ(listening->join(), "");
    EXPECT_EQ(readFile("record.pcm"), "");
    EXPECT_NE(diagnostics().find("error: the device sent no audio: its upload connection ended before the first byte "
                                 "and it did not connect again within 0:00.1"),
              std::string::npos)
        << diagnostics();
}

}  // namespace
