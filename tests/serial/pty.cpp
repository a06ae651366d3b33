#include "pty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace quorvane {
namespace testing {
namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
    }
}

}  // namespace

Pty::Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    check(master_ >= 0, "posix_openpt");
    check(grantpt(master_) == 0 && unlockpt(master_) == 0, "unlockpt");
    char path[128] = {};
    check(ptsname_r(master_, path, sizeof path) == 0, "ptsname_r");
    slavePath_ = path;
    slave_ = open(path, O_RDWR | O_NOCTTY);
    check(slave_ >= 0, "open pty slave");
    // Raw from the start, so nothing the device writes before the port opens
    // is echoed back to it.
    termios settings{};
    check(tcgetattr(slave_, &settings) == 0, "tcgetattr");
    cfmakeraw(&settings);
    check(tcsetattr(slave_, TCSANOW, &settings) == 0, "tcsetattr");
    check(fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK) == 0, "fcntl");
}

Pty::~Pty() {
    close(slave_);
    close(master_);
}

}  // namespace testing
}  // namespace quorvane
