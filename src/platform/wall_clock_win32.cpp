#include "platform/wall_clock.h"

#include <sys/timeb.h>

namespace quorvane::platform {

FtimeStamp wallClockNow() {
    _timeb now{};
    _ftime(&now);
    FtimeStamp stamp;
    stamp.time = static_cast<std::int32_t>(now.time);
    stamp.millitm = now.millitm;
    stamp.timezone = now.timezone;
    stamp.dstflag = now.dstflag;
    return stamp;
}

}  // namespace quorvane::platform
