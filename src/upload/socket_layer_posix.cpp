#include "upload/socket_layer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace upload {

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

WaitOutcome waitReadable(SocketHandle socket, int timeoutMs, int& error) {
    pollfd watched{socket, POLLIN, 0};
    const int ready = poll(&watched, 1, timeoutMs);
    if (ready == -1 && errno == EINTR) {
        return WaitOutcome::TimedOut;
    }
    if (ready == -1) {
        error = errno;
        return WaitOutcome::Failed;
    }
    return ready == 0 ? WaitOutcome::TimedOut : WaitOutcome::Readable;
}

}  // namespace upload
