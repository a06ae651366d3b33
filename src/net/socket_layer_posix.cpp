#include "net/socket_layer.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvane::net {

int startSockets() {
    return 0;
}

void stopSockets() {}

int lastSocketError() {
    return errno;
}

std::string socketErrorText(int code) {
    return std::strerror(code);
}

bool isWouldBlock(int code) {
    return code == EAGAIN || code == EWOULDBLOCK;
}

// accept(2) on Linux passes on network errors of the new connection, and
// asks callers to treat them like EAGAIN; ECONNRESET is what SO_ERROR holds
// for a connection that was reset while it waited to be accepted.
bool failedBeforeAccept(int code) {
    switch (code) {
        case ECONNABORTED:
        case ECONNRESET:
        case EPROTO:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
            return true;
        default:
            return false;
    }
}

bool isAddressTaken(int code) {
    return code == EADDRINUSE;
}

int pendingError(SocketHandle socket) {
    int error = 0;
    socklen_t length = sizeof error;
    return getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 ? error : errno;
}

namespace {

int setInt(SocketHandle socket, int level, int option, int value) {
    return setsockopt(socket, level, option, &value, sizeof value) == 0 ? 0 : errno;
}

}  // namespace

int enableKeepAlive(SocketHandle socket, const KeepAlive& keepAlive) {
    int error = setInt(socket, SOL_SOCKET, SO_KEEPALIVE, 1);
    if (error == 0) {
        error = setInt(socket, IPPROTO_TCP, TCP_KEEPIDLE, static_cast<int>(keepAlive.idle.count()));
    }
    if (error == 0) {
        error = setInt(socket, IPPROTO_TCP, TCP_KEEPINTVL, static_cast<int>(keepAlive.interval.count()));
    }
    if (error == 0) {
        error = setInt(socket, IPPROTO_TCP, TCP_KEEPCNT, keepAlive.probes);
    }
    return error;
}

void closeSocket(SocketHandle socket) {
    ::close(socket);
}

int reserveListeningAddress(SocketHandle socket) {
    const int on = 1;
    return setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 ? 0 : errno;
}

int setNonBlocking(SocketHandle socket, bool nonBlocking) {
    const int flags = fcntl(socket, F_GETFL);
    if (flags == -1) {
        return errno;
    }
    const int wanted = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(socket, F_SETFL, wanted) == 0 ? 0 : errno;
}

long pendingBytes(SocketHandle socket) {
    int count = 0;
    return ioctl(socket, FIONREAD, &count) == 0 ? count : -1;
}

WaitOutcome waitReadable(SocketHandle socket, std::chrono::milliseconds timeout, int& error) {
    pollfd watched{socket, POLLIN, 0};
    const int ready = poll(&watched, 1, static_cast<int>(timeout.count()));
    if (ready == -1 && errno == EINTR) {
        return WaitOutcome::TimedOut;
    }
    if (ready == -1) {
        error = errno;
        return WaitOutcome::Failed;
    }
    return ready == 0 ? WaitOutcome::TimedOut : WaitOutcome::Readable;
}

}  // namespace quorvane::net
