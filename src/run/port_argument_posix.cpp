#include "run/port_argument.h"

bool acceptsDevicePaths() {
    return true;
}

std::string portArgumentHint() {
    return "give a COM port number (1 for COM1, mapped to /dev/ttyS0) or a device path such as "
           "/dev/ttyUSB0 or /dev/ttyACM0";
}
