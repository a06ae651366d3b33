#include <windows.h>

#include "serial/comm_settings_win32.h"
#include "serial/serial_device.h"

namespace quorvane {
namespace device {

// A manual-reset event: raised, it stays set for every later read until
// lowered. Null when it could not be made: reads then run until their
// time-outs, as they would without a cancel.
struct ReadCancel::Native {
    HANDLE event = nullptr;
};

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

// One overlapped ReadFile or WriteFile, with the event its completion sets.
class Transfer {
public:
    Transfer() { record_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~Transfer() {
        if (record_.hEvent != nullptr) {
            CloseHandle(record_.hEvent);
        }
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    bool usable() const { return record_.hEvent != nullptr; }
    OVERLAPPED* record() { return &record_; }
    HANDLE completion() const { return record_.hEvent; }

    // Whether ReadFile or WriteFile, which returned `started`, has the
    // transfer under way or done.
    static bool underWay(BOOL started) { return started || GetLastError() == ERROR_IO_PENDING; }

    // Waits until the transfer is over (the port's time-outs end it) and
    // returns the bytes it moved; false in `succeeded` when it failed or was
    // cancelled.
    DWORD finish(HANDLE port, bool& succeeded) {
        DWORD moved = 0;
        succeeded = GetOverlappedResult(port, &record_, &moved, TRUE) != FALSE;
        return moved;
    }

private:
    OVERLAPPED record_{};
};

bool isRaised(HANDLE cancel) {
    return cancel != nullptr && WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0;
}

// Waits until the read is over or the cancel is raised, which ends it early.
// The read is cancelled again until it is over: Wine misses a cancel that
// comes while it takes in bytes for the read.
void awaitReadOrCancel(HANDLE port, Transfer& read, HANDLE cancel) {
    constexpr DWORD kCancelRetryMs = 20;
    if (cancel == nullptr) {
        return;
    }
    const HANDLE events[] = {read.completion(), cancel};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
        return;
    }
    do {
        CancelIoEx(port, read.record());
    } while (WaitForSingleObject(read.completion(), kCancelRetryMs) == WAIT_TIMEOUT);
}

}  // namespace

ReadCancel::ReadCancel() : native_(std::make_unique<Native>()) {
    native_->event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

ReadCancel::~ReadCancel() {
    if (native_->event != nullptr) {
        CloseHandle(native_->event);
    }
}

void ReadCancel::raise() {
    if (native_->event != nullptr) {
        SetEvent(native_->event);
    }
}

void ReadCancel::lower() {
    if (native_->event != nullptr) {
        ResetEvent(native_->event);
    }
}

// Overlapped, so that another thread can cancel a read, and so that a write
// does not queue behind a read in progress, as all I/O on a synchronous
// communications handle does.
NativeHandle open(const std::string& name, const LineSettings& line, const SerialTimeouts& timeouts, OpenError& error) {
    const HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
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

// The time-outs were given to the port at open; the driver applies them to
// every transfer.
std::int32_t write(NativeHandle handle, const void* data, std::int32_t length, const SerialTimeouts&) {
    const HANDLE port = toHandle(handle);
    Transfer write;
    if (!write.usable() ||
        !Transfer::underWay(WriteFile(port, data, static_cast<DWORD>(length), nullptr, write.record()))) {
        return 0;
    }
    bool succeeded = false;
    const DWORD written = write.finish(port, succeeded);
    return succeeded ? static_cast<std::int32_t>(written) : 0;
}

std::int32_t read(NativeHandle handle, void* buffer, std::int32_t capacity, const SerialTimeouts&,
                  const ReadCancel& cancel) {
    const HANDLE port = toHandle(handle);
    const HANDLE cancelEvent = cancel.native().event;
    if (isRaised(cancelEvent) || clearLineErrors(port) == 0) {
        return 0;
    }
    Transfer read;
    if (!read.usable() ||
        !Transfer::underWay(ReadFile(port, buffer, static_cast<DWORD>(capacity), nullptr, read.record()))) {
        clearLineErrors(port);
        return 0;
    }
    awaitReadOrCancel(port, read, cancelEvent);
    bool succeeded = false;
    const DWORD received = read.finish(port, succeeded);
    if (!succeeded) {
        clearLineErrors(port);
    }
    return static_cast<std::int32_t>(received);
}

}  // namespace device
}  // namespace quorvane
