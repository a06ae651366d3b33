#pragma once

#include <cstdint>
#include <vector>

namespace quorvane::provisioning {

// An IPv4 network this computer is attached to: the address of one of its
// interfaces and that network's mask, both in host byte order.
struct AttachedNetwork {
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
};

// The networks of the interfaces that are up; `error` holds the system's
// code when they could not be listed (the list is empty then).
struct AttachedNetworks {
    std::vector<AttachedNetwork> networks;
    int error = 0;
};

// Lists them: getifaddrs on POSIX systems, GetAdaptersAddresses on Windows.
AttachedNetworks attachedNetworks();

}  // namespace quorvane::provisioning
