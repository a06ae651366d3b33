#include <windows.h>

// initguid.h makes devguid.h define the GUIDs it names in this file.
#include <initguid.h>

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "serial/port_list.h"
#include "serial/serial_port.h"

namespace quorvane {
namespace {

using NamedPorts = std::map<std::string, std::string>;

// Every COM port that a driver has started, with its kernel device name
// (until a friendly name replaces it).
void addRegisteredPorts(NamedPorts& ports) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    for (DWORD index = 0;; ++index) {
        char device[256] = {};
        char portName[64] = {};
        DWORD deviceLength = sizeof device;
        DWORD portNameLength = sizeof portName - 1;
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, index, device, &deviceLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(portName), &portNameLength);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result == ERROR_SUCCESS && type == REG_SZ) {
            ports.emplace(portName, device);
        }
    }
    RegCloseKey(key);
}

std::string devicePortName(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    const HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    char portName[64] = {};
    DWORD length = sizeof portName - 1;
    DWORD type = 0;
    const bool found = RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName), &length) ==
                           ERROR_SUCCESS &&
                       type == REG_SZ;
    RegCloseKey(key);
    return found ? portName : "";
}

std::string friendlyName(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    char name[256] = {};
    const bool found = SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                         reinterpret_cast<BYTE*>(name), sizeof name - 1, nullptr);
    return found ? name : "";
}

// The names the device manager shows ("USB Serial Port (COM3)").
void addFriendlyNames(NamedPorts& ports) {
    const HDEVINFO devices = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        const std::string portName = devicePortName(devices, device);
        const std::string name = friendlyName(devices, device);
        if (portName.compare(0, 3, "COM") == 0 && !name.empty()) {
            ports[portName] = name;
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
}

int portNumber(const std::string& name) {
    return std::atoi(name.c_str() + std::min<std::size_t>(3, name.size()));
}

// The tool takes a COM port by its number: "3" for COM3; a port named
// otherwise cannot be given to it.
std::string portArgument(const std::string& name) {
    const std::string digits = name.size() > 3 && name.compare(0, 3, "COM") == 0 ? name.substr(3) : "";
    return digits.find_first_not_of("0123456789") == std::string::npos ? digits : "";
}

}  // namespace

std::vector<SerialPortInfo> listSerialPorts() {
    NamedPorts named;
    addRegisteredPorts(named);
    addFriendlyNames(named);
    std::vector<SerialPortInfo> ports;
    for (const auto& port : named) {
        SerialPortInfo info;
        info.argument = portArgument(port.first);
        info.name = port.first;
        info.friendlyName = port.second;
        ports.push_back(info);
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& left, const SerialPortInfo& right) {
        return portNumber(left.name) < portNumber(right.name);
    });
    return ports;
}

std::string serialPortName(int port) {
    char name[32] = {};
    if (port >= 1 && port <= 8) {
        std::snprintf(name, sizeof name, "COM%d", port);
    } else if (port >= 9) {
        std::snprintf(name, sizeof name, "\\\\.\\COM%d", port);
    }
    return name;
}

}  // namespace quorvane
