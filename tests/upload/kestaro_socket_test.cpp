#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "loopback_client.h"
#include "net/socket_layer.h"
#include "upload/kestaro_socket.h"
#include "upload/progress.h"
#include "upload_fixture.h"

namespace {

// Notes what Listen hands over, takes a while, and closes the connection.
class RecordingServer : public KestaroSocket {
public:
    void onConnect(unsigned int socket) override {
        sockaddr_in peer{};
        quorvane::net::SocketLength length = sizeof peer;
        getpeername(static_cast<quorvane::net::SocketHandle>(socket), reinterpret_cast<sockaddr*>(&peer), &length);
        char text[INET_ADDRSTRLEN] = {};
        peerAddress = inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        workerThread = std::this_thread::get_id();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        quorvane::net::closeSocket(static_cast<quorvane::net::SocketHandle>(socket));
        ++calls;
    }

    std::atomic<int> calls{0};
    std::string peerAddress;
    std::thread::id workerThread;
};

// Gives back a connection that ends before its first byte, as the audio
// thread does, and notes what Listen does after.
class RetryingServer : public KestaroSocket {
public:
    void onConnect(unsigned int socket) override {
        const auto handle = static_cast<quorvane::net::SocketHandle>(socket);
        char byte = 0;
        if (::recv(handle, &byte, 1, 0) == 1) {
            ++served;
        } else {
            listenForRetry();
        }
        quorvane::net::closeSocket(handle);
    }
    void onNoRetry(bool handedOver) override {
        noRetryHandedOver = handedOver;
        ++noRetries;
    }
    void onNoUpload() override { ++noUploads; }

    std::atomic<int> served{0};
    std::atomic<int> noRetries{0};
    std::atomic<int> noUploads{0};
    std::atomic<bool> noRetryHandedOver{false};
};

using TcpListener = UploadTest;

// onConnect runs on Listen's own thread, which hands the connection on at
// most once (the recording server, to its audio thread); Listen then closes
// the port, so a later connection is refused rather than left unread.
TEST_F(TcpListener, AClientThatClosesAtOnceIsHandedToOnConnectOnListensThreadAndTheLaterOneIsRefused) {
    RecordingServer server;
    ListeningServer listening(server);
    const std::thread::id listenThread = listening.thread();
    LoopbackClient(listening.port()).finish();
    EXPECT_EQ(listening.join(), "");
    EXPECT_EQ(server.calls, 1);
    EXPECT_EQ(server.peerAddress, "127.0.0.1");
    EXPECT_EQ(server.workerThread, listenThread);
    EXPECT_TRUE(connectionRefused(listening.port()));
}

TEST_F(TcpListener, NothingElseCanBindTheListeningPort) {
    RecordingServer holder;
    ListeningServer holding(holder);
    const unsigned short port = holding.port();

    RecordingServer second;
    const std::string message = ListeningServer(second, port).join();
    EXPECT_TRUE(std::regex_match(message, std::regex("Failed to bind socket[1-9][0-9]*"))) << message;

    const quorvane::net::SocketHandle intruder = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(intruder, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    EXPECT_NE(::bind(intruder, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    quorvane::net::closeSocket(intruder);

    LoopbackClient ending(port);
}

// A claimed port listens at once: a device that connects before Listen waits
// in the backlog and is served when Listen begins.
TEST_F(TcpListener, AClaimedPortIsListenedOnAtOnceAndServedByListenLater) {
    RecordingServer server;
    ASSERT_EQ(server.claimPort(0), 0);
    const unsigned short port = server.localPort();
    ASSERT_NE(port, 0);
    LoopbackClient early(port);
    ASSERT_TRUE(early.connected());
    EXPECT_TRUE(early.send("early"));
    EXPECT_EQ(server.calls, 0);
    EXPECT_EQ(ListeningServer(server, port).join(), "");
    EXPECT_EQ(server.calls, 1);
    EXPECT_EQ(server.peerAddress, "127.0.0.1");
}

// Between the claim and Listen nothing else may take the port, not even a
// socket that asks to share it (SO_REUSEADDR), as another copy of this
// program on a POSIX system does.
TEST_F(TcpListener, AClaimedPortCannotBeTakenBeforeListen) {
    RecordingServer holder;
    ASSERT_EQ(holder.claimPort(0), 0);
    const unsigned short port = holder.localPort();

    RecordingServer second;
    const int error = second.claimPort(port);
    EXPECT_NE(error, 0);
    EXPECT_TRUE(quorvane::net::isAddressTaken(error)) << error;
    EXPECT_EQ(quorvane::upload::bindFailureText(error), "Failed to bind socket" + std::to_string(error));
    RecordingServer third;
    const std::string message = ListeningServer(third, port).join();
    EXPECT_EQ(message, quorvane::upload::bindFailureText(error));
    EXPECT_EQ(second.calls + third.calls, 0);
}

TEST_F(TcpListener, AStrangerIsRefusedAndTheDeviceIsServed) {
    RecordingServer server;
    ASSERT_TRUE(server.expectPeer("127.0.0.1"));
    ListeningServer listening(server);
    LoopbackClient stranger(listening.port(), "127.0.0.2");
    EXPECT_TRUE(stranger.closedByServer());
    EXPECT_TRUE(
        waitForDiagnostic("refused an upload connection from 127.0.0.2: only the device at 127.0.0.1 may upload\n"));
    EXPECT_EQ(server.calls, 0);

    LoopbackClient device(listening.port());
    EXPECT_EQ(listening.join(), "");
    EXPECT_EQ(server.calls, 1);
    EXPECT_EQ(server.peerAddress, "127.0.0.1");
}

// Only where the device's address can be told from a stranger's is anyone
// else refused; behind a router the first connection is taken and said.
TEST_F(TcpListener, WhomListenServesFollowsThePeerPolicy) {
    using quorvane::upload::PeerPolicy;
    const struct {
        const char* name;
        PeerPolicy policy;
        const char* reported;
        const char* from;
        bool served;
        const char* said;
    } cases[] = {
        {"a stranger next to the device", PeerPolicy::RefuseOthers, "127.0.0.1", "127.0.0.2", false,
         "refused an upload connection from 127.0.0.2: only the device at 127.0.0.1 may upload\n"},
        {"the device behind a router", PeerPolicy::TakeFirst, "203.0.113.10", "127.0.0.1", true,
         "the upload connection came from 127.0.0.1, not from the device's address 203.0.113.10; it is taken as the "
         "device's: 203.0.113.10 is on no network this computer is attached to"},
        {"the device itself", PeerPolicy::TakeFirst, "127.0.0.2", "127.0.0.2", true, ""},
    };
    for (const auto& peer : cases) {
        SCOPED_TRACE(peer.name);
        const std::string before = diagnostics();
        RecordingServer server;
        ASSERT_TRUE(server.expectPeer(peer.reported, peer.policy));
        ListeningServer listening(server);
        LoopbackClient first(listening.port(), peer.from);
        if (!peer.served) {
            EXPECT_TRUE(first.closedByServer());
            LoopbackClient device(listening.port(), peer.reported);
        }
        EXPECT_EQ(listening.join(), "");
        EXPECT_EQ(server.calls, 1);
        EXPECT_EQ(server.peerAddress, peer.served ? peer.from : peer.reported);
        const std::string said = diagnostics().substr(before.size());
        const std::string expected = *peer.said ? std::string("quorvane-capture: ") + peer.said : "";
        EXPECT_EQ(said.substr(0, expected.size()), expected);
        EXPECT_EQ(said.empty(), expected.empty()) << said;
    }
}

// After a connection that delivered nothing Listen waits for the device to
// connect again: the retry is served; without one Listen gives up, though
// not before the recording's end and the limit after it.
TEST_F(TcpListener, AConnectionGivenBackLeavesListenWaitingForARetryUntilTheRecordingsEndAndTheLimit) {
    for (const bool retried : {true, false}) {
        SCOPED_TRACE(retried ? "retried" : "no retry");
        RetryingServer server;
        server.setRetryLimit(std::chrono::milliseconds(100));
        server.setRecordTime("1");
        const auto began = std::chrono::steady_clock::now();
        ListeningServer listening(server);
        LoopbackClient(listening.port()).finish();
        if (retried) {
            LoopbackClient device(listening.port());
            EXPECT_TRUE(device.send("audio"));
            device.finish();
        }
        EXPECT_EQ(listening.join(), "");
        EXPECT_EQ(server.served, retried ? 1 : 0);
        EXPECT_EQ(server.noRetries, retried ? 0 : 1);
        if (!retried) {
            EXPECT_TRUE(server.noRetryHandedOver);
            EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(1100));
        }
    }
    EXPECT_EQ(occurrences(diagnostics(), "the upload connection ended before its first byte; waiting up to "), 2)
        << diagnostics();
}

// A device that connects once its recording has ended, however late this
// computer began to wait, is given the limit and no more: the recording is
// counted from the upload request.
TEST_F(TcpListener, AConnectionAfterTheRecordingsEndWaitsTheLimitAlone) {
    RetryingServer server;
    server.setRetryLimit(std::chrono::milliseconds(100));
    server.setRecordTime("1", std::chrono::steady_clock::now() - std::chrono::seconds(2));
    ListeningServer listening(server);
    LoopbackClient(listening.port()).finish();
    EXPECT_EQ(listening.join(), "");
    EXPECT_EQ(server.noRetries, 1);
    EXPECT_EQ(occurrences(diagnostics(), "before its first byte; waiting up to 0:00.1 for the device to connect again"),
              1)
        << diagnostics();
}

// A station's device that never connects is given up the limit after its
// recording's end.
TEST_F(TcpListener, NoConnectionWithinTheUploadLimitAfterTheRecordingsEndGivesUp) {
    RetryingServer server;
    server.setUploadLimit(std::chrono::milliseconds(100));
    server.setRecordTime("1", std::chrono::steady_clock::now() - std::chrono::seconds(2));
    ListeningServer listening(server);
    EXPECT_EQ(listening.join(), "");
    EXPECT_EQ(server.noUploads, 1);
    EXPECT_EQ(server.served, 0);
}

// A station's one listener: a connection goes to the run expecting its
// peer's own address, else to the run whose device cannot be told by its
// address; one from a device's own address never goes to another run.
TEST_F(TcpListener, AStationsListenerHandsEachConnectionToTheRunItsPeerBelongsTo) {
    quorvane::upload::UploadRouter router;
    ASSERT_EQ(router.claimPort(0), 0);
    const auto own = router.expect("127.0.0.2", true);
    auto shared = router.expect("203.0.113.10", false);
    const quorvane::upload::UploadState upload;
    const struct {
        const char* from;
        quorvane::upload::RoutedConnections* to;
    } cases[] = {{"127.0.0.2", own.get()}, {"127.0.0.3", shared.get()}, {"127.0.0.4", shared.get()}};
    for (const auto& each : cases) {
        SCOPED_TRACE(each.from);
        LoopbackClient client(router.localPort(), each.from);
        ASSERT_EQ(each.to->wait(upload, std::chrono::seconds(30)), quorvane::upload::SocketEvent::Readable);
        const auto connection = each.to->take();
        ASSERT_TRUE(connection.has_value());
        char text[INET_ADDRSTRLEN] = {};
        EXPECT_STREQ(inet_ntop(AF_INET, &connection->peer.sin_addr, text, sizeof text), each.from);
        quorvane::net::closeSocket(connection->socket);
    }
    router.forget(own);
    LoopbackClient ownAddress(router.localPort(), "127.0.0.2");
    EXPECT_TRUE(ownAddress.closedByServer());
    router.forget(shared);
    LoopbackClient nobodys(router.localPort(), "127.0.0.3");
    EXPECT_TRUE(nobodys.closedByServer());
    EXPECT_EQ(occurrences(diagnostics(), "refused an upload connection from 127.0.0.2: no device of the station"), 1);
    EXPECT_EQ(occurrences(diagnostics(), "refused an upload connection from 127.0.0.3: no device of the station"), 1);
}

// The second server's device connects long before its hint is due, so the
// hint stays said once in all.
TEST_F(TcpListener, TheNoConnectionHintIsSaidOnceWhenDueAndListenGoesOnWaiting) {
    for (const auto delay : {std::chrono::milliseconds(50), std::chrono::milliseconds(600000)}) {
        RecordingServer server;
        server.setNoConnectionHint(delay, "no device yet");
        ListeningServer listening(server);
        const bool due = delay.count() < 1000;
        if (due) {
            ASSERT_TRUE(waitForDiagnostic("no device yet\n"));
            std::this_thread::sleep_for(delay * 4);
        }
        LoopbackClient device(listening.port());
        EXPECT_EQ(listening.join(), "");
        EXPECT_EQ(server.calls, 1);
        EXPECT_EQ(occurrences(diagnostics(), "no device yet"), 1);
    }
}

// The countdown is drawn at once and redrawn as the clock moves on; the
// device's connection takes it off the terminal before the upload begins.
TEST_F(TcpListener, TheCountdownRunsWhileListenWaitsAndLeavesTheLineEmptyForTheUpload) {
    ManualClock clock;
    RecordingServer server;
    server.setCountdown(
        quorvane::upload::RecordingCountdown(clock.clock(), std::chrono::seconds(3), true, [] { return 80; }));
    ListeningServer listening(server);
    ASSERT_TRUE(waitForDiagnostic("\rrecording: 0:00 of 0:03"));
    clock.advance(std::chrono::seconds(1));
    ASSERT_TRUE(waitForDiagnostic("\rrecording: 0:01 of 0:03"));
    LoopbackClient device(listening.port());
    EXPECT_EQ(listening.join(), "");
    EXPECT_EQ(server.calls, 1);
    EXPECT_EQ(diagnostics(), "\rrecording: 0:00 of 0:03\rrecording: 0:01 of 0:03\r" + std::string(23, ' ') + "\r");
}

// Every other message starts on an empty line, and the countdown comes back
// under it.
TEST_F(TcpListener, TheHintAndARefusedStrangerTakeTheCountdownOffTheLineFirst) {
    ManualClock clock;
    RecordingServer server;
    ASSERT_TRUE(server.expectPeer("127.0.0.1"));
    server.setNoConnectionHint(std::chrono::milliseconds(50), "no device yet");
    server.setCountdown(
        quorvane::upload::RecordingCountdown(clock.clock(), std::chrono::seconds(3), true, [] { return 80; }));
    ListeningServer listening(server);
    ASSERT_TRUE(waitForDiagnostic("no device yet\n\rrecording: 0:00 of 0:03"));
    LoopbackClient stranger(listening.port(), "127.0.0.2");
    EXPECT_TRUE(stranger.closedByServer());
    ASSERT_TRUE(waitForDiagnostic("only the device at 127.0.0.1 may upload\n\rrecording: 0:00 of 0:03"));
    LoopbackClient device(listening.port());
    EXPECT_EQ(listening.join(), "");
    const std::string shown = "\rrecording: 0:00 of 0:03\r {23}\r";
    EXPECT_TRUE(std::regex_match(
        diagnostics(), std::regex(shown + "[^\r\n]*no device yet\n" + shown +
                                  "[^\r\n]*refused an upload connection from 127\\.0\\.0\\.2[^\r\n]*\n" + shown)))
        << diagnostics();
}

// A lenient reading would make each of these a record time of nothing, and
// a countdown would say so at once.
TEST_F(TcpListener, ARecordTimeThatIsNoWholeNumberOfSecondsHasNoCountdown) {
    for (const char* recordTime : {"", "0s", "0.0", " 0", "-0", "0"}) {
        SCOPED_TRACE(recordTime);
        const std::string before = diagnostics();
        RecordingServer server;
        server.setRecordTime(recordTime);
        ListeningServer listening(server);
        LoopbackClient device(listening.port());
        EXPECT_EQ(listening.join(), "");
        const bool counted =
            diagnostics().substr(before.size()).find("recording ended; waiting for the upload") != std::string::npos;
        EXPECT_EQ(counted, std::string(recordTime) == "0");
    }
}

}  // namespace
