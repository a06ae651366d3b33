#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "run/port_argument.h"

namespace {

// Linux tells a device's class without opening it: /sys/dev/char/<major>:<minor>
// leads to its subsystem, "tty" for every terminal. Empty when the system
// has no such entry (pseudo-terminals, other systems).
std::string deviceClass(dev_t device) {
    const std::string link =
        "/sys/dev/char/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) + "/subsystem";
    char target[PATH_MAX] = {};
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return {};
    }
    const std::string path(target, static_cast<std::size_t>(length));
    return path.substr(path.rfind('/') + 1);
}

// Opening a serial port raises its modem lines, which some devices take as a
// reset, so the device is opened only when the system cannot tell otherwise.
PortPathKind examineCharacterDevice(const std::string& path, dev_t device) {
    const std::string kind = deviceClass(device);
    if (!kind.empty()) {
        return kind == "tty" ? PortPathKind::Terminal : PortPathKind::DeviceNotTerminal;
    }
    const int descriptor = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return PortPathKind::Unexamined;
    }
    const bool terminal = isatty(descriptor) == 1;
    close(descriptor);
    return terminal ? PortPathKind::Terminal : PortPathKind::DeviceNotTerminal;
}

}  // namespace

bool acceptsDevicePaths() {
    return true;
}

std::string portArgumentHint() {
    return "give a COM port number (1 for COM1, mapped to /dev/ttyS0) or a device path such as "
           "/dev/ttyUSB0 or /dev/ttyACM0";
}

const char* portHelp() {
    return "  PORT         serial port of the device: a device path such as /dev/ttyUSB0\n"
           "               or /dev/ttyACM0, or a COM port number n (or COMn), which is\n"
           "               /dev/ttyS<n-1>\n";
}

const char* helpExamples() {
    return "examples:\n"
           "  ./quorvane-capture LabWiFi \"correct horse\" /dev/ttyUSB0 30 1\n"
           "  ./quorvane-capture LabWiFi - /dev/ttyUSB0 30 < pass-phrase.txt\n";
}

PortPathKind examinePortPath(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return errno == ENOENT ? PortPathKind::Absent : PortPathKind::Unexamined;
    }
    if (S_ISDIR(status.st_mode)) {
        return PortPathKind::Folder;
    }
    if (S_ISREG(status.st_mode)) {
        return PortPathKind::RegularFile;
    }
    if (!S_ISCHR(status.st_mode)) {
        return PortPathKind::OtherFile;
    }
    return examineCharacterDevice(path, status.st_rdev);
}
