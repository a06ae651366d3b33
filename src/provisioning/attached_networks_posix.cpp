#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cerrno>

#include "provisioning/attached_networks.h"

namespace quorvane::provisioning {

namespace {

std::uint32_t hostOrder(const sockaddr* address) {
    return ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

bool isUpIpv4(const ifaddrs& entry) {
    return entry.ifa_addr != nullptr && entry.ifa_netmask != nullptr && entry.ifa_addr->sa_family == AF_INET &&
           (entry.ifa_flags & IFF_UP) != 0;
}

}  // namespace

AttachedNetworks attachedNetworks() {
    AttachedNetworks found;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        found.error = errno;
        return found;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (isUpIpv4(*entry)) {
            found.networks.push_back({hostOrder(entry->ifa_addr), hostOrder(entry->ifa_netmask)});
        }
    }
    freeifaddrs(list);
    return found;
}

}  // namespace quorvane::provisioning
