#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "device_emulator/timing.h"

namespace quorvane::emulator {

enum class SendStatus { Sent, Blocked, PeerClosed };

struct SendResult {
    std::size_t bytes = 0;
    SendStatus status = SendStatus::Sent;
};

struct ConnectAttempt;

// One outgoing TCP connection, non-blocking once connected, closed (with a
// FIN) when destroyed unless it was reset.
class TcpConnection {
public:
    // Connects to address:port, from fromAddress when it is not empty.
    static ConnectAttempt connect(const std::string& address, std::uint16_t port, const std::string& fromAddress,
                                  Milliseconds timeout);

    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    SendResult send(const char* data, std::size_t size);
    void waitWritable(Milliseconds limit);

    // Waits until the peer's TCP has acknowledged everything sent, so that a
    // test that acts on "sent N bytes" finds those bytes at the host.
    void waitUntilAcknowledged(Milliseconds limit);

    // Closes with SO_LINGER 0: the peer gets a reset instead of a FIN.
    void reset();

    // True once the peer has closed or reset its end; what it sent is left
    // unread.
    bool peerHasClosed() const;

    // Discards what the peer sends and returns true once it has closed.
    bool waitForPeerClose(Milliseconds limit);

    std::string localAddress() const;

private:
    explicit TcpConnection(int fd);

    int fd_;
};

struct ConnectAttempt {
    std::unique_ptr<TcpConnection> connection;
    bool refused = false;
    std::string error;
};

}  // namespace quorvane::emulator
