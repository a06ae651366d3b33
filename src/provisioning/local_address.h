#pragma once

#include <string>
#include <vector>

namespace provisioning {

// The IPv4 addresses of this host's name, in the resolver's order (Windows
// Sockets gethostbyname on Windows); empty when the name does not resolve.
std::vector<std::string> hostNameAddresses();

// The local IPv4 address of the interface that routes to `remoteAddress`,
// found with a connected UDP socket (no packet is sent); empty when there is
// no route or `remoteAddress` is not an IPv4 address.
std::string addressRoutingTo(const std::string& remoteAddress);

// True for a dotted IPv4 address such as 192.168.1.7.
bool isIpv4Address(const std::string& text);

}  // namespace provisioning
