#include "platform/sleep.h"

#include <windows.h>

namespace platform {

void sleepMilliseconds(unsigned milliseconds) {
    Sleep(milliseconds);
}

}  // namespace platform
