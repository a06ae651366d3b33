#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "net/socket_platform.h"
#include "upload/audio_capture.h"
#include "upload/progress.h"
#include "upload/upload_control.h"
#include "upload/upload_router.h"

namespace quorvane::upload {

// Whom Listen serves once it knows the device's address.
enum class PeerPolicy {
    // Only the device; any other peer is refused. For a device on a network
    // this computer is attached to, whose connections come from its own
    // address.
    RefuseOthers,
    // The first connection, whoever made it, saying so when it comes from
    // another address. For a device behind a router, NAT or port forwarding,
    // whose connections arrive from the router's address.
    TakeFirst,
};

}  // namespace quorvane::upload

// The TCP server the device uploads its recording to: Listen binds a port on
// every local IPv4 interface, accepts one connection and hands it to
// onConnect on its own thread (which may pass it on to a thread of the
// server's), then closes the port and returns once onConnect has returned.
// Set-up and accept failures are thrown as std::runtime_error. A connection
// that fails before it could be accepted (reset while it waited) is passed
// over with a message; the accepted one gets TCP keep-alive.
//
// A connection that delivered nothing (failed before it could be accepted,
// or handed over and given back with listenForRetry) leaves Listen waiting
// for the device to connect again, for the retry limit and at least until
// that long after the recording's end; when none comes, Listen calls
// onNoRetry and returns.
class KestaroSocket {
public:
    // `upload`: what the server shares with its run about the upload (an
    // interruption ends Listen's wait; the hand-over is counted there); a
    // server handed none keeps one of its own.
    explicit KestaroSocket(std::shared_ptr<quorvane::upload::UploadState> upload = nullptr);

    KestaroSocket(const KestaroSocket&) = delete;
    KestaroSocket& operator=(const KestaroSocket&) = delete;

    // Binds the port and starts listening at once, so that no other program
    // can take it until Listen serves it (connections that come meanwhile
    // wait to be accepted). 0, or the error code of the failed bind (or
    // listen); bindFailureText gives Listen's message for it.
    int claimPort(int port);

    // Binds `port` first unless claimPort has claimed it or the
    // connections come from elsewhere.
    void Listen(int port);

    // Listen takes its connections from `connections` (a station's one
    // listener routes them) instead of a port of its own.
    void takeConnectionsFrom(std::shared_ptr<quorvane::upload::RoutedConnections> connections);

    // Takes ownership of the connected socket.
    virtual void onConnect(unsigned int socket) = 0;

    // The device's IPv4 address, as it reported it. With RefuseOthers only a
    // connection from there is served; any other peer is closed at once,
    // reported on standard error, and Listen goes on waiting. With TakeFirst
    // the first connection is served and one from another address is said.
    // False, with a message, when the text is no IPv4 address; the first
    // connection is then served as before.
    bool expectPeer(const std::string& ipv4Address,
                    quorvane::upload::PeerPolicy policy = quorvane::upload::PeerPolicy::RefuseOthers);

    // How long Listen waits for the device to connect again after a
    // connection that delivered nothing; kDeviceSilenceLimit unless set.
    void setRetryLimit(std::chrono::milliseconds limit);
    std::chrono::milliseconds retryLimit() const;

    // Give up when no connection has come `limit` after the recording's end
    // (kNoTimeLimit, the default: wait until the run is stopped); Listen
    // then calls onNoUpload and returns.
    void setUploadLimit(std::chrono::milliseconds limit);
    std::chrono::milliseconds uploadLimit() const { return uploadLimit_; }

    // Print `message` once on standard error when no connection has been
    // accepted `delay` after Listen began to wait; Listen goes on waiting.
    void setNoConnectionHint(std::chrono::milliseconds delay, const std::string& message);

    // While Listen waits, count the recording of `recordTime` (the text the
    // device was sent) down on standard error, from now on; nothing when it
    // is no whole number of seconds. The recording began at `requestSent`, when
    // the device was asked for it: a device that connects when its recording
    // has ended is then never taken for one that connected early.
    void setRecordTime(const std::string& recordTime,
                       std::chrono::steady_clock::time_point requestSent = std::chrono::steady_clock::now());

    // The same with a countdown of the caller's making (its clock, display).
    void setCountdown(quorvane::upload::RecordingCountdown recordingCountdown);

    // The port Listen accepts connections on, 0 until it listens; callable
    // from any thread.
    unsigned short localPort() const;

    // The upload's shared state, as handed to the constructor or made there.
    const std::shared_ptr<quorvane::upload::UploadState>& uploadState() const;

protected:
    // Only the owner of the concrete server destroys it, never through this
    // base, so the destructor need not be virtual.
    ~KestaroSocket();

    // Called by onConnect when the connection it was handed ended before its
    // first byte: Listen then waits for the device to connect again.
    void listenForRetry();

    // Called by Listen when no connection came within the retry limit after
    // one that delivered nothing; `handedOver`: such a connection reached
    // onConnect (rather than failing before it could be accepted).
    virtual void onNoRetry(bool handedOver);

    // Called by Listen when the upload limit has passed without a connection.
    virtual void onNoUpload();

private:
    int bindPort(int port);
    bool serveNext();
    quorvane::net::SocketHandle acceptOne();
    quorvane::net::SocketHandle acceptDevice();
    bool servesPeer() const;
    void sayWhenNotFromTheDevice() const;
    void awaitRetry(const std::string& what);
    std::optional<std::chrono::steady_clock::time_point> uploadDeadline() const;

    const std::shared_ptr<quorvane::upload::UploadState> upload_;
    quorvane::net::SocketHandle listenSocket_;
    std::shared_ptr<quorvane::upload::RoutedConnections> routed_;
    bool portClaimed_ = false;
    sockaddr_in serverAddress_{};
    sockaddr_in clientAddress_{};

    bool peerExpected_ = false;
    in_addr expectedPeer_{};
    quorvane::upload::PeerPolicy peerPolicy_ = quorvane::upload::PeerPolicy::RefuseOthers;
    std::chrono::milliseconds retryLimit_;
    std::chrono::seconds recordTime_{0};
    std::chrono::steady_clock::time_point waitBegan_{};
    std::optional<std::chrono::steady_clock::time_point> recordingBegan_;
    std::optional<std::chrono::steady_clock::time_point> retryDeadline_;
    std::chrono::milliseconds uploadLimit_{-1};
    std::atomic<bool> retryWanted_{false};
    bool handedOverEmpty_ = false;
    std::chrono::milliseconds hintDelay_{-1};
    std::string hintMessage_;
    std::optional<quorvane::upload::RecordingCountdown> countdown_;
    std::atomic<unsigned short> listeningPort_{0};
};

namespace quorvane::upload {

// "Failed to bind socket" followed by the error code, as Listen throws it.
std::string bindFailureText(int error);

}  // namespace quorvane::upload

// The recording server: when the device connects, onConnect stops the serial
// link and hands the connection to the server's audio thread, which stores
// the upload in record.pcm, splits it into four channel files, converts them
// to WAV, reports and ends the run. Listen returns at the upload's first
// byte; the server, and with it the audio thread, lives on until its owner
// destroys it, which waits for the upload's end. Final, since the run owns it
// through a pointer to this class and KestaroSocket's destructor is not
// virtual.
class test final : public KestaroSocket {
public:
    // `wiring`: what the run hands each upload connection; a server without
    // one stores and converts the upload but ends no run.
    explicit test(quorvane::upload::UploadWiring wiring = {});

    void onConnect(unsigned int socket) override;

private:
    // No retry came after a connection without a byte: the device sent no
    // audio.
    void onNoRetry(bool handedOver) override;
    void onNoUpload() override;

    const quorvane::upload::UploadWiring wiring_;
    // Declared last, so that it is joined first: the upload in hand uses
    // what it was handed, never this server's members.
    ThreadPool audioThread_{1};
};
