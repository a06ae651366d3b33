#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace quorvane::platform {

bool isTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}

int terminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

bool enableTerminalSequences(std::FILE* stream) {
    return isTerminal(stream);
}

}  // namespace quorvane::platform
