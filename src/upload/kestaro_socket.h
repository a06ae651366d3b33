#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "upload/socket_platform.h"

// The TCP server the device uploads its recording to: Listen binds a port on
// every local IPv4 interface, accepts one connection and hands it to
// onConnect on a worker thread, then returns once onConnect has returned.
// Set-up and accept failures are thrown as std::runtime_error.
class KestaroSocket {
public:
    KestaroSocket();

    KestaroSocket(const KestaroSocket&) = delete;
    KestaroSocket& operator=(const KestaroSocket&) = delete;

    void Listen(int port);

    // Takes ownership of the connected socket.
    virtual void onConnect(unsigned int socket) = 0;

    // Serve only a connection from this IPv4 address (the device's, as it
    // reported it); any other peer is closed at once, reported on standard
    // error, and Listen goes on waiting. False, with a message, when the text
    // is no IPv4 address; the first connection is then served as before.
    bool expectPeer(const std::string& ipv4Address);

    // Print `message` once on standard error when no connection has been
    // accepted `delay` after Listen began to wait; Listen goes on waiting.
    void setNoConnectionHint(std::chrono::milliseconds delay, const std::string& message);

    // The port Listen accepts connections on, 0 until it listens; callable
    // from any thread.
    unsigned short localPort() const;

protected:
    // Only the owner of the concrete server destroys it, never through this
    // base, so the destructor need not be virtual.
    ~KestaroSocket();

private:
    bool waitForConnection(std::chrono::steady_clock::time_point waitBegan, bool& hintPending);
    upload::SocketHandle acceptDevice();
    bool servesPeer() const;

    upload::SocketHandle listenSocket;
    sockaddr_in serverAddress{};
    sockaddr_in clientAddress{};

    bool peerExpected = false;
    in_addr expectedPeer{};
    std::chrono::milliseconds hintDelay{-1};
    std::string hintMessage;
    std::atomic<unsigned short> listeningPort{0};
};
