#include "platform/shell.h"
#include "platform/shell_os.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <string>

extern char** environ;

namespace platform {

// The shell is started directly rather than through std::system, which
// ignores SIGINT in the whole program while the command runs: a Ctrl-C during
// a conversion would be lost. The result is encoded as system()'s.
int runCommandLine(const std::string& commandLine) {
    const char* const arguments[] = {"sh", "-c", commandLine.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(arguments), environ) != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(child, &status, 0) == -1) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return status;
}

int exitStatusOf(int systemResult) {
    if (WIFSIGNALED(systemResult)) {
        return 128 + WTERMSIG(systemResult);
    }
    return WEXITSTATUS(systemResult);
}

// The shell either dies of the SIGINT itself or reports its command's death
// as 128 + SIGINT.
bool endedByInterrupt(int systemResult) {
    return systemResult != -1 && exitStatusOf(systemResult) == 128 + SIGINT;
}

std::string executableDirectory() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return {};
    }
    const std::string executable(path, static_cast<size_t>(length));
    const auto slash = executable.rfind('/');
    return slash == std::string::npos ? std::string() : executable.substr(0, slash);
}

std::string currentDirectory() {
    char path[PATH_MAX] = {};
    return getcwd(path, sizeof path) != nullptr ? std::string(path) : std::string();
}

const char kSearchPathSeparator = ':';

std::string inheritedSearchPath() {
    const char* inherited = std::getenv("PATH");
    return inherited != nullptr ? inherited : "/usr/local/bin:/usr/bin:/bin";
}

void replaceSearchPath(const std::string& path) {
    setenv("PATH", path.c_str(), 1);
}

}  // namespace platform
