#include "device_emulator/tcp_client.h"

#include <cerrno>
#include <cstring>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvane::emulator {

namespace {

constexpr Milliseconds kPollStep{10};

sockaddr_in socketAddress(const std::string& address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &result.sin_addr);
    return result;
}

bool waitFor(int fd, short events, Milliseconds limit) {
    pollfd entry{fd, events, 0};
    return poll(&entry, 1, static_cast<int>(limit.count())) == 1;
}

ConnectAttempt failure(int fd, const std::string& what, int error) {
    close(fd);
    ConnectAttempt attempt;
    attempt.refused = error == ECONNREFUSED;
    attempt.error = what + ": " + std::strerror(error);
    return attempt;
}

int pendingConnectError(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    return error;
}

}  // namespace

ConnectAttempt TcpConnection::connect(const std::string& address, std::uint16_t port, const std::string& fromAddress,
                                      Milliseconds timeout) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return failure(fd, "cannot create a socket", errno);
    }
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    if (!fromAddress.empty()) {
        const sockaddr_in local = socketAddress(fromAddress, 0);
        if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            return failure(fd, "cannot bind to " + fromAddress, errno);
        }
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const sockaddr_in remote = socketAddress(address, port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
        if (errno != EINPROGRESS) {
            return failure(fd, "cannot connect", errno);
        }
        if (!waitFor(fd, POLLOUT, timeout)) {
            return failure(fd, "cannot connect", ETIMEDOUT);
        }
        if (const int error = pendingConnectError(fd)) {
            return failure(fd, "cannot connect", error);
        }
    }
    ConnectAttempt attempt;
    attempt.connection.reset(new TcpConnection(fd));
    return attempt;
}

TcpConnection::TcpConnection(int fd) : fd_(fd) {}

TcpConnection::~TcpConnection() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

SendResult TcpConnection::send(const char* data, std::size_t size) {
    const ssize_t count = ::send(fd_, data, size, 0);
    if (count >= 0) {
        return {static_cast<std::size_t>(count), SendStatus::Sent};
    }
    const bool blocked = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    return {0, blocked ? SendStatus::Blocked : SendStatus::PeerClosed};
}

void TcpConnection::waitWritable(Milliseconds limit) {
    waitFor(fd_, POLLOUT, limit);
}

void TcpConnection::waitUntilAcknowledged(Milliseconds limit) {
    const Clock::time_point end = Clock::now() + limit;
    int unacknowledged = 0;
    while (ioctl(fd_, TIOCOUTQ, &unacknowledged) == 0 && unacknowledged > 0 && Clock::now() < end) {
        std::this_thread::sleep_for(kPollStep);
    }
}

void TcpConnection::reset() {
    const linger abortive{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    close(fd_);
    fd_ = -1;
}

bool TcpConnection::peerHasClosed() const {
    if (!waitFor(fd_, POLLIN, Milliseconds(0))) {
        return false;
    }
    char next = 0;
    const ssize_t count = recv(fd_, &next, 1, MSG_PEEK | MSG_DONTWAIT);
    return count == 0 || (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

bool TcpConnection::waitForPeerClose(Milliseconds limit) {
    const Clock::time_point end = Clock::now() + limit;
    char discard[4096];
    for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
        if (!waitFor(fd_, POLLIN, timeUntil(end, now))) {
            continue;
        }
        const ssize_t count = recv(fd_, discard, sizeof discard, 0);
        if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR)) {
            return true;
        }
    }
    return false;
}

std::string TcpConnection::localAddress() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    char text[INET_ADDRSTRLEN] = "?";
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    }
    return std::string(text) + ":" + std::to_string(ntohs(local.sin_port));
}

}  // namespace quorvane::emulator
