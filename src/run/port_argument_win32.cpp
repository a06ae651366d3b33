#include "run/port_argument.h"

bool acceptsDevicePaths() {
    return false;
}

std::string portArgumentHint() {
    return "give the COM port number, for example 3 for COM3";
}

const char* portHelp() {
    return "  PORT         COM port of the device: 3 or COM3 (--list-ports shows them)\n";
}

const char* helpExamples() {
    return "examples:\n"
           "  quorvane-capture.exe LabWiFi \"correct horse\" 3 30\n"
           "  quorvane-capture.exe LabWiFi - COM12 30 1 < pass-phrase.txt\n";
}

PortPathKind examinePortPath(const std::string&) {
    return PortPathKind::Unexamined;
}
