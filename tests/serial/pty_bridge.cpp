// Lets a Windows test program under Wine talk to a scripted device: maps a
// free COM port of the Wine prefix to a fresh pseudo-terminal, relays the
// pty's bytes to and from one loopback TCP connection at a time, and runs the
// test program with QUORVANE_BRIDGE_COM (the COM number) and
// QUORVANE_BRIDGE_TCP (the TCP port) in its environment.
//
// usage: pty_bridge WINE_RUN WINEPREFIX PROGRAM [ARGS...]
//   (WINE_RUN WINEPREFIX is how scripts/wine-run.sh is called)

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pty.h"

namespace {

// Above the ports Wine maps to the machine's own serial devices.
constexpr int kFirstComNumber = 100;
constexpr int kLastComNumber = 999;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "pty_bridge: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(125);
}

pid_t spawn(char* const* command) {
    const pid_t child = fork();
    if (child < 0) {
        fail("fork");
    }
    if (child == 0) {
        execvp(command[0], command);
        std::fprintf(stderr, "pty_bridge: cannot run %s: %s\n", command[0], std::strerror(errno));
        _exit(127);
    }
    return child;
}

// The first Wine program of a new prefix creates it; dosdevices appears then.
std::string dosDevicesFolder(const char* wineRun, const char* winePrefix) {
    const std::string folder = std::string(winePrefix) + "/dosdevices";
    struct stat status {};
    if (stat(folder.c_str(), &status) != 0) {
        char* const prepare[] = {const_cast<char*>(wineRun), const_cast<char*>(winePrefix), const_cast<char*>("cmd"),
                                 const_cast<char*>("/c"),    const_cast<char*>("exit"),     nullptr};
        const pid_t child = spawn(prepare);
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    return folder;
}

bool linkIsFree(const std::string& link) {
    struct stat status {};
    if (lstat(link.c_str(), &status) != 0) {
        return true;
    }
    // A link left by a bridge that was killed points at a pty that is gone.
    return stat(link.c_str(), &status) != 0 && unlink(link.c_str()) == 0;
}

// Returns the COM number now mapped to `target`; bridges running side by side
// take turns under a lock on the folder.
int claimComPort(const std::string& folder, const std::string& target, std::string& link) {
    const int lock = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) {
        fail("lock " + folder);
    }
    for (int number = kFirstComNumber; number <= kLastComNumber; ++number) {
        link = folder + "/com" + std::to_string(number);
        if (linkIsFree(link) && symlink(target.c_str(), link.c_str()) == 0) {
            close(lock);
            return number;
        }
    }
    fail("no free COM port in " + folder);
}

int listenOnLoopback(int& port) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 4) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        fail("listen on loopback");
    }
    port = ntohs(address.sin_port);
    return listener;
}

// Moves what `from` has to `to`; false when `from` has closed. With no
// connection (to < 0) the bytes are dropped, as a line with nobody on it would.
bool relay(int from, int to) {
    char buffer[4096];
    const ssize_t count = read(from, buffer, sizeof buffer);
    if (count <= 0) {
        return count < 0 && (errno == EAGAIN || errno == EINTR);
    }
    for (ssize_t done = 0; to >= 0 && done < count;) {
        const ssize_t written = write(to, buffer + done, static_cast<std::size_t>(count - done));
        if (written > 0) {
            done += written;
        } else if (errno != EAGAIN && errno != EINTR) {
            return false;
        }
    }
    return true;
}

int acceptDevice(int listener, int master) {
    const int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    int noDelay = 1;
    setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    tcflush(master, TCIOFLUSH);
    return connection;
}

int exitStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int relayUntilExit(pid_t child, int master, int listener) {
    int connection = -1;
    for (;;) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            return exitStatus(status);
        }
        pollfd watched[] = {{master, POLLIN, 0}, {listener, POLLIN, 0}, {connection, POLLIN, 0}};
        if (poll(watched, 3, 50) <= 0) {
            continue;
        }
        if (watched[0].revents & POLLIN) {
            relay(master, connection);
        }
        if (watched[1].revents & POLLIN) {
            if (connection >= 0) {
                close(connection);
            }
            connection = acceptDevice(listener, master);
        }
        if ((watched[2].revents & (POLLIN | POLLHUP)) && !relay(connection, master)) {
            close(connection);
            connection = -1;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: pty_bridge WINE_RUN WINEPREFIX PROGRAM [ARGS...]\n");
        return 125;
    }
    signal(SIGPIPE, SIG_IGN);
    quorvane::testing::Pty pty;
    std::string link;
    const int comNumber = claimComPort(dosDevicesFolder(argv[1], argv[2]), pty.slavePath(), link);
    int tcpPort = 0;
    const int listener = listenOnLoopback(tcpPort);
    setenv("QUORVANE_BRIDGE_COM", std::to_string(comNumber).c_str(), 1);
    setenv("QUORVANE_BRIDGE_TCP", std::to_string(tcpPort).c_str(), 1);
    const pid_t child = spawn(argv + 1);
    const int status = relayUntilExit(child, pty.master(), listener);
    unlink(link.c_str());
    return status;
}
