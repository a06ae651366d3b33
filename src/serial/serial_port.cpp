#include "serial/serial_port.h"

namespace quorvane {

SerialPort::SerialPort(const SerialTimeouts& timeouts) : timeouts_(timeouts) {}

SerialPort::~SerialPort() {
    close();
}

bool SerialPort::open(const std::string& name, std::uint32_t baudRate, std::uint8_t parity, std::uint8_t byteSize,
                      std::uint8_t stopBits) {
    OpenError error;
    const device::NativeHandle handle = device::open(name, {baudRate, parity, byteSize, stopBits}, timeouts_, error);
    openError_ = error;
    if (handle == device::kNoHandle) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    handle_ = handle;
    return true;
}

int SerialPort::close() {
    device::NativeHandle handle = device::kNoHandle;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        handle = handle_;
        handle_ = device::kNoHandle;
        released_.wait(lock, [this] { return borrowers_ == 0; });
    }
    if (handle != device::kNoHandle) {
        device::close(handle);
    }
    return 0;
}

std::int32_t SerialPort::write(const void* data, std::int32_t length) {
    const device::NativeHandle handle = borrowHandle();
    if (handle == device::kNoHandle) {
        return 0;
    }
    const std::int32_t written = length > 0 ? device::write(handle, data, length, timeouts_) : 0;
    returnHandle();
    return written;
}

std::int32_t SerialPort::read(void* buffer, std::int32_t capacity) {
    const device::NativeHandle handle = borrowHandle();
    if (handle == device::kNoHandle) {
        return 0;
    }
    const std::int32_t count = capacity > 0 ? device::read(handle, buffer, capacity, timeouts_, readCancel_) : 0;
    returnHandle();
    return count;
}

void SerialPort::cancelReads() {
    readCancel_.raise();
}

void SerialPort::resumeReads() {
    readCancel_.lower();
}

bool SerialPort::isOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return handle_ != device::kNoHandle;
}

const OpenError& SerialPort::lastOpenError() const {
    return openError_;
}

device::NativeHandle SerialPort::borrowHandle() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle_ != device::kNoHandle) {
        ++borrowers_;
    }
    return handle_;
}

void SerialPort::returnHandle() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--borrowers_ == 0) {
        released_.notify_all();
    }
}

}  // namespace quorvane
