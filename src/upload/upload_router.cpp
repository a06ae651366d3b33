#include "upload/upload_router.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "net/socket_layer.h"
#include "platform/diagnostics.h"

namespace quorvane::upload {

namespace {

constexpr int kBacklog = 16;
// How often the accepting thread looks whether the station is ending.
constexpr std::chrono::milliseconds kStopCheck{200};
// How often a run waiting for its connection looks at its interruption.
constexpr std::chrono::milliseconds kInterruptCheck{100};

std::string addressText(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &address, text, sizeof text) != nullptr ? text : "an unknown address";
}

}  // namespace

RoutedConnections::~RoutedConnections() {
    for (const Connection& connection : waiting_) {
        net::closeSocket(connection.socket);
    }
}

void RoutedConnections::hand(Connection connection) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_.push_back(connection);
    }
    handed_.notify_all();
}

SocketEvent RoutedConnections::wait(const UploadState& upload, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!waiting_.empty()) {
            return SocketEvent::Readable;
        }
        if (upload.interrupted()) {
            return SocketEvent::Interrupted;
        }
        const auto now = std::chrono::steady_clock::now();
        if (limit != kNoTimeLimit && now >= deadline) {
            return SocketEvent::TimedOut;
        }
        const auto slice = limit == kNoTimeLimit ? kInterruptCheck
                                                 : std::min<std::chrono::steady_clock::duration>(
                                                       kInterruptCheck, deadline - now);
        handed_.wait_for(lock, slice);
    }
}

std::optional<RoutedConnections::Connection> RoutedConnections::take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (waiting_.empty()) {
        return std::nullopt;
    }
    const Connection connection = waiting_.front();
    waiting_.pop_front();
    return connection;
}

UploadRouter::UploadRouter() : listenSocket_(net::kInvalidSocket) {
    const int startError = net::startSockets();
    if (startError != 0) {
        throw std::runtime_error("Failed. Error Code : " + std::to_string(startError));
    }
    listenSocket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listenSocket_ == net::kInvalidSocket) {
        throw std::runtime_error("Failed to create socket");
    }
    const int reserveError = net::reserveListeningAddress(listenSocket_);
    if (reserveError != 0) {
        platform::diagnose("warning: could not reserve the upload port for this program: %s\n",
                           net::socketErrorText(reserveError).c_str());
    }
}

UploadRouter::~UploadRouter() {
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    net::closeSocket(listenSocket_);
}

int UploadRouter::claimPort(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<unsigned short>(port));
    if (::bind(listenSocket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenSocket_, kBacklog) != 0) {
        return net::lastSocketError();
    }
    sockaddr_in bound{};
    net::SocketLength length = sizeof bound;
    if (getsockname(listenSocket_, reinterpret_cast<sockaddr*>(&bound), &length) == 0) {
        port_ = ntohs(bound.sin_port);
    }
    net::setNonBlocking(listenSocket_, true);
    thread_ = platform::sayingThread(&UploadRouter::acceptLoop, this);
    return 0;
}

unsigned short UploadRouter::localPort() const {
    return port_;
}

std::shared_ptr<RoutedConnections> UploadRouter::expect(const std::string& deviceAddress, bool ownAddress) {
    Route route{ownAddress, {}, std::make_shared<RoutedConnections>()};
    if (inet_pton(AF_INET, deviceAddress.c_str(), &route.address) != 1) {
        route.ownAddress = false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (route.ownAddress) {
        ownAddresses_.push_back(route.address);
    }
    routes_.push_back(route);
    return route.connections;
}

void UploadRouter::forget(const std::shared_ptr<RoutedConnections>& connections) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_.erase(std::remove_if(routes_.begin(), routes_.end(),
                                 [&connections](const Route& route) { return route.connections == connections; }),
                  routes_.end());
}

void UploadRouter::acceptLoop() {
    while (!stopping_) {
        int error = 0;
        if (net::waitReadable(listenSocket_, kStopCheck, error) != net::WaitOutcome::Readable) {
            continue;
        }
        sockaddr_in peer{};
        net::SocketLength length = sizeof peer;
        const net::SocketHandle accepted = ::accept(listenSocket_, reinterpret_cast<sockaddr*>(&peer), &length);
        if (accepted != net::kInvalidSocket) {
            route(accepted, peer);
        }
    }
}

void UploadRouter::route(net::SocketHandle socket, const sockaddr_in& peer) {
    const std::shared_ptr<RoutedConnections> connections = routeFor(peer.sin_addr);
    if (!connections) {
        platform::diagnose("refused an upload connection from %s: no device of the station waits for an upload "
                           "from there\n",
                           addressText(peer.sin_addr).c_str());
        net::closeSocket(socket);
        return;
    }
    connections->hand({socket, peer});
}

// The run expecting the peer's own address first; otherwise the one run
// whose device cannot be told by its address.
std::shared_ptr<RoutedConnections> UploadRouter::routeFor(const in_addr& peer) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Route& route : routes_) {
        if (route.ownAddress && route.address.s_addr == peer.s_addr) {
            return route.connections;
        }
    }
    const bool someonesOwn = std::any_of(ownAddresses_.begin(), ownAddresses_.end(),
                                         [&peer](const in_addr& own) { return own.s_addr == peer.s_addr; });
    for (const Route& route : routes_) {
        if (!route.ownAddress && !someonesOwn) {
            return route.connections;
        }
    }
    return nullptr;
}

}  // namespace quorvane::upload
