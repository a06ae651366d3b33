#pragma once

#include <cstdint>

namespace quorvane::platform {

// A wall-clock reading in the form the Windows runtime's _ftime fills in:
// 32-bit seconds since 1970 and milliseconds 0-999. The time-zone fields
// travel with it and are never read.
struct FtimeStamp {
    std::int32_t time = 0;
    std::uint16_t millitm = 0;
    std::int16_t timezone = 0;
    std::int16_t dstflag = 0;
};

FtimeStamp wallClockNow();

// Milliseconds from `from` to `to` in 32-bit two's-complement arithmetic,
// read as unsigned: a clock set back yields a huge value, so anything that
// waits on it counts as expired rather than waiting for ever.
std::uint32_t elapsedMilliseconds(const FtimeStamp& from, const FtimeStamp& to);

}  // namespace quorvane::platform
