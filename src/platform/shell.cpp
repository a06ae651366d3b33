#include "platform/shell.h"

#include "platform/shell_os.h"

namespace platform {

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

}  // namespace platform
