#include "run/port_list_printer.h"

#include <algorithm>
#include <cstdio>

#include "platform/diagnostics.h"

namespace {

using quorvane::SerialPortInfo;
using quorvane::UsbIdentity;

std::string usbText(const UsbIdentity& usb) {
    std::string text = "USB " + usb.vendorId + ":" + usb.productId;
    for (const std::string* part : {&usb.manufacturer, &usb.product}) {
        text += part->empty() ? "" : " " + *part;
    }
    return text + (usb.serial.empty() ? "" : ", serial " + usb.serial);
}

std::string description(const SerialPortInfo& port) {
    std::vector<std::string> parts;
    if (!port.friendlyName.empty()) {
        parts.push_back(port.friendlyName);
    }
    if (!port.linkedTo.empty()) {
        parts.push_back("link to " + port.linkedTo);
    }
    if (port.usb) {
        parts.push_back(usbText(*port.usb));
    }
    if (!port.byIdName.empty()) {
        parts.push_back("by-id " + port.byIdName);
    }
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : "; ") + part;
    }
    return text;
}

std::string argumentOf(const SerialPortInfo& port) {
    return port.argument.empty() ? "-" : port.argument;
}

// The system's name, when it tells the user more than the argument does.
std::string nameOf(const SerialPortInfo& port) {
    return port.name != port.argument ? port.name : "";
}

std::string padded(const std::string& text, std::size_t width) {
    return width == 0 ? "" : text + std::string(width - text.size() + 2, ' ');
}

}  // namespace

std::string formatSerialPorts(const std::vector<SerialPortInfo>& ports) {
    std::size_t argumentWidth = 0;
    std::size_t nameWidth = 0;
    for (const SerialPortInfo& port : ports) {
        argumentWidth = std::max(argumentWidth, argumentOf(port).size());
        nameWidth = std::max(nameWidth, nameOf(port).size());
    }
    std::string lines;
    for (const SerialPortInfo& port : ports) {
        std::string line =
            padded(argumentOf(port), argumentWidth) + padded(nameOf(port), nameWidth) + description(port);
        line.erase(line.find_last_not_of(' ') + 1);
        lines += line + "\n";
    }
    return lines;
}

void printSerialPorts() {
    const auto ports = quorvane::listSerialPorts();
    if (ports.empty()) {
        quorvane::platform::diagnose("no serial ports found\n");
        return;
    }
    std::printf("%s", formatSerialPorts(ports).c_str());
    quorvane::platform::diagnose("give the first column as the PORT argument\n");
}
