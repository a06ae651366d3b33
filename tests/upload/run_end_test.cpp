// How the run's end meets the upload: once a connection is in the audio
// thread's hands only the upload decides how the run ends (a late failure of
// the Wi-Fi join cannot end it), and the end of the server that received it
// waits for the audio thread; an end that came first closes the connection
// that comes after it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "loopback_client.h"
#include "upload/audio_capture.h"
#include "upload/upload_control.h"
#include "upload_fixture.h"

namespace {

quorvane::upload::AudioSettings steadySettings() {
    quorvane::upload::AudioSettings settings;
    settings.endRun = testRunEnder();
    settings.clock = [] { return std::chrono::steady_clock::now(); };
    return settings;
}

using RunEnd = UploadTest;

TEST_F(RunEnd, ALateEndCannotCutARunningUploadAndTheServersEndJoinsTheAudioThread) {
    const std::string first = uploadBytes(8 * 2000, 51);
    const std::string rest = uploadBytes(8 * 3000, 52);
    ::testing::internal::CaptureStdout();
    {
        InstrumentedServer server(steadySettings());
        ListeningServer listening(server);
        LoopbackClient device(listening.port());
        EXPECT_TRUE(device.send(first));
        EXPECT_EQ(listening.join(), "");
        ASSERT_TRUE(testUploadState()->audioThreadRunning());

        EXPECT_FALSE(testUploadState()->endRunBeforeUpload());
        EXPECT_FALSE(testRunEnd()->finished);
        EXPECT_TRUE(device.send(rest));
        device.finish();
    }
    EXPECT_FALSE(testUploadState()->audioThreadRunning());
    EXPECT_TRUE(testRunEnd()->finished);
    EXPECT_FALSE(testRunEnd()->failed);
    EXPECT_EQ(readFile("record.pcm"), first + rest);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kStoredUploadOutput);
}

TEST_F(RunEnd, AnEndBeforeTheUploadClosesTheConnectionThatComesAfterIt) {
    ASSERT_TRUE(testUploadState()->endRunBeforeUpload());
    CountingServer server;
    ListeningServer listening(server);
    LoopbackClient device(listening.port());
    EXPECT_TRUE(device.closedByServer());
    EXPECT_EQ(listening.join(), "");
    EXPECT_EQ(server.calls, 0);
    EXPECT_FALSE(testUploadState()->audioThreadRunning());
    EXPECT_NE(diagnostics().find("the run had already ended when the upload connection came; it was closed unread\n"),
              std::string::npos)
        << diagnostics();
}

}  // namespace
