#include "upload/kestaro_socket.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

#include "net/socket_layer.h"
#include "platform/diagnostics.h"
#include "recording/record_time.h"
#include "upload/upload_control.h"

namespace {

constexpr int kBacklog = 5;
// A device that loses its power or its Wi-Fi mid-upload sends neither FIN nor
// RST; with keep-alive the system finds such a connection dead within
// 10 s + 3 x 5 s of silence.
const quorvane::net::KeepAlive kKeepAlive{std::chrono::seconds(10), std::chrono::seconds(5), 3};

std::runtime_error acceptFailure(int error) {
    return std::runtime_error("accept failed with error code : " + std::to_string(error));
}

unsigned short boundPort(quorvane::net::SocketHandle socket) {
    sockaddr_in bound{};
    quorvane::net::SocketLength length = sizeof bound;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        return 0;
    }
    return ntohs(bound.sin_port);
}

std::string addressText(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &address, text, sizeof text) != nullptr ? text : "an unknown address";
}

void prepareUploadConnection(quorvane::net::SocketHandle accepted) {
    quorvane::net::setNonBlocking(accepted, false);
    const int error = quorvane::net::enableKeepAlive(accepted, kKeepAlive);
    if (error != 0) {
        quorvane::platform::diagnose(
            "warning: cannot turn on TCP keep-alive for the upload connection (%s, code %d); a device that goes "
            "dark is noticed only when the upload has been silent too long\n",
            quorvane::net::socketErrorText(error).c_str(), error);
    }
}

// What the wait for the device's connection says on standard error: the
// countdown of the recording, when there is one, and the hint once it is due.
// The countdown's line is taken off a terminal before anything else is said
// and when the wait ends.
class WaitNotices {
public:
    WaitNotices(std::chrono::milliseconds hintDelay, const std::string& hint,
                std::optional<quorvane::upload::RecordingCountdown>& countdown)
        : began_(std::chrono::steady_clock::now()),
          hintDelay_(hintDelay),
          hint_(hint),
          hintPending_(hintDelay.count() >= 0),
          countdown_(countdown) {}

    WaitNotices(const WaitNotices&) = delete;
    WaitNotices& operator=(const WaitNotices&) = delete;

    ~WaitNotices() { clearLine(); }

    // Says what is due by now; how long the wait may go on before more is
    // due (kNoTimeLimit: nothing more is).
    std::chrono::milliseconds showDue() {
        const auto untilHint = showHintWhenDue();
        if (!countdown_) {
            return untilHint;
        }
        const auto untilRedraw = std::chrono::ceil<std::chrono::milliseconds>(countdown_->update());
        return untilHint == quorvane::upload::kNoTimeLimit ? untilRedraw : std::min(untilHint, untilRedraw);
    }

    void clearLine() {
        if (countdown_) {
            countdown_->clear();
        }
    }

private:
    // Says the hint once it is due; how long until it is (kNoTimeLimit once
    // it has been said, or when there is none).
    std::chrono::milliseconds showHintWhenDue() {
        if (!hintPending_) {
            return quorvane::upload::kNoTimeLimit;
        }
        const auto left = hintDelay_ - std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - began_);
        if (left.count() > 0) {
            return left;
        }
        clearLine();
        quorvane::platform::diagnose("%s\n", hint_.c_str());
        hintPending_ = false;
        return quorvane::upload::kNoTimeLimit;
    }

    std::chrono::steady_clock::time_point began_;
    std::chrono::milliseconds hintDelay_;
    const std::string& hint_;
    bool hintPending_;
    std::optional<quorvane::upload::RecordingCountdown>& countdown_;
};

// Listen serves its port once: when it returns (or throws) the port is
// closed, so that a later connection is refused rather than left unread,
// while the server itself may live on until the upload it handed over ends.
class PortClosing {
public:
    explicit PortClosing(quorvane::net::SocketHandle& listenSocket) : listenSocket_(listenSocket) {}
    ~PortClosing() {
        quorvane::net::closeSocket(listenSocket_);
        listenSocket_ = quorvane::net::kInvalidSocket;
    }
    PortClosing(const PortClosing&) = delete;
    PortClosing& operator=(const PortClosing&) = delete;

private:
    quorvane::net::SocketHandle& listenSocket_;
};

enum class Arrival { Connection, Interrupted, NoRetry, NoUpload };

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// The wait until the next notice, cut short at the deadline (0 once it has
// passed: a connection that waits is still looked for).
std::chrono::milliseconds untilNext(std::chrono::milliseconds untilNotice, const Deadline& deadline) {
    if (!deadline) {
        return untilNotice;
    }
    const auto left =
        std::max(std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now()),
                 std::chrono::milliseconds::zero());
    return untilNotice == quorvane::upload::kNoTimeLimit ? left : std::min(untilNotice, left);
}

// Waits until a connection is announced, saying what is due meanwhile;
// Interrupted when the upload was interrupted instead, NoRetry when the
// deadline for a retry has passed.
Arrival waitForConnection(const quorvane::upload::UploadState& upload, quorvane::net::SocketHandle listenSocket,
                          quorvane::upload::RoutedConnections* routed, WaitNotices& notices,
                          const Deadline& retryDeadline, const Deadline& uploadDeadline) {
    for (;;) {
        int error = 0;
        const auto limit = untilNext(untilNext(notices.showDue(), retryDeadline), uploadDeadline);
        switch (routed != nullptr ? routed->wait(upload, limit)
                                  : quorvane::upload::waitForSocket(upload, listenSocket, limit, error)) {
            case quorvane::upload::SocketEvent::Interrupted:
                return Arrival::Interrupted;
            case quorvane::upload::SocketEvent::Failed:
                throw acceptFailure(error);
            case quorvane::upload::SocketEvent::Readable:
                return Arrival::Connection;
            case quorvane::upload::SocketEvent::TimedOut:
                if (retryDeadline && std::chrono::steady_clock::now() >= *retryDeadline) {
                    return Arrival::NoRetry;
                }
                if (uploadDeadline && std::chrono::steady_clock::now() >= *uploadDeadline) {
                    return Arrival::NoUpload;
                }
                break;
        }
    }
}

}  // namespace

namespace quorvane::upload {

std::string bindFailureText(int error) {
    return "Failed to bind socket" + std::to_string(error);
}

}  // namespace quorvane::upload

KestaroSocket::KestaroSocket(std::shared_ptr<quorvane::upload::UploadState> upload)
    : upload_(upload ? std::move(upload) : std::make_shared<quorvane::upload::UploadState>()),
      listenSocket_(quorvane::net::kInvalidSocket),
      retryLimit_(quorvane::upload::kDeviceSilenceLimit) {
    const int startError = quorvane::net::startSockets();
    if (startError != 0) {
        throw std::runtime_error("Failed. Error Code : " + std::to_string(startError));
    }
    listenSocket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listenSocket_ == quorvane::net::kInvalidSocket) {
        throw std::runtime_error("Failed to create socket");
    }
    const int reserveError = quorvane::net::reserveListeningAddress(listenSocket_);
    if (reserveError != 0) {
        quorvane::platform::diagnose("warning: could not reserve the upload port for this program: %s\n",
                                     quorvane::net::socketErrorText(reserveError).c_str());
    }
}

KestaroSocket::~KestaroSocket() {
    if (listenSocket_ != quorvane::net::kInvalidSocket) {
        quorvane::net::closeSocket(listenSocket_);
    }
}

int KestaroSocket::bindPort(int port) {
    serverAddress_.sin_family = AF_INET;
    serverAddress_.sin_addr.s_addr = htonl(INADDR_ANY);
    serverAddress_.sin_port = htons(static_cast<unsigned short>(port));
    if (::bind(listenSocket_, reinterpret_cast<const sockaddr*>(&serverAddress_), sizeof serverAddress_) != 0) {
        return quorvane::net::lastSocketError();
    }
    return 0;
}

// Linux lets a second socket with SO_REUSEADDR bind a port that is bound but
// not listening, so only a listening socket holds the port; and when two
// programs bind at the same moment, the listen of the second one fails.
int KestaroSocket::claimPort(int port) {
    int error = bindPort(port);
    if (error == 0 && ::listen(listenSocket_, kBacklog) != 0) {
        error = quorvane::net::lastSocketError();
    }
    if (error == 0) {
        portClaimed_ = true;
        listeningPort_ = boundPort(listenSocket_);
    }
    return error;
}

void KestaroSocket::takeConnectionsFrom(std::shared_ptr<quorvane::upload::RoutedConnections> connections) {
    routed_ = std::move(connections);
}

void KestaroSocket::Listen(int port) {
    if (!portClaimed_ && !routed_) {
        const int error = bindPort(port);
        if (error != 0) {
            throw std::runtime_error(quorvane::upload::bindFailureText(error));
        }
        ::listen(listenSocket_, kBacklog);
        listeningPort_ = boundPort(listenSocket_);
    }
    // Waiting happens before accept, in slices that notice an interruption;
    // a non-blocking accept cannot hang when a connection that was announced
    // has gone again (it was reset) by the time accept runs.
    quorvane::net::setNonBlocking(listenSocket_, true);

    waitBegan_ = std::chrono::steady_clock::now();
    const PortClosing closing(listenSocket_);
    while (serveNext()) {
    }
}

// Accepts the device's connection and hands it over; true when it delivered
// nothing and Listen is to wait for the device to connect again.
bool KestaroSocket::serveNext() {
    quorvane::upload::UploadWorkClaim handOver(*upload_);
    const quorvane::net::SocketHandle accepted = acceptDevice();
    if (accepted == quorvane::net::kInvalidSocket) {
        return false;
    }
    if (!handOver.begin()) {
        quorvane::platform::diagnose(
            "the run had already ended when the upload connection came; it was closed unread\n");
        quorvane::net::closeSocket(accepted);
        return false;
    }
    retryWanted_ = false;
    onConnect(static_cast<unsigned int>(accepted));
    if (!retryWanted_) {
        return false;
    }
    handedOverEmpty_ = true;
    awaitRetry("the upload connection ended before its first byte");
    return true;
}

// The device's connection, or kInvalidSocket when the upload was interrupted
// or no retry came (onNoRetry has been called then).
quorvane::net::SocketHandle KestaroSocket::acceptDevice() {
    WaitNotices notices(hintDelay_, hintMessage_, countdown_);
    for (;;) {
        const Arrival arrival =
            waitForConnection(*upload_, listenSocket_, routed_.get(), notices, retryDeadline_, uploadDeadline());
        notices.clearLine();
        if (arrival == Arrival::Interrupted) {
            return quorvane::net::kInvalidSocket;
        }
        if (arrival == Arrival::NoRetry) {
            onNoRetry(handedOverEmpty_);
            return quorvane::net::kInvalidSocket;
        }
        if (arrival == Arrival::NoUpload) {
            onNoUpload();
            return quorvane::net::kInvalidSocket;
        }
        const quorvane::net::SocketHandle accepted = acceptOne();
        if (accepted == quorvane::net::kInvalidSocket) {
            continue;
        }
        if (servesPeer()) {
            sayWhenNotFromTheDevice();
            prepareUploadConnection(accepted);
            return accepted;
        }
        quorvane::platform::diagnose("refused an upload connection from %s: only the device at %s may upload\n",
                                     addressText(clientAddress_.sin_addr).c_str(), addressText(expectedPeer_).c_str());
        quorvane::net::closeSocket(accepted);
    }
}

// The next connection, or kInvalidSocket when there is none after all or it
// failed before it could be accepted (said here: Windows fails accept for a
// connection reset while it waited, POSIX accepts it with the reset pending).
// An error of the listening socket itself is thrown.
quorvane::net::SocketHandle KestaroSocket::acceptOne() {
    if (routed_) {
        const auto connection = routed_->take();
        if (!connection) {
            return quorvane::net::kInvalidSocket;
        }
        clientAddress_ = connection->peer;
        return connection->socket;
    }
    quorvane::net::SocketLength length = sizeof clientAddress_;
    const quorvane::net::SocketHandle accepted =
        ::accept(listenSocket_, reinterpret_cast<sockaddr*>(&clientAddress_), &length);
    const bool acceptFailed = accepted == quorvane::net::kInvalidSocket;
    const int error = acceptFailed ? quorvane::net::lastSocketError() : quorvane::net::pendingError(accepted);
    if (error == 0) {
        return accepted;
    }
    if (acceptFailed && quorvane::net::isWouldBlock(error)) {
        return quorvane::net::kInvalidSocket;
    }
    if (acceptFailed && !quorvane::net::failedBeforeAccept(error)) {
        throw acceptFailure(error);
    }
    const std::string what = "an upload connection failed before it could be accepted (" +
                             quorvane::net::socketErrorText(error) + ", code " + std::to_string(error) + ")";
    // Only a POSIX system tells whose it was: a stranger's is no try of the
    // device.
    const bool fromStranger = !acceptFailed && !servesPeer();
    if (!acceptFailed) {
        quorvane::net::closeSocket(accepted);
    }
    if (fromStranger) {
        quorvane::platform::diagnose("%s; still waiting for the device\n", what.c_str());
    } else {
        awaitRetry(what);
    }
    return quorvane::net::kInvalidSocket;
}

// A device that connected and delivered nothing has the retry limit to
// connect again, counted from the end of its recording at the earliest.
void KestaroSocket::awaitRetry(const std::string& what) {
    const auto now = std::chrono::steady_clock::now();
    retryDeadline_ = std::max(now, recordingBegan_.value_or(waitBegan_) + recordTime_) + retryLimit_;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*retryDeadline_ - now);
    quorvane::platform::diagnose("%s; waiting up to %s for the device to connect again\n", what.c_str(),
                                 quorvane::upload::waitText(left).c_str());
}

void KestaroSocket::listenForRetry() {
    retryWanted_ = true;
}

void KestaroSocket::onNoRetry(bool) {}

void KestaroSocket::onNoUpload() {}

void KestaroSocket::setUploadLimit(std::chrono::milliseconds limit) {
    uploadLimit_ = limit;
}

// Counted from the recording's end; no limit while a retry is awaited, which
// has its own.
std::optional<std::chrono::steady_clock::time_point> KestaroSocket::uploadDeadline() const {
    if (uploadLimit_ == quorvane::upload::kNoTimeLimit || retryDeadline_) {
        return std::nullopt;
    }
    return recordingBegan_.value_or(waitBegan_) + recordTime_ + uploadLimit_;
}

void KestaroSocket::setRetryLimit(std::chrono::milliseconds limit) {
    retryLimit_ = limit;
}

std::chrono::milliseconds KestaroSocket::retryLimit() const {
    return retryLimit_;
}

bool KestaroSocket::servesPeer() const {
    return !peerExpected_ || peerPolicy_ == quorvane::upload::PeerPolicy::TakeFirst ||
           clientAddress_.sin_addr.s_addr == expectedPeer_.s_addr;
}

void KestaroSocket::sayWhenNotFromTheDevice() const {
    if (!peerExpected_ || clientAddress_.sin_addr.s_addr == expectedPeer_.s_addr) {
        return;
    }
    const std::string peer = addressText(clientAddress_.sin_addr);
    const std::string device = addressText(expectedPeer_);
    quorvane::platform::diagnose(
        "the upload connection came from %s, not from the device's address %s; it is taken as the device's: %s "
        "is on no network this computer is attached to, so the device's connections arrive through a router, NAT "
        "or port forwarding, from another address\n",
        peer.c_str(), device.c_str(), device.c_str());
}

bool KestaroSocket::expectPeer(const std::string& ipv4Address, quorvane::upload::PeerPolicy policy) {
    peerPolicy_ = policy;
    peerExpected_ = inet_pton(AF_INET, ipv4Address.c_str(), &expectedPeer_) == 1;
    if (!peerExpected_) {
        quorvane::platform::diagnose(
            "warning: the device's address \"%s\" is no IPv4 address; the first connection "
            "on the upload port will be taken as the device's\n",
            ipv4Address.c_str());
    }
    return peerExpected_;
}

void KestaroSocket::setNoConnectionHint(std::chrono::milliseconds delay, const std::string& message) {
    hintDelay_ = delay;
    hintMessage_ = message;
}

void KestaroSocket::setRecordTime(const std::string& recordTime, std::chrono::steady_clock::time_point requestSent) {
    const auto seconds = quorvane::recording::recordSeconds(recordTime);
    if (seconds) {
        recordTime_ = *seconds;
        recordingBegan_ = requestSent;
        setCountdown(quorvane::upload::RecordingCountdown([] { return std::chrono::steady_clock::now(); }, *seconds,
                                                          quorvane::platform::diagnosticsOnTerminal()));
    }
}

void KestaroSocket::setCountdown(quorvane::upload::RecordingCountdown recordingCountdown) {
    countdown_ = std::move(recordingCountdown);
}

unsigned short KestaroSocket::localPort() const {
    return listeningPort_;
}

const std::shared_ptr<quorvane::upload::UploadState>& KestaroSocket::uploadState() const {
    return upload_;
}

test::test(quorvane::upload::UploadWiring wiring) : KestaroSocket(wiring.state), wiring_(std::move(wiring)) {}

void test::onConnect(unsigned int socket) {
    if (wiring_.stopSerialLink) {
        wiring_.stopSerialLink();
    }
    quorvane::upload::AudioSettings settings = quorvane::upload::consoleAudioSettings(wiring_);
    settings.state = uploadState();
    if (!quorvane::upload::startAudioCapture(audioThread_, socket, settings).get()) {
        listenForRetry();
    }
}

void test::onNoRetry(bool handedOver) {
    quorvane::upload::endWithoutAudio(wiring_, retryLimit(), handedOver);
}

void test::onNoUpload() {
    quorvane::upload::endWithoutUpload(wiring_, uploadLimit());
}
