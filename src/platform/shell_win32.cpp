#include "platform/shell.h"
#include "platform/shell_os.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace platform {

namespace {

std::string folderOf(const std::string& file) {
    const auto separator = file.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : file.substr(0, separator);
}

}  // namespace

int runCommandLine(const std::string& commandLine) {
    return std::system(commandLine.c_str());
}

int exitStatusOf(int systemResult) {
    return systemResult;
}

bool endedByInterrupt(int systemResult) {
    return static_cast<DWORD>(systemResult) == static_cast<DWORD>(STATUS_CONTROL_C_EXIT);
}

std::string executableDirectory() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    return folderOf(std::string(path, length));
}

std::string currentDirectory() {
    char path[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, path);
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

const char kSearchPathSeparator = ';';

std::string inheritedSearchPath() {
    const char* inherited = std::getenv("PATH");
    return inherited != nullptr ? inherited : "";
}

void replaceSearchPath(const std::string& path) {
    _putenv_s("PATH", path.c_str());
}

}  // namespace platform
