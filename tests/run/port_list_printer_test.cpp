#include <gtest/gtest.h>

#include "run/port_list_printer.h"

namespace {

using quorvane::SerialPortInfo;
using quorvane::UsbIdentity;

SerialPortInfo windowsPort(const std::string& argument, const std::string& name, const std::string& friendly) {
    SerialPortInfo port;
    port.argument = argument;
    port.name = name;
    port.friendlyName = friendly;
    return port;
}

SerialPortInfo linuxPort(const std::string& path) {
    SerialPortInfo port;
    port.argument = path;
    port.name = path;
    return port;
}

TEST(PortListPrinter, WindowsPortsShowTheNumberToGiveThenTheComNameAndFriendlyName) {
    const std::vector<SerialPortInfo> ports = {
        windowsPort("3", "COM3", "Silicon Labs CP210x USB to UART Bridge (COM3)"),
        windowsPort("12", "COM12", "\\Device\\Serial0"),
        windowsPort("", "LPT-ish", ""),
    };
    EXPECT_EQ(formatSerialPorts(ports),
              "3   COM3     Silicon Labs CP210x USB to UART Bridge (COM3)\n"
              "12  COM12    \\Device\\Serial0\n"
              "-   LPT-ish\n");
}

TEST(PortListPrinter, LinuxPortsShowThePathAndWhatIsBehindIt) {
    SerialPortInfo usb = linuxPort("/dev/ttyUSB0");
    usb.usb = UsbIdentity{"10c4", "ea60", "Silicon Labs", "CP2102 USB to UART Bridge Controller", "0001"};
    usb.byIdName = "usb-Silicon_Labs_CP2102-if00-port0";
    SerialPortInfo link = linuxPort("/dev/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0");
    link.linkedTo = "/dev/ttyUSB0";
    link.usb = usb.usb;
    SerialPortInfo acm = linuxPort("/dev/ttyACM0");
    acm.usb = UsbIdentity{"2e8a", "000a", "", "Mic4", ""};
    const std::vector<SerialPortInfo> ports = {link, acm, linuxPort("/dev/ttyS0"), usb};
    EXPECT_EQ(formatSerialPorts(ports),
              "/dev/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0  link to /dev/ttyUSB0; USB 10c4:ea60 Silicon "
              "Labs CP2102 USB to UART Bridge Controller, serial 0001\n"
              "/dev/ttyACM0                                          USB 2e8a:000a Mic4\n"
              "/dev/ttyS0\n"
              "/dev/ttyUSB0                                          USB 10c4:ea60 Silicon Labs CP2102 USB to UART "
              "Bridge Controller, serial 0001; by-id usb-Silicon_Labs_CP2102-if00-port0\n");
}

TEST(PortListPrinter, NoPortsNoLines) {
    EXPECT_EQ(formatSerialPorts({}), "");
}

}  // namespace
