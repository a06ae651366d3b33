#include "serial/port_list_posix.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>

#include "serial/serial_port.h"

namespace quorvane {
namespace {

constexpr const char* kPortPrefixes[] = {"ttyUSB", "ttyACM", "cu.", "ttyS"};

std::vector<std::string> sortedEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(directory);
    std::sort(names.begin(), names.end());
    return names;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool isCharacterDevice(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

std::string resolvedPath(const std::string& path) {
    char resolved[PATH_MAX] = {};
    return realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

bool exists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// The name a link points to, one step only: "ttyUSB0" for a by-id link to
// "../../ttyUSB0".
std::string linkTargetName(const std::string& path) {
    char target[PATH_MAX] = {};
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    return length > 0 ? baseName(std::string(target, static_cast<std::size_t>(length))) : "";
}

// The first line of a sysfs attribute, without the trailing blanks some
// devices pad their strings with.
std::string attribute(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line.substr(0, line.find_last_not_of(" \t\r") + 1);
}

bool isPortName(const std::string& name) {
    return std::any_of(std::begin(kPortPrefixes), std::end(kPortPrefixes),
                       [&name](const char* prefix) { return startsWith(name, prefix); });
}

// Linux makes a ttyS node for every UART slot it reserves; the port's type is
// 0 (unknown) unless a UART answers there.
bool hasUart(const PortListFolders& folders, const std::string& name) {
    std::ifstream typeFile(folders.sysfs + "/class/tty/" + name + "/type");
    int type = 0;
    return static_cast<bool>(typeFile >> type) && type != 0;
}

UsbIdentity readUsbIdentity(const std::string& folder) {
    return {attribute(folder + "/idVendor"), attribute(folder + "/idProduct"), attribute(folder + "/manufacturer"),
            attribute(folder + "/product"), attribute(folder + "/serial")};
}

// A tty's device folder in sysfs is the port or the USB interface; the USB
// device that names itself (idVendor, idProduct) is one of the folders above
// it, within the sysfs root.
std::optional<UsbIdentity> usbIdentity(const PortListFolders& folders, const std::string& ttyName) {
    const std::string root = resolvedPath(folders.sysfs);
    std::string folder = resolvedPath(folders.sysfs + "/class/tty/" + ttyName + "/device");
    while (!root.empty() && startsWith(folder, root + "/")) {
        if (exists(folder + "/idVendor") && exists(folder + "/idProduct")) {
            return readUsbIdentity(folder);
        }
        folder.erase(folder.rfind('/'));
    }
    return std::nullopt;
}

// On POSIX systems the tool takes the port's path as it is.
SerialPortInfo pathPort(const std::string& path) {
    SerialPortInfo port;
    port.argument = path;
    port.name = path;
    return port;
}

struct ByIdLinks {
    std::vector<SerialPortInfo> ports;
    std::map<std::string, std::string> nameByTarget;
};

ByIdLinks byIdLinks(const PortListFolders& folders) {
    const std::string folder = folders.devices + "/serial/by-id";
    ByIdLinks links;
    for (const std::string& name : sortedEntries(folder)) {
        const std::string path = folder + "/" + name;
        const std::string target = resolvedPath(path);
        if (!target.empty() && isCharacterDevice(target)) {
            SerialPortInfo port = pathPort(path);
            port.linkedTo = target;
            port.usb = usbIdentity(folders, linkTargetName(path));
            links.ports.push_back(port);
            links.nameByTarget.emplace(target, name);
        }
    }
    return links;
}

}  // namespace

std::vector<SerialPortInfo> listSerialPorts(const PortListFolders& folders) {
    ByIdLinks links = byIdLinks(folders);
    std::vector<SerialPortInfo> ports = links.ports;
    for (const std::string& name : sortedEntries(folders.devices)) {
        const std::string path = folders.devices + "/" + name;
        if (!isPortName(name) || !isCharacterDevice(path) || (startsWith(name, "ttyS") && !hasUart(folders, name))) {
            continue;
        }
        SerialPortInfo port = pathPort(path);
        port.usb = usbIdentity(folders, name);
        const auto link = links.nameByTarget.find(resolvedPath(path));
        port.byIdName = link != links.nameByTarget.end() ? link->second : "";
        ports.push_back(port);
    }
    return ports;
}

std::vector<SerialPortInfo> listSerialPorts() {
    return listSerialPorts(PortListFolders());
}

std::string serialPortName(int port) {
    return port > 0 ? "/dev/ttyS" + std::to_string(port - 1) : "";
}

}  // namespace quorvane
