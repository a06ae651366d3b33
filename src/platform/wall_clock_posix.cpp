#include "platform/wall_clock.h"

#include <ctime>

namespace quorvane::platform {

FtimeStamp wallClockNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    FtimeStamp stamp;
    stamp.time = static_cast<std::int32_t>(now.tv_sec);
    stamp.millitm = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
    return stamp;
}

}  // namespace quorvane::platform
