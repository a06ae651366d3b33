#include "run/port_argument.h"

bool acceptsDevicePaths() {
    return false;
}

std::string portArgumentHint() {
    return "give the COM port number, for example 3 for COM3";
}

PortPathKind examinePortPath(const std::string&) {
    return PortPathKind::Unexamined;
}
