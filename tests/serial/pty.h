#pragma once

#include <string>

namespace quorvane {
namespace testing {

// A raw pseudo-terminal pair. The device side uses the master; the port under
// test opens the slave path. A slave descriptor is kept open as well, so the
// line stays up while the port under test is closed and reopened.
class Pty {
public:
    Pty();
    ~Pty();

    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int master() const { return master_; }
    int slave() const { return slave_; }
    const std::string& slavePath() const { return slavePath_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace testing
}  // namespace quorvane
