#pragma once

#include <string>
#include <vector>

namespace quorvane {

struct SerialPortInfo {
    // What to give as the port argument: "COM3", "/dev/ttyUSB0".
    std::string name;
    // What the system says about the port (a friendly name, where a link
    // points); may be empty.
    std::string description;
};

// The serial ports present on this machine.
std::vector<SerialPortInfo> listSerialPorts();

}  // namespace quorvane
