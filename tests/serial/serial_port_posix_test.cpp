#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "pty.h"
#include "serial/port_list_posix.h"
#include "serial/serial_port.h"

namespace {

// The errno with which TIOCEXCL is refused, as an old kernel or a driver
// without exclusive mode refuses it; 0 lets every request through.
std::atomic<int> exclusiveModeRefusal{0};

}  // namespace

// Stands in for the C library's ioctl within this test program, the serial
// code linked into it included.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    using Ioctl = int (*)(int, unsigned long, ...);
    static const auto systemIoctl = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
    if (request == TIOCEXCL && exclusiveModeRefusal != 0) {
        errno = exclusiveModeRefusal;
        return -1;
    }
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return systemIoctl(fd, request, argument);
}

namespace quorvane {
namespace testing {
namespace {

termios settingsAfterOpen(std::uint8_t parity, std::uint8_t stopBits) {
    Pty pty;
    SerialPort port;
    termios settings{};
    EXPECT_TRUE(port.open(pty.slavePath(), 115200, parity, 8, stopBits));
    tcgetattr(pty.slave(), &settings);
    return settings;
}

TEST(SerialPortPosix, OpenSetsARawEightBitLineWithoutFlowControl) {
    const termios line = settingsAfterOpen(0, 1);
    EXPECT_EQ(cfgetispeed(&line), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(line.c_cflag & CREAD, 0u);
    EXPECT_NE(line.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(line.c_cc[VMIN], 0);
    EXPECT_EQ(line.c_cc[VTIME], 0);
}

// A pty keeps no PARENB; the odd/even choice (PARODD) and the stop bits
// show what open asked for.
TEST(SerialPortPosix, ParityAndStopBitArgumentsFollowTheWindowsTables) {
    EXPECT_NE(settingsAfterOpen(1, 1).c_cflag & PARODD, 0u);
    EXPECT_EQ(settingsAfterOpen(2, 1).c_cflag & PARODD, 0u);
    EXPECT_EQ(settingsAfterOpen(4, 1).c_cflag & PARODD, 0u);
    EXPECT_NE(settingsAfterOpen(0, 2).c_cflag & CSTOPB, 0u);
    EXPECT_NE(settingsAfterOpen(0, 3).c_cflag & CSTOPB, 0u);
    EXPECT_EQ(settingsAfterOpen(0, 1).c_cflag & CSTOPB, 0u);
    EXPECT_EQ(settingsAfterOpen(0, 0).c_cflag & CSTOPB, 0u);
}

TEST(SerialPortPosix, UnsupportedLineSettingsFailToOpen) {
    Pty pty;
    SerialPort port;
    EXPECT_FALSE(port.open(pty.slavePath(), 12345, 0, 8, 1));
    EXPECT_EQ(port.lastOpenError().kind, OpenFailure::Other);
    EXPECT_FALSE(port.open(pty.slavePath(), 115200, 0, 9, 1));
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.open(pty.slavePath(), 9600, 0, 7, 1));
}

class RefusedExclusiveMode {
public:
    explicit RefusedExclusiveMode(int error) { exclusiveModeRefusal = error; }
    ~RefusedExclusiveMode() { exclusiveModeRefusal = 0; }
};

// A refusal that only says the driver has no exclusive mode leaves the port
// claimed by the advisory lock, so a second opener is still turned away; any
// other refusal fails the open.
TEST(SerialPortPosix, PortWhoseDriverHasNoExclusiveModeOpensAndTheLockStillClaimsIt) {
    struct Case {
        int refusal;
        bool opens;
    };
    for (const Case& refused : {Case{EINVAL, true}, Case{ENOTTY, true}, Case{EIO, false}}) {
        SCOPED_TRACE(std::strerror(refused.refusal));
        Pty pty;
        RefusedExclusiveMode refusal(refused.refusal);
        SerialPort port;
        ASSERT_EQ(port.open(pty.slavePath(), 115200, kNoParity, 8, kOneStopBit), refused.opens);
        if (!refused.opens) {
            EXPECT_EQ(port.lastOpenError().code, EIO);
            continue;
        }
        SerialPort second;
        EXPECT_FALSE(second.open(pty.slavePath(), 115200, kNoParity, 8, kOneStopBit));
        EXPECT_EQ(second.lastOpenError().kind, OpenFailure::Busy);
    }
}

TEST(SerialPortPosix, PortNumbersNameTheTtySDevices) {
    EXPECT_EQ(serialPortName(1), "/dev/ttyS0");
    EXPECT_EQ(serialPortName(12), "/dev/ttyS11");
    EXPECT_EQ(serialPortName(0), "");
    EXPECT_EQ(serialPortName(-3), "");
}

class PortListing : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorvane-ports-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folders.devices = std::string(pattern) + "/dev";
        folders.ttyClass = std::string(pattern) + "/class";
        root = pattern;
        makeFolder(folders.devices + "/serial/by-id");
    }

    void TearDown() override { std::filesystem::remove_all(root); }

    static void makeFolder(const std::string& path) { std::filesystem::create_directories(path); }

    void link(const std::string& target, const std::string& name) {
        ASSERT_EQ(symlink(target.c_str(), (folders.devices + "/" + name).c_str()), 0) << name;
    }

    void uartType(const std::string& name, int type) {
        makeFolder(folders.ttyClass + "/" + name);
        std::ofstream(folders.ttyClass + "/" + name + "/type") << type << "\n";
    }

    std::string root;
    PortListFolders folders;
    Pty pty;
    Pty otherPty;
};

TEST_F(PortListing, ListsByIdLinksAndPortDevicesThatExist) {
    link(pty.slavePath(), "ttyUSB0");
    link(otherPty.slavePath(), "cu.usbserial-110");
    link("../../ttyUSB0", "serial/by-id/usb-Quorvane_Mic4-if00-port0");
    link("/dev/quorvane-unplugged", "ttyACM3");
    std::ofstream(folders.devices + "/ttyUSB9") << "not a device";
    link(otherPty.slavePath(), "ttyS0");
    link(otherPty.slavePath(), "ttyS1");
    uartType("ttyS0", 4);
    uartType("ttyS1", 0);

    const std::vector<SerialPortInfo> ports = listSerialPorts(folders);

    const std::string devices = folders.devices + "/";
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0].name, devices + "serial/by-id/usb-Quorvane_Mic4-if00-port0");
    EXPECT_EQ(ports[0].description, "link to " + pty.slavePath());
    EXPECT_EQ(ports[1].name, devices + "cu.usbserial-110");
    EXPECT_EQ(ports[2].name, devices + "ttyS0");
    EXPECT_EQ(ports[3].name, devices + "ttyUSB0");
    EXPECT_EQ(ports[3].description, "usb-Quorvane_Mic4-if00-port0");
    EXPECT_EQ(ports[1].description, "");
}

TEST_F(PortListing, EmptyOrMissingFoldersListNothing) {
    EXPECT_TRUE(listSerialPorts(folders).empty());
    folders.devices = root + "/nowhere";
    EXPECT_TRUE(listSerialPorts(folders).empty());
}

}  // namespace
}  // namespace testing
}  // namespace quorvane
