#pragma once

#include <string>

#include "net/socket_platform.h"

// A stand-in for the device: a TCP client that only ever talks to loopback
// addresses (127.0.0.0/8); 127.0.0.2 plays a stranger on the network.
class LoopbackClient {
public:
    explicit LoopbackClient(unsigned short port, const char* sourceAddress = "127.0.0.1",
                            const char* serverAddress = "127.0.0.1");
    ~LoopbackClient();

    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool connected() const { return handle != quorvane::net::kInvalidSocket; }

    // Sends every byte; false when the server has gone.
    bool send(const std::string& bytes);

    // Orderly close, as the device does at the end of its upload.
    void finish();

    // Abortive close (TCP reset), as some device stacks do instead.
    void reset();

    // Waits (at most 30 s) until the server closes its end; true when it did.
    bool closedByServer();

private:
    quorvane::net::SocketHandle handle = quorvane::net::kInvalidSocket;
};

// True when a connection to `port` on 127.0.0.1 is refused: nothing listens
// there.
bool connectionRefused(unsigned short port);

// `count` bytes of deterministic noise, different for every `seed`.
std::string uploadBytes(std::size_t count, unsigned seed = 1);

// Bytes 2(channel-1) and 2(channel-1)+1 of every whole 8-byte frame.
std::string channelBytes(const std::string& upload, int channel);
