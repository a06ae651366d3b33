#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "provisioning/run_settings.h"

namespace quorvane::provisioning {

// The IPv4 address the device is told to upload to. With the device's own
// address (from its Wi-Fi reply) it is the address of the interface that
// routes to the device; otherwise, or when that fails, the first address of
// this host's name, skipping loopback addresses when another exists. Empty
// when nothing resolves.
std::string _getLocalIp(const std::string& deviceIp = "");

// Where _getLocalIp looks the addresses up: addressRoutingTo and
// hostNameAddresses, or a test's own.
struct AddressLookups {
    std::function<std::string(const std::string&)> routeTo;
    std::function<std::vector<std::string>()> hostName;
};

// _getLocalIp with the given lookups.
std::string localIpWith(const std::string& deviceIp, const AddressLookups& lookups);

// Binds and listens on TCP port 8888 for the recording server, before the run
// touches the device, so that no other program (another copy of this tool)
// can take the port until the upload. False when that fails, after printing
// the bind failure on standard output and saying why on standard error.
bool claimUploadPort();

// Starts the recording-server thread: it sends the upload request with this
// PC's address and the record time, then serves TCP port 8888 (the claimed
// socket, if claimUploadPort claimed it) until the device has connected.
// When `deviceIp` is a device's address on a network this computer is
// attached to, only that address may upload; behind a router the device's
// connections come from another address, so the first one is taken. Does
// nothing once stopRecordingServer has begun.
void _startRecord(const RunSettings& settings, const std::string& deviceIp);

// Ends a recording server still waiting for the device and waits for its
// thread; afterwards no new one starts, and the upload port is released.
void stopRecordingServer();

// How long after the upload request the firewall hint waits: the record time
// (whole seconds, as the device reads it) plus a minute.
std::chrono::milliseconds noConnectionHintDelay(const std::string& recordTime);

// The hint itself, naming the address the device was told to upload to.
std::string noConnectionHint(const std::string& localAddress);

}  // namespace quorvane::provisioning
