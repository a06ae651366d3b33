#include "provisioning/local_address.h"

#include <cstdint>
#include <mutex>

#include "net/socket_layer.h"

namespace quorvane::provisioning {

namespace {

// Any port will do: connecting a UDP socket only picks the route.
constexpr unsigned short kProbePort = 8888;
constexpr std::uint32_t kLoopbackFirstOctet = 127;

// The socket library is started around each lookup; on Windows the start-up
// is counted, so this nests with the upload server's own.
class SocketSession {
public:
    SocketSession() : started_(net::startSockets() == 0) {}
    ~SocketSession() {
        if (started_) {
            net::stopSockets();
        }
    }
    SocketSession(const SocketSession&) = delete;
    SocketSession& operator=(const SocketSession&) = delete;

    bool started() const { return started_; }

private:
    bool started_;
};

}  // namespace

std::vector<std::string> hostNameAddresses() {
    // gethostbyname answers in a buffer that POSIX systems share between threads.
    static std::mutex resolverMutex;
    std::lock_guard<std::mutex> lock(resolverMutex);
    std::vector<std::string> addresses;
    SocketSession session;
    if (!session.started()) {
        return addresses;
    }
    char name[256] = {};
    gethostname(name, 255);
    const hostent* entry = gethostbyname(name);
    if (entry == nullptr || entry->h_addrtype != AF_INET) {
        return addresses;
    }
    for (char** address = entry->h_addr_list; *address != nullptr; ++address) {
        addresses.emplace_back(inet_ntoa(*reinterpret_cast<const in_addr*>(*address)));
    }
    return addresses;
}

bool isIpv4Address(const std::string& text) {
    in_addr parsed{};
    return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

bool isDeviceAddress(const std::string& text) {
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        return false;
    }
    const unsigned firstOctet = ntohl(parsed.s_addr) >> 24;
    return firstOctet != 0 && firstOctet < 224;
}

bool onAttachedNetwork(const std::string& text, const std::vector<AttachedNetwork>& networks) {
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        return false;
    }
    const std::uint32_t address = ntohl(parsed.s_addr);
    if (address >> 24 == kLoopbackFirstOctet) {
        return true;
    }
    for (const AttachedNetwork& network : networks) {
        // A mask of nothing would put every address on the network.
        if (network.mask != 0 && (address & network.mask) == (network.address & network.mask)) {
            return true;
        }
    }
    return false;
}

std::string addressRoutingTo(const std::string& remoteAddress) {
    SocketSession session;
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(kProbePort);
    if (!session.started() || inet_pton(AF_INET, remoteAddress.c_str(), &remote.sin_addr) != 1) {
        return {};
    }
    const net::SocketHandle probe = socket(AF_INET, SOCK_DGRAM, 0);
    if (probe == net::kInvalidSocket) {
        return {};
    }
    sockaddr_in local{};
    net::SocketLength length = sizeof local;
    std::string result;
    if (connect(probe, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        result = inet_ntoa(local.sin_addr);
    }
    net::closeSocket(probe);
    return result;
}

}  // namespace quorvane::provisioning
