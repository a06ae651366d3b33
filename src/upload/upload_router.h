#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/socket_platform.h"
#include "upload/upload_control.h"

namespace quorvane::upload {

// Upload connections accepted by someone else and handed to one run's
// server: a station's one listener hands each to the device it belongs to.
class RoutedConnections {
public:
    struct Connection {
        net::SocketHandle socket;
        sockaddr_in peer;
    };

    RoutedConnections() = default;
    // Closes what was handed and never taken.
    ~RoutedConnections();

    RoutedConnections(const RoutedConnections&) = delete;
    RoutedConnections& operator=(const RoutedConnections&) = delete;

    void hand(Connection connection);

    // Waits until a connection is there (Readable), `limit` has passed
    // (kNoTimeLimit: never) or `upload` is interrupted.
    SocketEvent wait(const UploadState& upload, std::chrono::milliseconds limit);

    // The oldest connection handed and not yet taken.
    std::optional<Connection> take();

private:
    std::mutex mutex_;
    std::condition_variable handed_;
    std::deque<Connection> waiting_;
};

// A station's one listener on the upload port. It accepts every connection
// and hands it to the run expecting an upload from the peer's address; a
// run whose device cannot be told apart by its address (behind a router,
// none reported) takes whatever no other run expects, so the station lets
// only one such run expect at a time. A connection no run expects is
// refused and said.
class UploadRouter {
public:
    UploadRouter();
    // Stops accepting and closes the port.
    ~UploadRouter();

    UploadRouter(const UploadRouter&) = delete;
    UploadRouter& operator=(const UploadRouter&) = delete;

    // Binds and listens on `port` and starts accepting; 0, or the error
    // code of the failed bind or listen.
    int claimPort(int port);
    unsigned short localPort() const;

    // A run expects its device's upload: from `deviceAddress` only when
    // `ownAddress` (the device's connections come from the address it
    // reported), otherwise from any address no other run expects.
    std::shared_ptr<RoutedConnections> expect(const std::string& deviceAddress, bool ownAddress);

    // The run expects nothing more; later connections are not its.
    void forget(const std::shared_ptr<RoutedConnections>& connections);

private:
    struct Route {
        bool ownAddress;
        in_addr address;
        std::shared_ptr<RoutedConnections> connections;
    };

    void acceptLoop();
    void route(net::SocketHandle socket, const sockaddr_in& peer);
    std::shared_ptr<RoutedConnections> routeFor(const in_addr& peer);

    net::SocketHandle listenSocket_;
    std::atomic<unsigned short> port_{0};
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<Route> routes_;
    // Every address a device with an address of its own reported: a later
    // connection from there is that device's, never another's.
    std::vector<in_addr> ownAddresses_;
    std::thread thread_;
};

}  // namespace quorvane::upload
