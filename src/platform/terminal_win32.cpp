#include "platform/terminal.h"

#include <io.h>
#include <windows.h>

namespace quorvane::platform {

bool isTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

// The window, not the screen buffer: a buffer wider than its window scrolls
// sideways instead of wrapping, and what lies beyond the window is not seen.
int terminalColumns(std::FILE* stream) {
    const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (console == INVALID_HANDLE_VALUE || GetConsoleScreenBufferInfo(console, &screen) == 0) {
        return 0;
    }
    return screen.srWindow.Right - screen.srWindow.Left + 1;
}

bool enableTerminalSequences(std::FILE* stream) {
    const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || GetConsoleMode(console, &mode) == 0) {
        return false;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

}  // namespace quorvane::platform
