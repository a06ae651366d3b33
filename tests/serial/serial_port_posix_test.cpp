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
#include <vector>

#include "pty.h"
#include "serial/port_list_posix.h"
#include "serial/serial_port.h"

namespace {

// The request refused and the errno it is refused with, as an old kernel or a
// driver without exclusive mode or modem lines refuses it; 0 lets every
// request through.
std::atomic<unsigned long> refusedRequest{0};
std::atomic<int> refusal{0};
// The modem lines of a UART, which the kernel raises when its port is
// opened. A pseudo-terminal has none, so the requests that change them are
// answered here, as a UART's driver would.
std::atomic<int> modemLines{TIOCM_DTR | TIOCM_RTS};

bool changesModemLines(unsigned long request) {
    return request == TIOCMBIC || request == TIOCMBIS || request == TIOCMSET;
}

void changeModemLines(unsigned long request, int lines) {
    if (request == TIOCMBIC) {
        modemLines &= ~lines;
    } else if (request == TIOCMBIS) {
        modemLines |= lines;
    } else {
        modemLines = lines;
    }
}

}  // namespace

// Stands in for the C library's ioctl within this test program, the serial
// code linked into it included.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    using Ioctl = int (*)(int, unsigned long, ...);
    static const auto systemIoctl = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (request == refusedRequest && refusal != 0) {
        errno = refusal;
        return -1;
    }
    if (changesModemLines(request)) {
        changeModemLines(request, *static_cast<const int*>(argument));
        return 0;
    }
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

class RefusedRequest {
public:
    RefusedRequest(unsigned long request, int error) {
        modemLines = TIOCM_DTR | TIOCM_RTS;
        refusedRequest = request;
        refusal = error;
    }
    ~RefusedRequest() { refusal = 0; }
};

// Open claims the port and lowers DTR and RTS, which on many boards drive the
// device's reset and boot pins. A refusal that only says the driver has no
// exclusive mode leaves the port claimed by the advisory lock, so a second
// opener is still turned away; any other refusal of exclusive mode fails the
// open. The modem lines are lowered where the driver has them.
TEST(SerialPortPosix, OpenClaimsThePortAndLowersTheModemLinesWhateverTheDriverLacks) {
    struct Case {
        const char* driver;
        unsigned long request;
        int refusal;
        bool opens;
        bool hasModemLines;
    };
    const Case cases[] = {
        {"a UART", TIOCEXCL, 0, true, true},
        {"no exclusive mode (EINVAL)", TIOCEXCL, EINVAL, true, true},
        {"no exclusive mode (ENOTTY)", TIOCEXCL, ENOTTY, true, true},
        {"exclusive mode failing (EIO)", TIOCEXCL, EIO, false, true},
        {"no modem lines (ENOTTY)", TIOCMBIC, ENOTTY, true, false},
        {"no modem lines (EINVAL)", TIOCMBIC, EINVAL, true, false},
    };
    for (const Case& driver : cases) {
        SCOPED_TRACE(driver.driver);
        Pty pty;
        RefusedRequest refused(driver.request, driver.refusal);
        SerialPort port;
        ASSERT_EQ(port.open(pty.slavePath(), 115200, kNoParity, 8, kOneStopBit), driver.opens);
        if (!driver.opens) {
            EXPECT_EQ(port.lastOpenError().code, driver.refusal);
            continue;
        }
        if (driver.hasModemLines) {
            EXPECT_EQ(modemLines & (TIOCM_DTR | TIOCM_RTS), 0) << "DTR or RTS left raised";
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
        folders.sysfs = std::string(pattern) + "/sys";
        root = pattern;
        makeFolder(folders.devices + "/serial/by-id");
    }

    void TearDown() override { std::filesystem::remove_all(root); }

    static void makeFolder(const std::string& path) { std::filesystem::create_directories(path); }

    void link(const std::string& target, const std::string& name) {
        ASSERT_EQ(symlink(target.c_str(), (folders.devices + "/" + name).c_str()), 0) << name;
    }

    void uartType(const std::string& name, int type) {
        makeFolder(folders.sysfs + "/class/tty/" + name);
        std::ofstream(folders.sysfs + "/class/tty/" + name + "/type") << type << "\n";
    }

    // A sysfs device folder and its attributes ("idVendor=10c4").
    void sysfsDevice(const std::string& folder, const std::vector<std::string>& attributes) {
        makeFolder(folders.sysfs + "/devices/" + folder);
        for (const std::string& attribute : attributes) {
            const std::size_t equals = attribute.find('=');
            std::ofstream(folders.sysfs + "/devices/" + folder + "/" + attribute.substr(0, equals))
                << attribute.substr(equals + 1) << "\n";
        }
    }

    // The tty's class entry and its device link, as the kernel lays them
    // out: class/tty/NAME is a link into the devices tree, and its `device`
    // link points back up at the port or the USB interface.
    void sysfsTty(const std::string& name, const std::string& ttyFolder, const std::string& deviceLink) {
        makeFolder(folders.sysfs + "/class/tty");
        makeFolder(folders.sysfs + "/devices/" + ttyFolder);
        ASSERT_EQ(
            symlink((folders.sysfs + "/devices/" + ttyFolder).c_str(), (folders.sysfs + "/class/tty/" + name).c_str()),
            0);
        ASSERT_EQ(symlink(deviceLink.c_str(), (folders.sysfs + "/devices/" + ttyFolder + "/device").c_str()), 0);
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
    EXPECT_EQ(ports[0].linkedTo, pty.slavePath());
    EXPECT_EQ(ports[1].name, devices + "cu.usbserial-110");
    EXPECT_EQ(ports[2].name, devices + "ttyS0");
    EXPECT_EQ(ports[3].name, devices + "ttyUSB0");
    EXPECT_EQ(ports[3].byIdName, "usb-Quorvane_Mic4-if00-port0");
    EXPECT_EQ(ports[1].byIdName, "");
    EXPECT_EQ(ports[1].linkedTo, "");
    for (const SerialPortInfo& port : ports) {
        EXPECT_EQ(port.argument, port.name) << "the tool takes the path as it is";
        EXPECT_FALSE(port.usb.has_value()) << port.name << ": no sysfs tree here";
    }
}

TEST_F(PortListing, UsbPortsNameTheirDeviceFromSysfs) {
    const std::string controller = "pci0000:00/0000:00:14.0/usb1";
    // The root hub names itself too; the nearest USB device is the one.
    sysfsDevice(controller, {"idVendor=1d6b", "idProduct=0002", "product=xHCI Host Controller"});
    sysfsDevice(controller + "/1-2", {"idVendor=10c4", "idProduct=ea60", "manufacturer=Silicon Labs",
                                      "product=CP2102 USB to UART Bridge Controller  ", "serial=0001"});
    sysfsTty("ttyUSB0", controller + "/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0", "../../../ttyUSB0");
    // An ACM port's device is the interface itself; this one gives no
    // manufacturer and no serial number.
    sysfsDevice(controller + "/1-3", {"idVendor=2e8a", "idProduct=000a", "product=Mic4"});
    sysfsTty("ttyACM0", controller + "/1-3/1-3:1.0/tty/ttyACM0", "../../../1-3:1.0");
    sysfsDevice("platform/serial8250", {});
    sysfsTty("ttyS0", "platform/serial8250/tty/ttyS0", "../../../serial8250");
    uartType("ttyS0", 4);
    // A device link that leads out of the sysfs root is not followed up.
    makeFolder(root + "/outside/usb/port");
    std::ofstream(root + "/outside/usb/idVendor") << "dead\n";
    std::ofstream(root + "/outside/usb/idProduct") << "beef\n";
    sysfsTty("ttyUSB1", "virtual/tty/ttyUSB1", root + "/outside/usb/port");
    link(pty.slavePath(), "ttyUSB0");
    for (const char* name : {"ttyACM0", "ttyS0", "ttyUSB1"}) {
        link(otherPty.slavePath(), name);
    }
    link("../../ttyUSB0", "serial/by-id/usb-Silicon_Labs_CP2102-if00-port0");

    const std::vector<SerialPortInfo> ports = listSerialPorts(folders);

    ASSERT_EQ(ports.size(), 5u);
    struct Expected {
        const char* name;
        bool usb;
        const char* vendorId;
        const char* productId;
        const char* manufacturer;
        const char* product;
        const char* serial;
    };
    const Expected expected[] = {
        {"serial/by-id/usb-Silicon_Labs_CP2102-if00-port0", true, "10c4", "ea60", "Silicon Labs",
         "CP2102 USB to UART Bridge Controller", "0001"},
        {"ttyACM0", true, "2e8a", "000a", "", "Mic4", ""},
        {"ttyS0", false, "", "", "", "", ""},
        {"ttyUSB0", true, "10c4", "ea60", "Silicon Labs", "CP2102 USB to UART Bridge Controller", "0001"},
        {"ttyUSB1", false, "", "", "", "", ""},
    };
    for (std::size_t index = 0; index < ports.size(); ++index) {
        const Expected& want = expected[index];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(ports[index].name, folders.devices + "/" + want.name);
        ASSERT_EQ(ports[index].usb.has_value(), want.usb);
        if (want.usb) {
            const UsbIdentity& usb = *ports[index].usb;
            EXPECT_EQ(usb.vendorId, want.vendorId);
            EXPECT_EQ(usb.productId, want.productId);
            EXPECT_EQ(usb.manufacturer, want.manufacturer);
            EXPECT_EQ(usb.product, want.product);
            EXPECT_EQ(usb.serial, want.serial);
        }
    }
    EXPECT_EQ(ports[3].byIdName, "usb-Silicon_Labs_CP2102-if00-port0");
}

TEST_F(PortListing, EmptyOrMissingFoldersListNothing) {
    EXPECT_TRUE(listSerialPorts(folders).empty());
    folders.devices = root + "/nowhere";
    EXPECT_TRUE(listSerialPorts(folders).empty());
}

}  // namespace
}  // namespace testing
}  // namespace quorvane
