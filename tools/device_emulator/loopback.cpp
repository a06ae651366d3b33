#include "device_emulator/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace quorvane::emulator {

bool isLoopbackAddress(const std::string& address) {
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
        return false;
    }
    return (ntohl(parsed.s_addr) >> 24) == 127;
}

std::string loopbackTarget(const std::string& requested) {
    return isLoopbackAddress(requested) ? requested : kDefaultLoopback;
}

}  // namespace quorvane::emulator
