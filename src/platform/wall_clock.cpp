#include "platform/wall_clock.h"

namespace quorvane::platform {

std::uint32_t elapsedMilliseconds(const FtimeStamp& from, const FtimeStamp& to) {
    const std::uint32_t seconds = static_cast<std::uint32_t>(to.time) - static_cast<std::uint32_t>(from.time);
    const std::uint32_t millis = static_cast<std::uint32_t>(to.millitm) - static_cast<std::uint32_t>(from.millitm);
    return seconds * 1000u + millis;
}

}  // namespace quorvane::platform
