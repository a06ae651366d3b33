#include "device_emulator/serial_port.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quorvane::emulator {

namespace {

std::runtime_error systemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Raw bytes both ways: no echo of the host's lines back to it, no CR/LF
// translation, no signals from control characters.
void makeRaw(int fd, const std::string& name) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        throw systemError("cannot read the line settings of " + name);
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        throw systemError("cannot set raw 115200 8N1 on " + name);
    }
}

void makeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

IoStatus statusOfError(int error) {
    switch (error) {
        case EAGAIN:
        case EINTR:
            return IoStatus::WouldBlock;
        case EIO:
            return IoStatus::HungUp;
        default:
            return IoStatus::Failed;
    }
}

}  // namespace

std::unique_ptr<SerialPort> SerialPort::openPseudoTerminal() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        throw systemError("cannot open a pseudo-terminal");
    }
    std::unique_ptr<SerialPort> port(new SerialPort(master, ""));
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        throw systemError("cannot unlock the pseudo-terminal");
    }
    const char* slave = ptsname(master);
    if (slave == nullptr) {
        throw systemError("cannot name the pseudo-terminal");
    }
    port->devicePath_ = slave;
    makeRaw(master, port->devicePath_);
    makeNonBlocking(master);
    return port;
}

std::unique_ptr<SerialPort> SerialPort::openTty(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        throw systemError("cannot open " + path);
    }
    std::unique_ptr<SerialPort> port(new SerialPort(fd, path));
    makeRaw(fd, path);
    makeNonBlocking(fd);
    return port;
}

SerialPort::SerialPort(int fd, std::string devicePath) : fd_(fd), devicePath_(std::move(devicePath)) {}

SerialPort::~SerialPort() {
    close(fd_);
}

IoResult SerialPort::read(char* buffer, std::size_t capacity) {
    const ssize_t count = ::read(fd_, buffer, capacity);
    if (count > 0) {
        return {static_cast<std::size_t>(count), IoStatus::Done, 0};
    }
    if (count == 0) {
        return {0, IoStatus::HungUp, 0};
    }
    return {0, statusOfError(errno), errno};
}

IoResult SerialPort::write(const char* data, std::size_t size) {
    const ssize_t count = ::write(fd_, data, size);
    if (count >= 0) {
        return {static_cast<std::size_t>(count), IoStatus::Done, 0};
    }
    return {0, statusOfError(errno), errno};
}

bool SerialPort::hostHasClosed() const {
    pollfd entry{fd_, POLLIN, 0};
    return poll(&entry, 1, 0) == 1 && (entry.revents & POLLHUP) != 0;
}

PortLink::PortLink(std::string path) : path_(std::move(path)) {}

PortLink::~PortLink() {
    remove();
}

void PortLink::pointAt(const std::string& target) {
    struct stat existing {};
    if (lstat(path_.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        throw std::runtime_error(path_ + " exists and is not a symlink; not replacing it");
    }
    const std::string fresh = path_ + ".new-" + std::to_string(getpid());
    unlink(fresh.c_str());
    if (symlink(target.c_str(), fresh.c_str()) != 0) {
        throw systemError("cannot create the link " + fresh);
    }
    if (rename(fresh.c_str(), path_.c_str()) != 0) {
        const std::runtime_error error = systemError("cannot move the link to " + path_);
        unlink(fresh.c_str());
        throw error;
    }
    ours_ = true;
}

void PortLink::remove() {
    struct stat existing {};
    if (ours_ && lstat(path_.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
        unlink(path_.c_str());
    }
    ours_ = false;
}

}  // namespace quorvane::emulator
