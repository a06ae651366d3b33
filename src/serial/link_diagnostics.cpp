#include "serial/link_diagnostics.h"

#include "platform/diagnostics.h"

namespace quorvane {
namespace {

std::string unavailableMessage(const std::string& portName, const OpenError& error) {
    const std::string reason = " (" + error.description + ")";
    switch (error.kind) {
        case OpenFailure::Missing:
            return "serial port " + portName + " not found" + reason +
                   "; check the port and that the device is plugged in; still trying";
        case OpenFailure::Busy:
            return "serial port " + portName + " is in use by another program" + reason +
                   "; close that program (a serial terminal, another copy of this tool); still trying";
        case OpenFailure::NoPermission:
            return "no permission to open serial port " + portName + reason +
                   "; on Linux join the dialout group: sudo usermod -aG dialout $USER, then log in "
                   "again; still trying";
        default:
            return "cannot open serial port " + portName + reason + "; still trying";
    }
}

}  // namespace

void StderrLinkDiagnostics::portUnavailable(const std::string& portName, const OpenError& error) {
    if (portName.empty()) {
        say("no serial port to open: port numbers start at 1");
        return;
    }
    say(unavailableMessage(portName, error));
}

void StderrLinkDiagnostics::deviceSilent(const std::string& portName) {
    say("serial port " + portName +
        " is open but the device does not answer; check that it is powered and running its "
        "firmware; still trying");
}

void StderrLinkDiagnostics::linkLost(const std::string& portName) {
    say("the device on serial port " + portName + " stopped answering; reopening the port");
}

void StderrLinkDiagnostics::say(const std::string& message) {
    platform::diagnose("%s\n", message.c_str());
}

}  // namespace quorvane
