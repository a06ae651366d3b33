#include "provisioning/attached_networks.h"

#include "net/socket_platform.h"

// After the socket headers, which it needs.
#include <iphlpapi.h>

namespace quorvane::provisioning {

namespace {

// What Windows suggests for a first try; the call says when it needs more.
constexpr ULONG kFirstBufferSize = 15 * 1024;
// Adapters may come and go between two calls, each time needing more room.
constexpr int kAttempts = 3;
constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;

std::uint32_t prefixMask(unsigned prefixLength) {
    return prefixLength == 0 ? 0 : ~std::uint32_t{0} << (32 - (prefixLength > 32 ? 32 : prefixLength));
}

void addUnicastNetworks(const IP_ADAPTER_ADDRESSES& adapter, std::vector<AttachedNetwork>& networks) {
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter.FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
        const sockaddr* address = unicast->Address.lpSockaddr;
        if (address != nullptr && address->sa_family == AF_INET) {
            networks.push_back({ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr),
                                prefixMask(unicast->OnLinkPrefixLength)});
        }
    }
}

}  // namespace

AttachedNetworks attachedNetworks() {
    AttachedNetworks found;
    std::vector<unsigned char> buffer;
    ULONG size = kFirstBufferSize;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < kAttempts && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        status = GetAdaptersAddresses(AF_INET, kFlags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
                                      &size);
    }
    // No adapter at all is an empty list, not a failure.
    if (status == ERROR_NO_DATA) {
        return found;
    }
    if (status != NO_ERROR) {
        found.error = static_cast<int>(status);
        return found;
    }
    for (const auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
         adapter = adapter->Next) {
        if (adapter->OperStatus == IfOperStatusUp) {
            addUnicastNetworks(*adapter, found.networks);
        }
    }
    return found;
}

}  // namespace quorvane::provisioning
