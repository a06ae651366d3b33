#include "platform/shell.h"

#include <algorithm>

#include "platform/shell_os.h"

namespace quorvane::platform {

namespace {

// cmd.exe takes a quoted PATH entry ("C:\a;b") as one folder.
std::string withoutQuotes(const std::string& folder) {
    if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') {
        return folder.substr(1, folder.size() - 2);
    }
    return folder;
}

std::string pathInFolder(const std::string& folder, const std::string& name) {
    const bool separated = folder.back() == kFolderSeparator || folder.back() == '/';
    return separated ? folder + name : folder + kFolderSeparator + name;
}

}  // namespace

int runCommandLine(const std::string& commandLine, CommandErrors errors) {
    return *runCommandLineUnless(commandLine, {}, errors);
}

bool commandSucceeded(int systemResult) {
    return systemResult != -1 && exitStatusOf(systemResult) == 0;
}

void prependToSearchPath(const std::string& firstFolder, const std::string& secondFolder) {
    std::string path;
    for (const std::string* folder : {&firstFolder, &secondFolder}) {
        if (!folder->empty()) {
            path += *folder + kSearchPathSeparator;
        }
    }
    replaceSearchPath(path + inheritedSearchPath());
}

std::vector<std::string> searchPathFolders() {
    const std::string path = inheritedSearchPath();
    std::vector<std::string> folders;
    std::string::size_type start = 0;
    while (start <= path.size()) {
        const auto end = std::min(path.find(kSearchPathSeparator, start), path.size());
        const std::string folder = withoutQuotes(path.substr(start, end - start));
        if (!folder.empty()) {
            folders.push_back(folder);
        }
        start = end + 1;
    }
    return folders;
}

std::string folderHoldingProgram(const std::string& program, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        if (isProgramFile(pathInFolder(folder, program))) {
            return folder;
        }
    }
    return {};
}

}  // namespace quorvane::platform
