#include "platform/text_stream.h"

#include <io.h>
#include <windows.h>

#include "platform/utf16_win32.h"

namespace quorvane::platform {

namespace {

HANDLE consoleOf(std::FILE* stream) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

void putText(std::FILE* stream, const std::string& text) {
    const HANDLE console = consoleOf(stream);
    if (console == nullptr) {
        std::fwrite(text.data(), 1, text.size(), stream);
        std::fflush(stream);
        return;
    }
    // Whatever the runtime still buffers goes first, to keep the order.
    std::fflush(stream);
    const std::wstring characters = utf16FromUtf8(text);
    DWORD written = 0;
    WriteConsoleW(console, characters.data(), static_cast<DWORD>(characters.size()), &written, nullptr);
}

}  // namespace quorvane::platform
