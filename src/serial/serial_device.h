#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quorvane {

// The port's time-outs in the form of the Windows COMMTIMEOUTS record, field
// for field, in milliseconds. An inter-byte value of 0 means no inter-byte
// limit; a multiplier and constant both 0 mean no total limit. A read ends
// at the latest 2000 ms after it began, so a device that keeps talking cannot
// hold its acknowledgements back until 1024 bytes have gathered.
struct SerialTimeouts {
    std::uint32_t readIntervalMs = 1000;
    std::uint32_t readTotalMultiplierMs = 0;
    std::uint32_t readTotalConstantMs = 2000;
    std::uint32_t writeTotalMultiplierMs = 500;
    std::uint32_t writeTotalConstantMs = 2000;
};

// The line codes SerialPort::open takes. Parity follows the Windows DCB's
// numbering, so on Windows it goes into the line record unchanged.
constexpr std::uint8_t kNoParity = 0;
constexpr std::uint8_t kOddParity = 1;
constexpr std::uint8_t kEvenParity = 2;
constexpr std::uint8_t kMarkParity = 3;
// Stop bits are counted, with 3 standing for one and a half; the DCB numbers
// them otherwise (0 one, 1 one and a half, 2 two), so Windows maps them.
constexpr std::uint8_t kOneStopBit = 1;
constexpr std::uint8_t kTwoStopBits = 2;
constexpr std::uint8_t kOneAndAHalfStopBits = 3;

enum class OpenFailure { None, Missing, Busy, NoPermission, Other };

// What the system said when a port could not be opened, captured at the call
// that failed.
struct OpenError {
    int code = 0;
    OpenFailure kind = OpenFailure::None;
    std::string description;
};

// The operating system's half of SerialPort, one implementation per OS.
namespace device {

using NativeHandle = std::intptr_t;
constexpr NativeHandle kNoHandle = -1;

struct LineSettings {
    std::uint32_t baudRate;
    std::uint8_t parity;
    std::uint8_t byteSize;
    std::uint8_t stopBits;
};

// Lets any thread end a read in progress on another thread at once. Once
// raised it also turns every later read away at once, until lowered. A read
// waits on it beside the port: a pipe in the same select on POSIX, an event
// in the same wait on Windows.
class ReadCancel {
public:
    ReadCancel();
    ~ReadCancel();

    ReadCancel(const ReadCancel&) = delete;
    ReadCancel& operator=(const ReadCancel&) = delete;

    void raise();
    void lower();

    // What the OS file keeps; defined there.
    struct Native;
    const Native& native() const { return *native_; }

private:
    std::unique_ptr<Native> native_;
};

NativeHandle open(const std::string& name, const LineSettings& line, const SerialTimeouts& timeouts, OpenError& error);
void close(NativeHandle handle);
std::int32_t write(NativeHandle handle, const void* data, std::int32_t length, const SerialTimeouts& timeouts);
// A read that `cancel` ends returns the bytes it had gathered, which may be
// none.
std::int32_t read(NativeHandle handle, void* buffer, std::int32_t capacity, const SerialTimeouts& timeouts,
                  const ReadCancel& cancel);

}  // namespace device
}  // namespace quorvane
