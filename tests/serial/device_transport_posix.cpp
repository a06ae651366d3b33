#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "device_transport.h"
#include "pty.h"

namespace quorvane {
namespace testing {
namespace {

class PtyTransport : public DeviceTransport {
public:
    std::string portName() const override { return pty_.slavePath(); }

    std::unique_ptr<UartObserver> observer(const LinkTimings& timings) const override {
        return std::make_unique<UartObserver>(pty_.slavePath(), 115200, timings);
    }

    void write(const std::string& bytes) override {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t written = ::write(pty_.master(), bytes.data() + done, bytes.size() - done);
            if (written > 0) {
                done += static_cast<std::size_t>(written);
            } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
                throw std::runtime_error("pty write failed");
            } else {
                pollfd writable{pty_.master(), POLLOUT, 0};
                poll(&writable, 1, 10);
            }
        }
    }

    std::string read(std::chrono::milliseconds wait) override {
        pollfd readable{pty_.master(), POLLIN, 0};
        if (poll(&readable, 1, static_cast<int>(wait.count())) <= 0) {
            return {};
        }
        char buffer[4096];
        const ssize_t count = ::read(pty_.master(), buffer, sizeof buffer);
        return count > 0 ? std::string(buffer, static_cast<std::size_t>(count)) : std::string();
    }

private:
    Pty pty_;
};

}  // namespace

std::unique_ptr<DeviceTransport> openDeviceTransport() {
    return std::make_unique<PtyTransport>();
}

std::string missingPortName() {
    return "/dev/quorvane-no-such-port";
}

bool systemEnforcesExclusiveOpen() {
    return true;
}

}  // namespace testing
}  // namespace quorvane
