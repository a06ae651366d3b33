#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "serial/comm_settings_win32.h"
#include "serial/port_list.h"
#include "serial/serial_port.h"

namespace quorvane {
namespace testing {
namespace {

DCB recordFor(std::uint8_t parity, std::uint8_t stopBits) {
    return lineRecord({115200, parity, 8, stopBits});
}

TEST(SerialPortWin32, PortNumbersTakeTheShortFormUpToEightAndThePrefixedFormFromNine) {
    EXPECT_EQ(serialPortName(1), "COM1");
    EXPECT_EQ(serialPortName(8), "COM8");
    EXPECT_EQ(serialPortName(9), "\\\\.\\COM9");
    EXPECT_EQ(serialPortName(12), "\\\\.\\COM12");
    EXPECT_EQ(serialPortName(0), "");
    EXPECT_EQ(serialPortName(-1), "");
}

// Binary mode is the only one Windows has; some USB serial drivers refuse a
// record without it.
TEST(SerialPortWin32, LineRecordIsBinaryWithEveryOtherFlagOffAndTheParityAndStopBitTables) {
    const DCB plain = recordFor(0, 1);
    EXPECT_EQ(plain.DCBlength, 28u);
    EXPECT_EQ(plain.BaudRate, 115200u);
    EXPECT_EQ(plain.ByteSize, 8);
    EXPECT_EQ(plain.fBinary, 1u);
    EXPECT_EQ(plain.fParity | plain.fDsrSensitivity | plain.fErrorChar | plain.fNull | plain.fAbortOnError, 0u);
    EXPECT_EQ(plain.fOutxCtsFlow | plain.fOutxDsrFlow | plain.fOutX | plain.fInX, 0u);
    EXPECT_EQ(plain.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(plain.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    EXPECT_EQ(plain.XonLim | plain.XoffLim, 0);

    EXPECT_EQ(recordFor(1, 1).Parity, ODDPARITY);
    EXPECT_EQ(recordFor(2, 1).Parity, EVENPARITY);
    EXPECT_EQ(recordFor(3, 1).Parity, MARKPARITY);
    EXPECT_EQ(recordFor(4, 1).Parity, NOPARITY);
    EXPECT_EQ(recordFor(0, 1).StopBits, ONESTOPBIT);
    EXPECT_EQ(recordFor(0, 0).StopBits, ONESTOPBIT);
    EXPECT_EQ(recordFor(0, 2).StopBits, TWOSTOPBITS);
    EXPECT_EQ(recordFor(0, 3).StopBits, ONE5STOPBITS);
}

std::vector<std::string> dosComDevices() {
    std::vector<char> names(1 << 16);
    const DWORD length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
    std::vector<std::string> ports;
    for (const char* name = names.data(); length != 0 && *name != '\0'; name += std::strlen(name) + 1) {
        if (std::strncmp(name, "COM", 3) == 0) {
            ports.push_back(name);
        }
    }
    return ports;
}

int portNumber(const std::string& name) {
    return std::atoi(name.c_str() + 3);
}

TEST(SerialPortWin32, ListingHoldsTheComDevicesOfTheSystemInNumberOrder) {
    const std::vector<std::string> system = dosComDevices();
    if (system.empty()) {
        GTEST_SKIP() << "this system has no COM device to list (Wine maps one per serial device of "
                        "the host)";
    }
    const std::vector<SerialPortInfo> ports = listSerialPorts();
    for (const std::string& name : system) {
        EXPECT_TRUE(std::any_of(ports.begin(), ports.end(), [&name](const SerialPortInfo& port) {
            return port.name == name;
        })) << name;
    }
    // The argument is the number the tool takes, and it opens that port.
    for (const SerialPortInfo& port : ports) {
        SCOPED_TRACE(port.name);
        ASSERT_FALSE(port.argument.empty());
        EXPECT_EQ("COM" + port.argument, port.name);
        EXPECT_NE(serialPortName(std::atoi(port.argument.c_str())).find(port.name), std::string::npos);
        EXPECT_FALSE(port.friendlyName.empty()) << "a friendly or at least a kernel device name";
    }
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(), [](const SerialPortInfo& left, const SerialPortInfo& right) {
        return portNumber(left.name) < portNumber(right.name);
    }));
}

}  // namespace
}  // namespace testing
}  // namespace quorvane
