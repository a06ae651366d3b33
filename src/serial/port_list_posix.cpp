#include "serial/port_list_posix.h"

#include <dirent.h>
#include <sys/stat.h>

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

bool isPortName(const std::string& name) {
    return std::any_of(std::begin(kPortPrefixes), std::end(kPortPrefixes),
                       [&name](const char* prefix) { return startsWith(name, prefix); });
}

// Linux makes a ttyS node for every UART slot it reserves; the port's type is
// 0 (unknown) unless a UART answers there.
bool hasUart(const PortListFolders& folders, const std::string& name) {
    std::ifstream typeFile(folders.ttyClass + "/" + name + "/type");
    int type = 0;
    return static_cast<bool>(typeFile >> type) && type != 0;
}

struct ByIdLinks {
    std::vector<SerialPortInfo> ports;
    std::map<std::string, std::string> nameByTarget;
};

ByIdLinks byIdLinks(const std::string& devices) {
    const std::string folder = devices + "/serial/by-id";
    ByIdLinks links;
    for (const std::string& name : sortedEntries(folder)) {
        const std::string path = folder + "/" + name;
        const std::string target = resolvedPath(path);
        if (!target.empty() && isCharacterDevice(target)) {
            links.ports.push_back({path, "link to " + target});
            links.nameByTarget.emplace(target, name);
        }
    }
    return links;
}

}  // namespace

std::vector<SerialPortInfo> listSerialPorts(const PortListFolders& folders) {
    ByIdLinks links = byIdLinks(folders.devices);
    std::vector<SerialPortInfo> ports = links.ports;
    for (const std::string& name : sortedEntries(folders.devices)) {
        const std::string path = folders.devices + "/" + name;
        if (!isPortName(name) || !isCharacterDevice(path) || (startsWith(name, "ttyS") && !hasUart(folders, name))) {
            continue;
        }
        const auto link = links.nameByTarget.find(resolvedPath(path));
        ports.push_back({path, link != links.nameByTarget.end() ? link->second : ""});
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
