#pragma once

#include <string>
#include <vector>

#include "serial/port_list.h"

namespace quorvane {

// Where the port listing looks; tests put a pseudo-terminal in a folder of
// their own.
struct PortListFolders {
    std::string devices = "/dev";
    std::string ttyClass = "/sys/class/tty";
};

// The /dev/serial/by-id links with their targets, then the USB, ACM and
// macOS call-out devices that exist, and the ttyS ports that have a UART.
std::vector<SerialPortInfo> listSerialPorts(const PortListFolders& folders);

}  // namespace quorvane
