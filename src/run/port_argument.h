#pragma once

#include <string>

// Whether a port argument may be a device path (POSIX) or only a COM number.
bool acceptsDevicePaths();

// What a valid port argument looks like on this system, for error messages.
std::string portArgumentHint();
