// Faults that need POSIX means to provoke: a file size limit, a full disk
// (/dev/full), a connection reset (Wine does not pass an abortive close on
// to its peer), before the upload is accepted or during it, and a converter
// killed by SIGINT.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "loopback_client.h"
#include "upload/audio_capture.h"
#include "upload/kestaro_socket.h"
#include "upload/upload_control.h"
#include "upload_fixture.h"

namespace fs = std::filesystem;

namespace {

class Faults : public UploadTest {
protected:
    // One upload that ends with an orderly close, or with a reset.
    std::string upload(const std::string& bytes, bool reset = false) {
        ::testing::internal::CaptureStdout();
        {
            test server(testWiring());
            ListeningServer listening(server);
            LoopbackClient device(listening.port());
            // Listen returns once the first byte has arrived.
            device.send(bytes);
            EXPECT_EQ(listening.join(), "");
            reset ? device.reset() : device.finish();
            EXPECT_TRUE(runEnded());
        }
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(Faults, AFileSizeLimitKeepsExactlyWhatFitsSaysSoAndFails) {
    rlimit original{};
    getrlimit(RLIMIT_FSIZE, &original);
    rlimit limited = original;
    limited.rlim_cur = 10000;
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
    const std::string bytes = uploadBytes(64 * 1024);
    const std::string console = upload(bytes);
    setrlimit(RLIMIT_FSIZE, &original);

    EXPECT_EQ(console, "socekt connected recv audio begin\n");
    EXPECT_TRUE(testRunEnd()->failed);
    EXPECT_EQ(readFile("record.pcm"), bytes.substr(0, 10000));
    EXPECT_NE(diagnostics().find("error: cannot write record.pcm: File too large; it keeps 10000 of the "),
              std::string::npos)
        << diagnostics();
}

TEST_F(Faults, AChannelFileOnAFullDiskKeepsRecordPcmAndFails) {
    fs::create_symlink("/dev/full", "record_ch3.pcm");
    const std::string bytes = uploadBytes(8 * 5000);
    EXPECT_EQ(upload(bytes), "socekt connected recv audio begin\n");
    EXPECT_TRUE(testRunEnd()->failed);
    EXPECT_NE(diagnostics().find("error: cannot write record_ch3.pcm: No space left on device"), std::string::npos)
        << diagnostics();
    EXPECT_EQ(readFile("record.pcm"), bytes);
    EXPECT_FALSE(fs::exists("record_ch1.pcm") || fs::exists("record_ch1.wav"));
}

TEST_F(Faults, AResetAfterDataEndsTheUploadLikeACloseAndIsSaid) {
    const std::string bytes = uploadBytes(8 * 2000, 11);
    EXPECT_EQ(upload(bytes, true), kStoredUploadOutput);
    EXPECT_FALSE(testRunEnd()->failed);
    EXPECT_NE(diagnostics().find("warning: the upload connection failed after"), std::string::npos) << diagnostics();
    const std::string stored = readFile("record.pcm");
    EXPECT_EQ(stored, bytes.substr(0, stored.size()));
}

// The device's first connection is reset while it waits to be accepted
// (POSIX accepts it with the reset pending, Windows fails the accept): it is
// passed over, said once, and the connection after it is the upload.
TEST_F(Faults, AConnectionResetBeforeItIsAcceptedIsPassedOverAndTheNextIsTheUpload) {
    const std::string bytes = uploadBytes(8 * 3000, 15);
    ::testing::internal::CaptureStdout();
    {
        test server(testWiring());
        ASSERT_EQ(server.claimPort(0), 0);
        const unsigned short port = server.localPort();
        LoopbackClient reset(port);
        EXPECT_TRUE(reset.send(uploadBytes(64 * 1024, 16)));
        reset.reset();
        ListeningServer listening(server, port);
        EXPECT_TRUE(
            waitForDiagnostic("an upload connection failed before it could be accepted (Connection reset by "
                              "peer, code 104); waiting up to 0:30 for the device to connect again\n"));
        LoopbackClient device(port);
        EXPECT_TRUE(device.send(bytes));
        device.finish();
        EXPECT_EQ(listening.join(), "");
        EXPECT_TRUE(runEnded());
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kStoredUploadOutput);
    EXPECT_FALSE(testRunEnd()->failed);
    EXPECT_EQ(readFile("record.pcm"), bytes);
    EXPECT_EQ(occurrences(diagnostics(), "failed before it could be accepted"), 1) << diagnostics();
}

// As when Ctrl-C from a terminal reaches the converter before this program's
// own handler has run: the run counts as interrupted, not as a failed
// conversion.
TEST_F(Faults, AConverterEndedByCtrlCIsTheInterruptionNotAFailure) {
    writeFile("Pcm2Wav", "#!/bin/sh\nkill -INT $$\n");
    fs::permissions("Pcm2Wav", fs::perms::owner_all);
    const std::string bytes = uploadBytes(8 * 3000, 12);
    EXPECT_EQ(upload(bytes), "socekt connected recv audio begin\n");
    EXPECT_TRUE(testRunEnd()->failed);
    EXPECT_EQ(occurrences(diagnostics(), "interrupted: record.pcm keeps all 24000 bytes received"), 1) << diagnostics();
    EXPECT_EQ(diagnostics().find("converter failed"), std::string::npos) << diagnostics();
    EXPECT_TRUE(fs::exists("record_ch1.pcm"));
}

}  // namespace
