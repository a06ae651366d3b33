#pragma once

#include <string>

// Whether a port argument may be a device path (POSIX) or only a COM number.
bool acceptsDevicePaths();

// What a valid port argument looks like on this system, for error messages.
std::string portArgumentHint();

// The PORT lines of --help and its examples, as this system takes ports.
const char* portHelp();
const char* helpExamples();

// What a device path given as the port names.
enum class PortPathKind {
    Absent,             // nothing yet: the device may be plugged in later
    Terminal,           // a terminal device, as a serial port is
    Folder,             // a directory
    RegularFile,        // a file
    DeviceNotTerminal,  // a device that is no terminal, such as /dev/null
    OtherFile,          // a pipe, a socket or a block device
    Unexamined,         // it could not be looked at: the link's own opening will say why
};

// Looks at a device path without touching a serial device where the system
// can tell otherwise. Only systems that accept device paths look; elsewhere
// the answer is Unexamined.
PortPathKind examinePortPath(const std::string& path);
