#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "serial/serial_device.h"

namespace quorvane {
namespace device {

// A raised ReadCancel holds a byte in this pipe; a read's select watches the
// read end beside the port. The flag spares each read a system call to look
// at the pipe before it begins. Both ends stay -1 when no pipe could be made:
// a read already waiting then runs until its time-outs.
struct ReadCancel::Native {
    std::atomic<bool> raised{false};
    int readEnd = -1;
    int writeEnd = -1;
};

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

#ifdef CMSPAR
constexpr tcflag_t kStickParity = CMSPAR;
#else
constexpr tcflag_t kStickParity = 0;
#endif

struct BaudCode {
    std::uint32_t rate;
    speed_t code;
};

constexpr BaudCode kBaudCodes[] = {
    {1200, B1200},   {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
};

OpenFailure failureKind(int code) {
    switch (code) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return OpenFailure::Missing;
        case EBUSY:
        case EWOULDBLOCK:
            return OpenFailure::Busy;
        case EACCES:
        case EPERM:
            return OpenFailure::NoPermission;
        default:
            return OpenFailure::Other;
    }
}

OpenError openErrorFor(int code) {
    return {code, failureKind(code), std::strerror(code)};
}

bool findBaudCode(std::uint32_t rate, speed_t& code) {
    const auto* found = std::find_if(std::begin(kBaudCodes), std::end(kBaudCodes),
                                     [rate](const BaudCode& entry) { return entry.rate == rate; });
    if (found == std::end(kBaudCodes)) {
        return false;
    }
    code = found->code;
    return true;
}

tcflag_t parityFlags(std::uint8_t parity) {
    switch (parity) {
        case kOddParity:
            return PARENB | PARODD;
        case kEvenParity:
            return PARENB;
        case kMarkParity:
            return PARENB | PARODD | kStickParity;
        default:
            return 0;
    }
}

// Two stop bits also stand for one and a half: a UART gives 1.5 stop bits when
// asked for two with 5-bit characters, the only size where 1.5 exists.
tcflag_t stopBitFlags(std::uint8_t stopBits) {
    return stopBits == kTwoStopBits || stopBits == kOneAndAHalfStopBits ? CSTOPB : 0;
}

bool lineSupported(const LineSettings& line) {
    const bool markParityMissing = line.parity == kMarkParity && kStickParity == 0;
    return line.byteSize >= 5 && line.byteSize <= 8 && !markParityMissing;
}

// Returns 0 or the errno of the step that failed.
int configureLine(int fd, const LineSettings& line) {
    constexpr tcflag_t kCharacterSizes[] = {CS5, CS6, CS7, CS8};
    speed_t speed = B0;
    if (!lineSupported(line) || !findBaudCode(line.baudRate, speed)) {
        return EINVAL;
    }
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return errno;
    }
    cfmakeraw(&settings);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | kStickParity);
    settings.c_cflag |=
        CLOCAL | CREAD | kCharacterSizes[line.byteSize - 5] | parityFlags(line.parity) | stopBitFlags(line.stopBits);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0 ||
        tcsetattr(fd, TCSANOW, &settings) != 0) {
        return errno;
    }
    return 0;
}

// Returns 0 or the errno of the step that failed.
int claimAndConfigure(int fd, const LineSettings& line) {
    if (fd >= FD_SETSIZE) {
        return EMFILE;
    }
    // The advisory lock also turns away root and another copy of the tool,
    // which TIOCEXCL lets through; together they make the port exclusive as
    // on Windows.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return errno;
    }
    // Old kernels and some drivers refuse TIOCEXCL; harmless, as the flock above has claimed the port.
    if (ioctl(fd, TIOCEXCL) != 0 && errno != EINVAL && errno != ENOTTY) {
        return errno;
    }
    return configureLine(fd, line);
}

// The device firmware was made for the Windows line state: DTR and RTS off
// (on many boards they drive the reset and boot pins). A port without modem
// lines (a pseudo-terminal, some adapters) refuses; harmless, it has none.
void dropModemLines(int fd) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &lines);
}

// The total limit of a read or a write as the port's time-outs give it:
// `multiplierMs` per byte plus `constantMs`; both 0 mean no limit.
Clock::time_point totalDeadline(Clock::time_point start, std::uint32_t multiplierMs, std::uint32_t constantMs,
                                std::int32_t bytes) {
    if (multiplierMs == 0 && constantMs == 0) {
        return Clock::time_point::max();
    }
    return start + Milliseconds(std::uint64_t{multiplierMs} * static_cast<std::uint64_t>(bytes) + constantMs);
}

enum class Readiness { Ready, TimedOut, Cancelled, Failed };

// Waits until fd can be read (or written), the deadline passes, or `wake`
// (-1 for none) becomes readable.
Readiness waitFor(int fd, bool forWriting, Clock::time_point deadline, int wake) {
    constexpr std::int64_t kLongestSliceMs = 1000;
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline) {
            return Readiness::TimedOut;
        }
        const std::int64_t remaining =
            std::min<std::int64_t>(std::chrono::ceil<Milliseconds>(deadline - now).count(), kLongestSliceMs);
        timeval timeout{static_cast<time_t>(remaining / 1000), static_cast<suseconds_t>((remaining % 1000) * 1000)};
        fd_set readable;
        fd_set writable;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_SET(fd, forWriting ? &writable : &readable);
        if (wake >= 0) {
            FD_SET(wake, &readable);
        }
        const int ready = select(std::max(fd, wake) + 1, &readable, &writable, nullptr, &timeout);
        if (ready > 0) {
            return wake >= 0 && FD_ISSET(wake, &readable) ? Readiness::Cancelled : Readiness::Ready;
        }
        if (ready < 0 && errno != EINTR) {
            return Readiness::Failed;
        }
    }
}

class BurstDeadline {
public:
    BurstDeadline(const SerialTimeouts& timeouts, std::int32_t capacity)
        : intervalMs_(timeouts.readIntervalMs),
          lastByte_(Clock::now()),
          total_(totalDeadline(lastByte_, timeouts.readTotalMultiplierMs, timeouts.readTotalConstantMs, capacity)) {}

    void byteArrived() { lastByte_ = Clock::now(); }

    Clock::time_point next() const {
        if (intervalMs_ == 0) {
            return total_;
        }
        return std::min(total_, lastByte_ + Milliseconds(intervalMs_));
    }

private:
    std::uint32_t intervalMs_;
    Clock::time_point lastByte_;
    Clock::time_point total_;
};

void setDescriptorFlags(int fd) {
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(fd, F_SETFL, O_NONBLOCK);
}

bool shouldWait(ssize_t result) {
    return result < 0 && (errno == EAGAIN || errno == EINTR);
}

}  // namespace

// select cannot watch a descriptor at or above FD_SETSIZE, so such a pipe is
// given back at once.
ReadCancel::ReadCancel() : native_(std::make_unique<Native>()) {
    int ends[2];
    if (pipe(ends) != 0) {
        return;
    }
    if (ends[0] >= FD_SETSIZE) {
        ::close(ends[0]);
        ::close(ends[1]);
        return;
    }
    setDescriptorFlags(ends[0]);
    setDescriptorFlags(ends[1]);
    native_->readEnd = ends[0];
    native_->writeEnd = ends[1];
}

ReadCancel::~ReadCancel() {
    if (native_->readEnd >= 0) {
        ::close(native_->readEnd);
        ::close(native_->writeEnd);
    }
}

void ReadCancel::raise() {
    if (native_->raised.exchange(true) || native_->writeEnd < 0) {
        return;
    }
    const char byte = 1;
    ssize_t written = 0;
    do {
        written = ::write(native_->writeEnd, &byte, 1);
    } while (written < 0 && errno == EINTR);
}

void ReadCancel::lower() {
    if (!native_->raised.exchange(false) || native_->readEnd < 0) {
        return;
    }
    char drained[64];
    ssize_t count = 0;
    do {
        count = ::read(native_->readEnd, drained, sizeof drained);
    } while (count > 0 || (count < 0 && errno == EINTR));
}

NativeHandle open(const std::string& name, const LineSettings& line, const SerialTimeouts&, OpenError& error) {
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = openErrorFor(errno);
        return kNoHandle;
    }
    const int failure = claimAndConfigure(fd, line);
    if (failure != 0) {
        ::close(fd);
        error = openErrorFor(failure);
        return kNoHandle;
    }
    dropModemLines(fd);
    tcflush(fd, TCIOFLUSH);
    return fd;
}

void close(NativeHandle handle) {
    const int fd = static_cast<int>(handle);
    ioctl(fd, TIOCNXCL);
    ::close(fd);
}

std::int32_t write(NativeHandle handle, const void* data, std::int32_t length, const SerialTimeouts& timeouts) {
    const int fd = static_cast<int>(handle);
    const auto deadline =
        totalDeadline(Clock::now(), timeouts.writeTotalMultiplierMs, timeouts.writeTotalConstantMs, length);
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::int32_t written = 0;
    while (written < length) {
        const ssize_t result = ::write(fd, bytes + written, static_cast<std::size_t>(length - written));
        if (result > 0) {
            written += static_cast<std::int32_t>(result);
        } else if (!shouldWait(result) || waitFor(fd, true, deadline, -1) != Readiness::Ready) {
            break;
        }
    }
    return written;
}

std::int32_t read(NativeHandle handle, void* buffer, std::int32_t capacity, const SerialTimeouts& timeouts,
                  const ReadCancel& cancel) {
    const int fd = static_cast<int>(handle);
    int waiting = 0;
    if (cancel.native().raised || ioctl(fd, FIONREAD, &waiting) != 0 || waiting <= 0) {
        return 0;
    }
    BurstDeadline deadline(timeouts, capacity);
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::int32_t count = 0;
    bool readableSaysSelect = false;
    while (count < capacity) {
        const ssize_t result = ::read(fd, bytes + count, static_cast<std::size_t>(capacity - count));
        if (result > 0) {
            count += static_cast<std::int32_t>(result);
            deadline.byteArrived();
            readableSaysSelect = false;
            continue;
        }
        // With VMIN and VTIME 0 an empty line reads 0 bytes; after select said
        // the line is readable, 0 bytes means it was hung up.
        const bool hungUp = result == 0 && readableSaysSelect;
        if (hungUp || (result < 0 && errno != EAGAIN && errno != EINTR)) {
            break;
        }
        readableSaysSelect = waitFor(fd, false, deadline.next(), cancel.native().readEnd) == Readiness::Ready;
        if (!readableSaysSelect) {
            break;
        }
    }
    return count;
}

}  // namespace device
}  // namespace quorvane
