#include "run/command_line.h"

#include <cstdlib>
#include <string>

#include "run/port_argument.h"
#include "run/run_config.h"

namespace {

bool isPositiveDecimal(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    return std::atoi(text.c_str()) > 0;
}

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

std::string lineBreakProblem(const char* what) {
    return std::string(what) +
           " contains a line break, which would end the device's command line early; "
           "remove it";
}

}  // namespace

void storeRunArguments(const std::vector<std::string>& arguments) {
    g_convertCh3 = arguments.size() == 5 && std::atoi(arguments[4].c_str()) == 1;
    g_wifiSsid = arguments[0];
    g_wifiPassword = arguments[1];
    g_comPort = arguments[2];
    g_recordTime = arguments[3];
}

bool portArgumentIsDevicePath(const std::string& port) {
    return acceptsDevicePaths() && !port.empty() && port.front() == '/';
}

std::string portLabel(const std::string& port) {
    return portArgumentIsDevicePath(port) ? port : "COM" + port;
}

std::string runArgumentsProblem() {
    if (!isPositiveDecimal(g_comPort) && !portArgumentIsDevicePath(g_comPort)) {
        return "\"" + g_comPort + "\" is not a serial port: " + portArgumentHint();
    }
    if (hasLineBreak(g_wifiSsid)) {
        return lineBreakProblem("the Wi-Fi network name");
    }
    if (hasLineBreak(g_wifiPassword)) {
        return lineBreakProblem("the Wi-Fi pass phrase");
    }
    if (hasLineBreak(g_recordTime)) {
        return lineBreakProblem("the record time");
    }
    return {};
}
