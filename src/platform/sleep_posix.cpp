#include "platform/sleep.h"

#include <cerrno>
#include <ctime>

namespace quorvane::platform {

void sleepMilliseconds(unsigned milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace quorvane::platform
