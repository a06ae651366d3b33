#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "serial/serial_device.h"

namespace quorvane {

// Wraps one serial port: raw 8-bit traffic, fixed time-outs, one burst per
// read. open and close belong to one thread; read and write may run on two
// other threads at the same time, and close waits until they have let go of
// the port, so no thread ever works on a closed (and maybe reused) handle.
class SerialPort {
public:
    explicit SerialPort(const SerialTimeouts& timeouts = SerialTimeouts());
    ~SerialPort();

    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // parity: kOddParity, kEvenParity, kMarkParity, any other none. stopBits:
    // kTwoStopBits, kOneAndAHalfStopBits, any other one. On failure the port
    // stays closed and lastOpenError() says why.
    bool open(const std::string& name, std::uint32_t baudRate, std::uint8_t parity, std::uint8_t byteSize,
              std::uint8_t stopBits);
    int close();

    // Bytes written (fewer than length when the write time-out ran out), 0 on
    // failure.
    std::int32_t write(const void* data, std::int32_t length);

    // 0 at once when nothing is waiting; otherwise gathers one burst: returns
    // when capacity bytes have arrived, when no byte followed the last one for
    // the inter-byte time-out, or when the total time-out has run out.
    std::int32_t read(void* buffer, std::int32_t capacity);

    // Ends a read in progress at once (it returns what it had gathered, maybe
    // nothing) and makes every later read return 0 at once, until
    // resumeReads. Callable from any thread; open and close leave it as it is.
    void cancelReads();
    void resumeReads();

    bool isOpen() const;

    // Why the last open failed; read it on the thread that called open.
    const OpenError& lastOpenError() const;

private:
    device::NativeHandle borrowHandle();
    void returnHandle();

    const SerialTimeouts timeouts_;
    device::ReadCancel readCancel_;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    device::NativeHandle handle_ = device::kNoHandle;
    int borrowers_ = 0;
    OpenError openError_;
};

// The name under which port number `port` is opened; empty for 0 and below.
std::string serialPortName(int port);

}  // namespace quorvane
