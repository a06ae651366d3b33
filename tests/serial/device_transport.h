#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "serial/uart_observer.h"

namespace quorvane {
namespace testing {

// The device's end of a serial line whose other end the code under test opens
// as a port: an in-process pseudo-terminal natively, a pseudo-terminal behind
// pty_bridge (mapped to a COM port) under Wine.
class DeviceTransport {
public:
    virtual ~DeviceTransport() = default;

    // The name SerialPort::open takes for the host's end.
    virtual std::string portName() const = 0;
    // An observer on the host's end, constructed the way users reach such a
    // port (a COM number on Windows, a device path elsewhere).
    virtual std::unique_ptr<UartObserver> observer(const LinkTimings& timings) const = 0;
    virtual void write(const std::string& bytes) = 0;
    // What the host wrote, waiting up to `wait` for the first byte; empty
    // when nothing came.
    virtual std::string read(std::chrono::milliseconds wait) = 0;
};

std::unique_ptr<DeviceTransport> openDeviceTransport();

// A port name that no port answers to.
std::string missingPortName();

// Whether the system refuses a second open of a port that is open; Wine does
// not, though Windows does.
bool systemEnforcesExclusiveOpen();

}  // namespace testing
}  // namespace quorvane
