#include "platform/shell.h"
#include "platform/shell_os.h"

#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace platform {

int exitStatusOf(int systemResult) {
    if (WIFSIGNALED(systemResult)) {
        return 128 + WTERMSIG(systemResult);
    }
    return WEXITSTATUS(systemResult);
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
