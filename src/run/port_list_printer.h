#pragma once

#include <string>
#include <vector>

#include "serial/port_list.h"

// One line a port: the argument to give the tool ("-" when none opens it),
// the system's name of the port where that differs ("COM3"), and what the
// port is: its friendly name, the USB device behind it, its by-id link.
std::string formatSerialPorts(const std::vector<quorvane::SerialPortInfo>& ports);

// Prints the serial ports present on standard output, with a hint on
// standard error; says so when there are none.
void printSerialPorts();
