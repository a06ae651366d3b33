#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace quorvane::emulator {

enum class IoStatus { Done, WouldBlock, HungUp, Failed };

struct IoResult {
    std::size_t bytes = 0;
    IoStatus status = IoStatus::Done;
    int error = 0;  // errno of a failed call
};

// The device's end of the serial line: the master of a pseudo-terminal whose
// slave the host opens, or a given tty. Raw 8N1 at 115200, non-blocking.
class SerialPort {
public:
    // Both throw std::runtime_error when the port cannot be set up.
    static std::unique_ptr<SerialPort> openPseudoTerminal();
    static std::unique_ptr<SerialPort> openTty(const std::string& path);

    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    int fd() const { return fd_; }
    // The path the host opens: the pty's slave, or the given tty.
    const std::string& devicePath() const { return devicePath_; }

    IoResult read(char* buffer, std::size_t capacity);
    IoResult write(const char* data, std::size_t size);

    // True while nobody has the other end open (after someone had it open).
    bool hostHasClosed() const;

private:
    SerialPort(int fd, std::string devicePath);

    int fd_;
    std::string devicePath_;
};

// A symlink kept pointing at the current pty, so that the host can be given
// one path that survives the pty being replaced.
class PortLink {
public:
    explicit PortLink(std::string path);
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // Replaces the link in one rename, so the host never sees a half-made one;
    // throws std::runtime_error on failure.
    void pointAt(const std::string& target);
    // Removes the link if this object made it; a link someone else made stays.
    void remove();

    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool ours_ = false;
};

}  // namespace quorvane::emulator
