#pragma once

#include <string>
#include <vector>

// Stores the arguments after the program's name (UTF-8) in the run-wide
// values: the network name, pass phrase, port and record time as typed, and
// the channel-3 switch, which counts only as the last of exactly five
// arguments and only when atoi gives 1.
void storeRunArguments(const std::vector<std::string>& arguments);

// Why the stored arguments cannot drive a run, or empty when they can: a port
// that is neither a positive COM number nor (on POSIX) a device path, or a
// line break that would let an argument end the device's command line early
// and inject another command.
std::string runArgumentsProblem();

// True when the port argument names a device (a path) rather than a COM number.
bool portArgumentIsDevicePath(const std::string& port);

// How the console lines name the port: "COM<n>" for a number, the path as typed.
std::string portLabel(const std::string& port);
