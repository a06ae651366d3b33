#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "loopback_client.h"
#include "upload/audio_capture.h"
#include "upload/kestaro_socket.h"
#include "upload_fixture.h"

namespace fs = std::filesystem;

namespace {

std::string pcm(int channel) {
    return "record_ch" + std::to_string(channel) + ".pcm";
}

std::string wav(int channel) {
    return "record_ch" + std::to_string(channel) + ".wav";
}

class AudioCapture : public UploadTest {
protected:
    void expectStoredAndConverted(const std::string& bytes, const std::string& console,
                                  bool channel3Converted = false) {
        EXPECT_EQ(console, kBeginLine + kSuccessBlock);
        EXPECT_FALSE(testRunEnd()->failed);
        EXPECT_EQ(readFile("record.pcm"), bytes);
        for (int channel = 1; channel <= 4; ++channel) {
            EXPECT_FALSE(fs::exists(pcm(channel)));
            if (channel == 3 && !channel3Converted) {
                continue;
            }
            const std::string made = readFile(wav(channel));
            ASSERT_EQ(made.size(), 44 + bytes.size() / 8 * 2) << wav(channel);
            EXPECT_TRUE(made.compare(44, std::string::npos, channelBytes(bytes, channel)) == 0) << wav(channel);
        }
    }

    void expectFailedRun(const std::string& console, const std::string& message) {
        EXPECT_EQ(console, kBeginLine);
        EXPECT_TRUE(testRunEnd()->failed);
        EXPECT_NE(diagnostics().find(message), std::string::npos) << diagnostics();
    }
};

// Run after run in one folder: each shorter upload also shows that the files
// of the run before are replaced, not appended to.
TEST_F(AudioCapture, UploadsAreStoredSplitAndConvertedByteForByte) {
    const struct {
        std::size_t size;
        bool channel3;
    } uploads[] = {{8 * 12345, false}, {1280 * 50, true}, {8 * 1000 + 5, false}};
    for (const auto& shape : uploads) {
        SCOPED_TRACE(shape.size);
        testRunEnd() = std::make_shared<TestRunEnd>();
        writeFile(wav(3), "from an earlier run");
        const std::string bytes = uploadBytes(shape.size, static_cast<unsigned>(shape.size));
        expectStoredAndConverted(bytes, serveOneUpload(bytes, testWiring(nullptr, shape.channel3)), shape.channel3);
        EXPECT_EQ(readFile(wav(3)) == "from an earlier run", !shape.channel3);
    }
    const std::string said = diagnostics();
    EXPECT_NE(said.find("upload ended: received 98760 bytes (0:00.7 of audio)"), std::string::npos) << said;
    EXPECT_NE(said.find("split 12345 frames into record_ch1.pcm .. record_ch4.pcm in "), std::string::npos);
    EXPECT_NE(said.find("converted record_ch1.pcm to record_ch1.wav in "), std::string::npos);
    EXPECT_EQ(occurrences(said, "converted record_ch3.pcm"), 1);
    EXPECT_EQ(occurrences(said, "ends with 5 bytes outside any whole 8-byte frame, kept in record.pcm"), 1);
}

// An upload that ends before its first byte, with no retry in the time
// given, holds no recording: nothing is split or converted, no success is
// reported and the run fails; record.pcm stays, empty.
TEST_F(AudioCapture, AnUploadWithoutAByteIsNoRecording) {
    writeFile("record.pcm", "from an earlier run");
    expectFailedRun(serveOneUpload(""),
                    "the upload connection ended before its first byte; waiting up to 0:00.1 for the device to "
                    "connect again\nquorvane-capture: error: the device sent no audio: its upload connection ended "
                    "before the first byte and it did not connect again within 0:00.1; record.pcm is empty and no "
                    "channel or WAV files were made\n");
    EXPECT_TRUE(fs::exists("record.pcm"));
    EXPECT_EQ(readFile("record.pcm"), "");
    for (int channel = 1; channel <= 4; ++channel) {
        EXPECT_FALSE(fs::exists(pcm(channel)) || fs::exists(wav(channel))) << channel;
    }
    EXPECT_EQ(diagnostics().find("split "), std::string::npos) << diagnostics();
}

// The device's retry after connections without a byte is the upload; it
// may come as late as the retry limit allows.
TEST_F(AudioCapture, AfterConnectionsWithoutAByteTheRetryIsTheUpload) {
    for (const int emptyConnections : {1, 2}) {
        SCOPED_TRACE(emptyConnections);
        testRunEnd() = std::make_shared<TestRunEnd>();
        const std::string bytes = uploadBytes(8 * 700, 17 + emptyConnections);
        const std::string waiting = "ended before its first byte; waiting up to 0:30 for the device to connect again";
        const int waitedBefore = occurrences(diagnostics(), waiting);
        ::testing::internal::CaptureStdout();
        {
            test server(testWiring());
            ListeningServer listening(server);
            for (int empty = 1; empty <= emptyConnections; ++empty) {
                LoopbackClient(listening.port()).finish();
                EXPECT_TRUE(eventually([&] { return occurrences(diagnostics(), waiting) == waitedBefore + empty; }));
            }
            LoopbackClient device(listening.port());
            EXPECT_TRUE(device.send(bytes));
            device.finish();
            EXPECT_EQ(listening.join(), "");
            EXPECT_TRUE(runEnded());
        }
        const std::string console = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(occurrences(console, kBeginLine), emptyConnections + 1);
        expectStoredAndConverted(bytes, console.substr(kBeginLine.size() * emptyConnections));
    }
    EXPECT_EQ(diagnostics().find("sent no audio"), std::string::npos) << diagnostics();
}

TEST_F(AudioCapture, TheSerialLinkIsStoppedOnceBeforeTheUploadIsReceived) {
    static std::vector<bool> recordExistedAtStops;
    serveOneUpload(uploadBytes(80, 8), testWiring([] { recordExistedAtStops.push_back(fs::exists("record.pcm")); }));
    EXPECT_EQ(recordExistedAtStops, std::vector<bool>{false});
}

TEST_F(AudioCapture, OnlyTheFirstOfTwoClientsIsServedAndTheSecondIsRefused) {
    const std::string first = uploadBytes(8 * 300, 9);
    ::testing::internal::CaptureStdout();
    {
        test server(testWiring());
        ListeningServer listening(server);
        LoopbackClient device(listening.port());
        EXPECT_TRUE(device.send(first));
        EXPECT_EQ(listening.join(), "");
        EXPECT_TRUE(connectionRefused(listening.port()));
        device.finish();
        EXPECT_TRUE(runEnded());
    }
    expectStoredAndConverted(first, ::testing::internal::GetCapturedStdout());
}

TEST_F(AudioCapture, RecordPcmThatCannotBeCreatedStoresNothingAndFails) {
    fs::create_directory("record.pcm");
    ::testing::internal::CaptureStdout();
    {
        test server(testWiring());
        ListeningServer listening(server);
        LoopbackClient device(listening.port());
        EXPECT_TRUE(device.closedByServer());
        EXPECT_TRUE(runEnded());
    }
    expectFailedRun(::testing::internal::GetCapturedStdout(), "error: cannot create record.pcm: ");
    EXPECT_FALSE(fs::exists(pcm(1)));
}

TEST_F(AudioCapture, AChannelFileThatCannotBeCreatedKeepsRecordPcmAndFails) {
    fs::create_directory(pcm(2));
    const std::string bytes = uploadBytes(8 * 100, 12);
    expectFailedRun(serveOneUpload(bytes), "error: cannot create record_ch2.pcm: ");
    EXPECT_EQ(readFile("record.pcm"), bytes);
    EXPECT_FALSE(fs::exists(pcm(1)));
    EXPECT_FALSE(fs::exists(wav(1)));
}

TEST_F(AudioCapture, AFailingConverterKeepsOnlyItsChannelFileAndFails) {
    fs::create_directory(wav(2));
    const std::string bytes = uploadBytes(8 * 100, 13);
    expectFailedRun(serveOneUpload(bytes), "error: the converter failed on record_ch2.pcm");
    EXPECT_EQ(readFile(pcm(2)), channelBytes(bytes, 2));
    EXPECT_FALSE(fs::exists(pcm(1)) || fs::exists(pcm(4)));
    EXPECT_TRUE(fs::exists(wav(1)) && fs::exists(wav(4)));
}

TEST_F(AudioCapture, AConverterThatWritesNoWavKeepsEveryChannelFileAndFails) {
    fs::copy_file(fakeConverter(), fakeConverter().filename());
    const std::string bytes = uploadBytes(8 * 100, 14);
    expectFailedRun(serveOneUpload(bytes), "error: the converter made no complete record_ch1.wav");
    for (int channel : {1, 2, 4}) {
        EXPECT_EQ(readFile(pcm(channel)), channelBytes(bytes, channel));
    }
}

}  // namespace
