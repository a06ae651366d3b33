#include "upload/kestaro_socket.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/diagnostics.h"
#include "upload/socket_layer.h"
#include "upload/thread_pool.h"
#include "upload/upload_control.h"

namespace {

constexpr int kBacklog = 5;
constexpr unsigned int kWorkerCount = 4;

std::runtime_error acceptFailure(int error) {
    return std::runtime_error("accept failed with error code : " + std::to_string(error));
}

unsigned short boundPort(upload::SocketHandle socket) {
    sockaddr_in bound{};
    upload::SocketLength length = sizeof bound;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        return 0;
    }
    return ntohs(bound.sin_port);
}

std::string addressText(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &address, text, sizeof text) != nullptr ? text : "an unknown address";
}

}  // namespace

KestaroSocket::KestaroSocket() : listenSocket(upload::kInvalidSocket) {
    const int startError = upload::startSockets();
    if (startError != 0) {
        throw std::runtime_error("Failed. Error Code : " + std::to_string(startError));
    }
    listenSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listenSocket == upload::kInvalidSocket) {
        throw std::runtime_error("Failed to create socket");
    }
    const int reserveError = upload::reserveListeningAddress(listenSocket);
    if (reserveError != 0) {
        platform::diagnose("warning: could not reserve the upload port for this program: %s\n",
                         upload::socketErrorText(reserveError).c_str());
    }
}

KestaroSocket::~KestaroSocket() {
    upload::closeSocket(listenSocket);
}

void KestaroSocket::Listen(int port) {
    serverAddress.sin_family = AF_INET;
    serverAddress.sin_addr.s_addr = htonl(INADDR_ANY);
    serverAddress.sin_port = htons(static_cast<unsigned short>(port));
    if (::bind(listenSocket, reinterpret_cast<const sockaddr*>(&serverAddress), sizeof serverAddress) != 0) {
        const int error = upload::lastSocketError();
        throw std::runtime_error("Failed to bind socket" + std::to_string(error));
    }
    ::listen(listenSocket, kBacklog);
    listeningPort = boundPort(listenSocket);
    // Waiting happens before accept, in slices that notice an interruption;
    // a non-blocking accept cannot hang when a connection that was announced
    // has gone again (it was reset) by the time accept runs.
    upload::setNonBlocking(listenSocket, true);

    upload::UploadWorkClaim handOver;
    ThreadPool pool(kWorkerCount);
    const upload::SocketHandle accepted = acceptDevice();
    if (accepted == upload::kInvalidSocket) {
        return;
    }
    handOver.begin();
    pool.enqueue([this, accepted] { onConnect(static_cast<unsigned int>(accepted)); });
}

// Waits until a connection is announced, saying the hint once when it is due;
// false when the upload was interrupted instead.
bool KestaroSocket::waitForConnection(std::chrono::steady_clock::time_point waitBegan, bool& hintPending) {
    for (;;) {
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - waitBegan);
        const auto limit =
            hintPending ? std::max(hintDelay - waited, std::chrono::milliseconds(0)) : upload::kNoTimeLimit;
        int error = 0;
        switch (upload::waitForSocket(listenSocket, limit, error)) {
            case upload::SocketEvent::Interrupted:
                return false;
            case upload::SocketEvent::Failed:
                throw acceptFailure(error);
            case upload::SocketEvent::Readable:
                return true;
            case upload::SocketEvent::TimedOut:
                platform::diagnose("%s\n", hintMessage.c_str());
                hintPending = false;
                break;
        }
    }
}

// The device's connection, or kInvalidSocket when the upload was interrupted.
upload::SocketHandle KestaroSocket::acceptDevice() {
    const auto waitBegan = std::chrono::steady_clock::now();
    bool hintPending = hintDelay.count() >= 0;
    while (waitForConnection(waitBegan, hintPending)) {
        upload::SocketLength length = sizeof clientAddress;
        const upload::SocketHandle accepted =
            ::accept(listenSocket, reinterpret_cast<sockaddr*>(&clientAddress), &length);
        if (accepted == upload::kInvalidSocket) {
            const int error = upload::lastSocketError();
            if (upload::isWouldBlock(error)) {
                continue;
            }
            throw acceptFailure(error);
        }
        if (servesPeer()) {
            upload::setNonBlocking(accepted, false);
            return accepted;
        }
        platform::diagnose("refused an upload connection from %s: only the device at %s may upload\n",
                         addressText(clientAddress.sin_addr).c_str(), addressText(expectedPeer).c_str());
        upload::closeSocket(accepted);
    }
    return upload::kInvalidSocket;
}

bool KestaroSocket::servesPeer() const {
    return !peerExpected || clientAddress.sin_addr.s_addr == expectedPeer.s_addr;
}

bool KestaroSocket::expectPeer(const std::string& ipv4Address) {
    peerExpected = inet_pton(AF_INET, ipv4Address.c_str(), &expectedPeer) == 1;
    if (!peerExpected) {
        platform::diagnose(
            "warning: the device's address \"%s\" is no IPv4 address; the first connection "
            "on the upload port will be taken as the device's\n",
            ipv4Address.c_str());
    }
    return peerExpected;
}

void KestaroSocket::setNoConnectionHint(std::chrono::milliseconds delay, const std::string& message) {
    hintDelay = delay;
    hintMessage = message;
}

unsigned short KestaroSocket::localPort() const {
    return listeningPort;
}
