#pragma once

#include <string>
#include <vector>

#include "provisioning/attached_networks.h"

namespace quorvane::provisioning {

// The IPv4 addresses of this host's name, in the resolver's order (Windows
// Sockets gethostbyname on Windows); empty when the name does not resolve.
std::vector<std::string> hostNameAddresses();

// The local IPv4 address of the interface that routes to `remoteAddress`,
// found with a connected UDP socket (no packet is sent); empty when there is
// no route or `remoteAddress` is not an IPv4 address.
std::string addressRoutingTo(const std::string& remoteAddress);

// True for a dotted IPv4 address such as 192.168.1.7.
bool isIpv4Address(const std::string& text);

// True for a dotted IPv4 address that a device on a network can have: not
// 0.0.0.0/8 ("this network", never a destination), not 224.0.0.0/4
// (multicast) and not 240.0.0.0/4, the block reserved for future use, which
// holds the broadcast address 255.255.255.255, is never given to a host and
// is refused as a destination by Windows and many routers. Loopback counts:
// a device on this very computer (an emulator) has it.
bool isDeviceAddress(const std::string& text);

// True when the IPv4 address `text` is on one of `networks`: a device there
// reaches this computer directly, so its connections come from its own
// address. A loopback address (127.0.0.0/8) always is: it is this very
// computer's.
bool onAttachedNetwork(const std::string& text, const std::vector<AttachedNetwork>& networks);

}  // namespace quorvane::provisioning
