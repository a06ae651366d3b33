#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvane {

// What the USB device behind a port says about itself; a field it does not
// give stays empty.
struct UsbIdentity {
    // Four hex digits each, as the device reports them: "10c4", "ea60".
    std::string vendorId;
    std::string productId;
    std::string manufacturer;
    std::string product;
    std::string serial;
};

struct SerialPortInfo {
    // What to give the tool as its port argument: "3" on Windows, the device
    // path on Linux; empty when no argument opens the port.
    std::string argument;
    // The system's name of the port: "COM3", "/dev/ttyUSB0".
    std::string name;
    // Windows: the device manager's friendly name ("USB Serial Port (COM3)"),
    // or the kernel's device name when there is none.
    std::string friendlyName;
    // Linux: the USB device the port belongs to, when it is on USB.
    std::optional<UsbIdentity> usb;
    // Linux, for a /dev/serial/by-id link: the device it points to.
    std::string linkedTo;
    // Linux, for a device: the name of its /dev/serial/by-id link.
    std::string byIdName;
};

// The serial ports present on this machine.
std::vector<SerialPortInfo> listSerialPorts();

}  // namespace quorvane
