#include "loopback_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "net/socket_layer.h"

namespace {

// A server that hung up must fail the send, not end the test process.
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

sockaddr_in loopbackAddress(const char* text, unsigned short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (std::strncmp(text, "127.", 4) != 0 || inet_pton(AF_INET, text, &address.sin_addr) != 1) {
        throw std::invalid_argument(std::string("not a loopback address: ") + text);
    }
    return address;
}

}  // namespace

LoopbackClient::LoopbackClient(unsigned short port, const char* sourceAddress, const char* serverAddress) {
    quorvane::net::startSockets();
    handle = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in source = loopbackAddress(sourceAddress, 0);
    const sockaddr_in server = loopbackAddress(serverAddress, port);
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0 ||
        ::connect(handle, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        ADD_FAILURE() << "cannot connect from " << sourceAddress << " to " << serverAddress << ":" << port << ": "
                      << quorvane::net::socketErrorText(quorvane::net::lastSocketError());
        quorvane::net::closeSocket(handle);
        handle = quorvane::net::kInvalidSocket;
    }
}

LoopbackClient::~LoopbackClient() {
    if (connected()) {
        quorvane::net::closeSocket(handle);
    }
}

bool LoopbackClient::send(const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const int count =
            static_cast<int>(::send(handle, bytes.data() + sent, static_cast<int>(bytes.size() - sent), kSendFlags));
        if (count <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

void LoopbackClient::finish() {
    quorvane::net::closeSocket(handle);
    handle = quorvane::net::kInvalidSocket;
}

void LoopbackClient::reset() {
    linger abortive{};
    abortive.l_onoff = 1;
    abortive.l_linger = 0;
    setsockopt(handle, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
    finish();
}

bool LoopbackClient::closedByServer() {
    int error = 0;
    if (quorvane::net::waitReadable(handle, std::chrono::seconds(30), error) != quorvane::net::WaitOutcome::Readable) {
        return false;
    }
    char byte = 0;
    return ::recv(handle, &byte, 1, 0) <= 0;
}

bool connectionRefused(unsigned short port) {
    quorvane::net::startSockets();
    const quorvane::net::SocketHandle probe = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in server = loopbackAddress("127.0.0.1", port);
    const bool refused = ::connect(probe, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0;
    quorvane::net::closeSocket(probe);
    return refused;
}

std::string uploadBytes(std::size_t count, unsigned seed) {
    std::string bytes(count, '\0');
    std::uint32_t state = 2463534242u ^ seed;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::string channelBytes(const std::string& upload, int channel) {
    std::string samples;
    for (std::size_t frame = 0; frame + 8 <= upload.size(); frame += 8) {
        samples.append(upload, frame + 2 * static_cast<std::size_t>(channel - 1), 2);
    }
    return samples;
}
