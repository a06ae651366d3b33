// The socket layer's POSIX choices: which accept errors belong to one
// incoming connection, which bind error says the port is taken, and the
// keep-alive the recording server sets on the connection it accepts.
#include <gtest/gtest.h>
#include <netinet/tcp.h>

#include <cerrno>

#include "loopback_client.h"
#include "net/socket_layer.h"
#include "upload/kestaro_socket.h"
#include "upload_fixture.h"

namespace {

TEST(SocketLayer, AcceptErrorsOfOneConnectionAreToldFromErrorsOfTheListener) {
    const struct {
        int code;
        bool oneConnection;
    } cases[] = {
        // What accept(2) on Linux says to treat like EAGAIN, and the reset
        // that SO_ERROR holds for a connection reset before it was accepted.
        {ECONNABORTED, true},
        {ECONNRESET, true},
        {EPROTO, true},
        {ENETDOWN, true},
        {ENOPROTOOPT, true},
        {EHOSTDOWN, true},
        {ENONET, true},
        {EHOSTUNREACH, true},
        {EOPNOTSUPP, true},
        {ENETUNREACH, true},
        // Errors of the listening socket or of the process.
        {EBADF, false},
        {EINVAL, false},
        {ENOTSOCK, false},
        {EMFILE, false},
        {ENFILE, false},
        {ENOBUFS, false},
        {ENOMEM, false},
        {EFAULT, false},
        {EAGAIN, false},
        {0, false},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.code);
        EXPECT_EQ(quorvane::net::failedBeforeAccept(entry.code), entry.oneConnection);
    }
}

TEST(SocketLayer, OnlyAnAddressInUseIsATakenPort) {
    EXPECT_TRUE(quorvane::net::isAddressTaken(EADDRINUSE));
    for (int other : {EACCES, EADDRNOTAVAIL, EINVAL, 0}) {
        SCOPED_TRACE(other);
        EXPECT_FALSE(quorvane::net::isAddressTaken(other));
    }
}

int intOption(quorvane::net::SocketHandle socket, int level, int option) {
    int value = -1;
    socklen_t length = sizeof value;
    EXPECT_EQ(getsockopt(socket, level, option, &value, &length), 0) << option;
    return value;
}

// Reads the keep-alive settings of the connection it is handed.
class KeepAliveReader : public KestaroSocket {
public:
    void onConnect(unsigned int socket) override {
        const auto handle = static_cast<quorvane::net::SocketHandle>(socket);
        enabled = intOption(handle, SOL_SOCKET, SO_KEEPALIVE);
        idleSeconds = intOption(handle, IPPROTO_TCP, TCP_KEEPIDLE);
        intervalSeconds = intOption(handle, IPPROTO_TCP, TCP_KEEPINTVL);
        probes = intOption(handle, IPPROTO_TCP, TCP_KEEPCNT);
        quorvane::net::closeSocket(handle);
    }
    int enabled = -1;
    int idleSeconds = -1;
    int intervalSeconds = -1;
    int probes = -1;
};

using AcceptedConnection = UploadTest;

TEST_F(AcceptedConnection, HasKeepAliveAfter10SecondsEvery5SecondsGivingUpAfter3Probes) {
    KeepAliveReader server;
    ListeningServer listening(server);
    LoopbackClient device(listening.port());
    EXPECT_EQ(listening.join(), "");
    EXPECT_EQ(server.enabled, 1);
    EXPECT_EQ(server.idleSeconds, 10);
    EXPECT_EQ(server.intervalSeconds, 5);
    EXPECT_EQ(server.probes, 3);
}

}  // namespace
