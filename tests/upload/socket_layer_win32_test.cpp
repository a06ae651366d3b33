// The socket layer's Windows choices: which accept errors belong to one
// incoming connection, which bind errors say the port is taken, and the
// keep-alive the recording server sets on the connection it accepts.
#include <gtest/gtest.h>

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
        // The connection was reset, aborted or timed out before accept
        // returned it (Wine: WSAENOTCONN for a reset one).
        {WSAECONNRESET, true},
        {WSAECONNABORTED, true},
        {WSAENOTCONN, true},
        {WSAENETRESET, true},
        {WSAETIMEDOUT, true},
        {WSAEHOSTUNREACH, true},
        {WSAENETUNREACH, true},
        {WSAEHOSTDOWN, true},
        // Errors of the listening socket, of Windows Sockets or of the
        // process: the network subsystem failing, a socket that is no
        // listener, no buffers or handles left.
        {WSAENETDOWN, false},
        {WSANOTINITIALISED, false},
        {WSAEINVAL, false},
        {WSAENOTSOCK, false},
        {WSAEOPNOTSUPP, false},
        {WSAEMFILE, false},
        {WSAENOBUFS, false},
        {WSAEFAULT, false},
        {WSAEWOULDBLOCK, false},
        {0, false},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.code);
        EXPECT_EQ(quorvane::net::failedBeforeAccept(entry.code), entry.oneConnection);
    }
}

TEST(SocketLayer, AnAddressInUseOrHeldExclusivelyIsATakenPort) {
    EXPECT_TRUE(quorvane::net::isAddressTaken(WSAEADDRINUSE));
    EXPECT_TRUE(quorvane::net::isAddressTaken(WSAEACCES));
    for (int other : {WSAEADDRNOTAVAIL, WSAEINVAL, 0}) {
        SCOPED_TRACE(other);
        EXPECT_FALSE(quorvane::net::isAddressTaken(other));
    }
}

// Windows has no way to read the keep-alive times back (they are set with
// SIO_KEEPALIVE_VALS), and Wine knows no TCP_KEEPIDLE either: only that
// keep-alive is on can be seen.
class KeepAliveReader : public KestaroSocket {
public:
    void onConnect(unsigned int socket) override {
        const auto handle = static_cast<quorvane::net::SocketHandle>(socket);
        BOOL on = FALSE;
        int length = sizeof on;
        readable = getsockopt(handle, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&on), &length) == 0;
        enabled = on != FALSE;
        quorvane::net::closeSocket(handle);
    }
    bool readable = false;
    bool enabled = false;
};

using AcceptedConnection = UploadTest;

TEST_F(AcceptedConnection, HasKeepAlive) {
    KeepAliveReader server;
    ListeningServer listening(server);
    LoopbackClient device(listening.port());
    EXPECT_EQ(listening.join(), "");
    EXPECT_TRUE(server.readable);
    EXPECT_TRUE(server.enabled);
}

}  // namespace
