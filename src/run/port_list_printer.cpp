#include "run/port_list_printer.h"

#include <cstdio>

#include "platform/diagnostics.h"
#include "serial/port_list.h"

void printSerialPorts() {
    const auto ports = quorvane::listSerialPorts();
    if (ports.empty()) {
        platform::diagnose("no serial ports found\n");
        return;
    }
    for (const auto& port : ports) {
        if (port.description.empty()) {
            std::printf("%s\n", port.name.c_str());
        } else {
            std::printf("%-24s %s\n", port.name.c_str(), port.description.c_str());
        }
    }
}
