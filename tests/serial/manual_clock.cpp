#include "manual_clock.h"

namespace quorvane {
namespace testing {
namespace {

platform::FtimeStamp stampAt(long long millisecondsSince1970) {
    platform::FtimeStamp stamp;
    stamp.time = static_cast<std::int32_t>(millisecondsSince1970 / 1000);
    stamp.millitm = static_cast<std::uint16_t>(millisecondsSince1970 % 1000);
    return stamp;
}

}  // namespace

ManualClock::ManualClock() {
    const platform::FtimeStamp wall = platform::wallClockNow();
    millisecondsSince1970_ =
        std::make_shared<std::atomic<long long>>(static_cast<long long>(wall.time) * 1000 + wall.millitm);
}

platform::FtimeStamp ManualClock::now() const {
    return stampAt(*millisecondsSince1970_);
}

void ManualClock::advance(std::chrono::milliseconds step) {
    *millisecondsSince1970_ += step.count();
}

LinkClock ManualClock::reading() const {
    return [shared = millisecondsSince1970_] { return stampAt(*shared); };
}

}  // namespace testing
}  // namespace quorvane
