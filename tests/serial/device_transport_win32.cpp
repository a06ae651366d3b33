// Winsock first: windows.h would otherwise bring in the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <cstdlib>
#include <stdexcept>

#include "device_transport.h"
#include "serial/serial_port.h"

namespace quorvane {
namespace testing {
namespace {

// pty_bridge runs this test program with the COM port it mapped to its pty
// and the loopback TCP port through which it relays the pty's bytes.
int bridgeSetting(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        throw std::runtime_error(std::string(name) + " is not set: run this test through pty_bridge (ctest does)");
    }
    return std::atoi(value);
}

class BridgeTransport : public DeviceTransport {
public:
    BridgeTransport() : comNumber_(bridgeSetting("QUORVANE_BRIDGE_COM")) {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<u_short>(bridgeSetting("QUORVANE_BRIDGE_TCP")));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (socket_ == INVALID_SOCKET || connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("cannot reach pty_bridge");
        }
        BOOL noDelay = TRUE;
        setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    }

    ~BridgeTransport() override {
        closesocket(socket_);
        WSACleanup();
    }

    std::string portName() const override { return serialPortName(comNumber_); }

    std::unique_ptr<UartObserver> observer(const LinkTimings& timings) const override {
        return std::make_unique<UartObserver>(comNumber_, 115200, timings);
    }

    void write(const std::string& bytes) override {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const int sent = ::send(socket_, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
            if (sent <= 0) {
                throw std::runtime_error("pty_bridge connection lost");
            }
            done += static_cast<std::size_t>(sent);
        }
    }

    std::string read(std::chrono::milliseconds wait) override {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_, &readable);
        timeval timeout{static_cast<long>(wait.count() / 1000), static_cast<long>(wait.count() % 1000) * 1000};
        if (select(0, &readable, nullptr, nullptr, &timeout) <= 0) {
            return {};
        }
        char buffer[4096];
        const int count = recv(socket_, buffer, sizeof buffer, 0);
        return count > 0 ? std::string(buffer, static_cast<std::size_t>(count)) : std::string();
    }

private:
    int comNumber_;
    SOCKET socket_ = INVALID_SOCKET;
};

bool runningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

std::unique_ptr<DeviceTransport> openDeviceTransport() {
    return std::make_unique<BridgeTransport>();
}

std::string missingPortName() {
    return serialPortName(98);
}

bool systemEnforcesExclusiveOpen() {
    return !runningUnderWine();
}

}  // namespace testing
}  // namespace quorvane
