#pragma once

#include <string>

namespace quorvane::emulator {

constexpr const char* kDefaultLoopback = "127.0.0.1";

// True for a dotted IPv4 address inside 127.0.0.0/8.
bool isLoopbackAddress(const std::string& address);

// The emulator only ever connects to this machine: any other address the
// host asks for is replaced by 127.0.0.1.
std::string loopbackTarget(const std::string& requested);

}  // namespace quorvane::emulator
