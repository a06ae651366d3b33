#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/diagnostics.h"
#include "platform/shell.h"
#include "platform/shell_os.h"

extern char** environ;

namespace quorvane::platform {

namespace {

// A child that may be given up is looked at after 1 ms, then at doubling
// intervals up to the longest: a quick command is seen ending at once, a
// slow one costs a look every few tens of milliseconds.
constexpr std::chrono::milliseconds kFirstLook{1};
constexpr std::chrono::milliseconds kLongestLook{32};

// Owns the spawn's file actions for the length of one call.
class SpawnFileActions {
public:
    SpawnFileActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;

    void discardErrors() { posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0); }
    const posix_spawn_file_actions_t* get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

int waitForChild(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) == -1) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return status;
}

// The child's status, or nothing once `stopWaiting` said so while it ran.
std::optional<int> waitForChildUnless(pid_t child, const StopWaiting& stopWaiting) {
    for (auto interval = kFirstLook;; interval = std::min(interval * 2, kLongestLook)) {
        int status = 0;
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child) {
            return status;
        }
        if (ended == -1 && errno != EINTR) {
            return -1;
        }
        if (stopWaiting()) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(interval);
    }
}

}  // namespace

// The shell is started directly rather than through std::system, which
// ignores SIGINT in the whole program while the command runs: a Ctrl-C during
// a conversion would be lost. The result is encoded as system()'s.
std::optional<int> runCommandLineUnless(const std::string& commandLine, const StopWaiting& stopWaiting,
                                        CommandErrors errors) {
    // What this program said before comes before what the command says.
    flushConsole();
    const char* const arguments[] = {"sh", "-c", commandLine.c_str(), nullptr};
    SpawnFileActions actions;
    if (errors == CommandErrors::Discarded) {
        actions.discardErrors();
    }
    pid_t child = 0;
    if (posix_spawn(&child, "/bin/sh", actions.get(), nullptr, const_cast<char* const*>(arguments), environ) != 0) {
        return -1;
    }
    return stopWaiting ? waitForChildUnless(child, stopWaiting) : waitForChild(child);
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
const char kFolderSeparator = '/';

std::string inheritedSearchPath() {
    const char* inherited = std::getenv("PATH");
    return inherited != nullptr ? inherited : "/usr/local/bin:/usr/bin:/bin";
}

void replaceSearchPath(const std::string& path) {
    setenv("PATH", path.c_str(), 1);
}

bool isProgramFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace quorvane::platform
