// The real upload port. These tests hold CTest's tcp8888 lock.
#include <gtest/gtest.h>

#include <string>

#include "loopback_client.h"
#include "net/socket_layer.h"
#include "upload/audio_capture.h"
#include "upload/kestaro_socket.h"
#include "upload_fixture.h"

namespace {

constexpr int kUploadPort = 8888;

// Closes every connection from its own side first, which leaves the
// connection in TIME_WAIT on the server's port.
class ClosingServer : public KestaroSocket {
public:
    void onConnect(unsigned int socket) override {
        quorvane::net::closeSocket(static_cast<quorvane::net::SocketHandle>(socket));
    }
};

using UploadPort = UploadTest;

TEST_F(UploadPort, TheRecordingServerTakesAnUploadOn8888AtEveryLocalAddress) {
    const std::string bytes = uploadBytes(8 * 4000, 31);
    test server(testWiring());
    ListeningServer listening(server, kUploadPort);
    ASSERT_EQ(listening.port(), kUploadPort) << listening.join();
    ::testing::internal::CaptureStdout();
    LoopbackClient device(kUploadPort, "127.0.0.1", "127.0.0.2");
    EXPECT_TRUE(device.send(bytes));
    device.finish();
    EXPECT_EQ(listening.join(), "");
    EXPECT_TRUE(runEnded());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kStoredUploadOutput);
    EXPECT_EQ(readFile("record.pcm"), bytes);
}

TEST_F(UploadPort, ANewRunBindsWhileTheLastConnectionWaitsInTimeWait) {
    {
        ClosingServer first;
        ListeningServer listening(first, kUploadPort);
        ASSERT_EQ(listening.port(), kUploadPort) << listening.join();
        LoopbackClient device(kUploadPort);
        EXPECT_TRUE(device.closedByServer());
        device.finish();
        EXPECT_EQ(listening.join(), "");
    }
    ClosingServer second;
    ListeningServer listening(second, kUploadPort);
    ASSERT_EQ(listening.port(), kUploadPort) << listening.join();
    LoopbackClient device(kUploadPort);
    EXPECT_EQ(listening.join(), "");
}

}  // namespace
