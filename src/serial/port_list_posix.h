#pragma once

#include <string>
#include <vector>

#include "serial/port_list.h"

namespace quorvane {

// Where the port listing looks; tests give it a made-up device folder and
// sysfs tree.
struct PortListFolders {
    std::string devices = "/dev";
    std::string sysfs = "/sys";
};

// The /dev/serial/by-id links with their targets, then the USB, ACM and
// macOS call-out devices that exist, and the ttyS ports that have a UART;
// each with the USB device it belongs to, found in sysfs.
std::vector<SerialPortInfo> listSerialPorts(const PortListFolders& folders);

}  // namespace quorvane
