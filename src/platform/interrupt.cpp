#include "platform/interrupt.h"

namespace platform {

int exitStatusFor(Interruption interruption) {
    // 128 + the POSIX signal number; the numbers are POSIX's own, the same
    // on every system (Windows has no SIGHUP).
    constexpr int kSignalBase = 128;
    switch (interruption) {
        case Interruption::HangUp:
            return kSignalBase + 1;
        case Interruption::Terminate:
            return kSignalBase + 15;
        case Interruption::Interrupt:
            break;
    }
    // 130 = 128 + SIGINT (2): what shells report for a program ended by Ctrl-C.
    return kSignalBase + 2;
}

}  // namespace platform
