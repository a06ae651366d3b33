#include "platform/sleep.h"

#include <windows.h>

namespace quorvane::platform {

void sleepMilliseconds(unsigned milliseconds) {
    Sleep(milliseconds);
}

}  // namespace quorvane::platform
