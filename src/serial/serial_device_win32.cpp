#include <windows.h>

#include "serial/comm_settings_win32.h"
#include "serial/serial_device.h"

namespace quorvane {
namespace device {
namespace {

constexpr DWORD kQueueBytes = 1024;

HANDLE toHandle(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

OpenFailure failureKind(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return OpenFailure::Missing;
        // A COM port that another program holds answers "access denied".
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return OpenFailure::Busy;
        default:
            return OpenFailure::Other;
    }
}

std::string systemMessage(DWORD code) {
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "system error " + std::to_string(code) : message;
}

OpenError openErrorFor(DWORD code) {
    return {static_cast<int>(code), failureKind(code), systemMessage(code)};
}

// Returns 0 or the error of the step that failed.
DWORD configure(HANDLE port, const LineSettings& line, const SerialTimeouts& timeouts) {
    if (!SetupComm(port, kQueueBytes, kQueueBytes)) {
        return GetLastError();
    }
    DCB record = lineRecord(line);
    if (!SetCommState(port, &record)) {
        return GetLastError();
    }
    COMMTIMEOUTS limits = commTimeouts(timeouts);
    SetCommTimeouts(port, &limits);
    PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR);
    return 0;
}

// Clears any line error, which would stall the port, and says how many bytes
// wait in the input queue.
DWORD clearLineErrors(HANDLE port) {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(port, &errors, &status) ? status.cbInQue : 0;
}

}  // namespace

NativeHandle open(const std::string& name, const LineSettings& line, const SerialTimeouts& timeouts, OpenError& error) {
    const HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        error = openErrorFor(GetLastError());
        return kNoHandle;
    }
    const DWORD failure = configure(port, line, timeouts);
    if (failure != 0) {
        CloseHandle(port);
        error = openErrorFor(failure);
        return kNoHandle;
    }
    return reinterpret_cast<NativeHandle>(port);
}

void close(NativeHandle handle) {
    CloseHandle(toHandle(handle));
}

std::int32_t write(NativeHandle handle, const void* data, std::int32_t length, const SerialTimeouts&) {
    DWORD written = 0;
    if (!WriteFile(toHandle(handle), data, static_cast<DWORD>(length), &written, nullptr)) {
        return 0;
    }
    return static_cast<std::int32_t>(written);
}

// The time-outs were given to the port at open; ReadFile applies them.
std::int32_t read(NativeHandle handle, void* buffer, std::int32_t capacity, const SerialTimeouts&) {
    const HANDLE port = toHandle(handle);
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) {
        return 0;
    }
    std::int32_t count = 0;
    if (clearLineErrors(port) > 0) {
        DWORD received = 0;
        if (ReadFile(port, buffer, static_cast<DWORD>(capacity), &received, &overlapped)) {
            count = static_cast<std::int32_t>(received);
        } else {
            clearLineErrors(port);
        }
    }
    CloseHandle(overlapped.hEvent);
    return count;
}

}  // namespace device
}  // namespace quorvane
