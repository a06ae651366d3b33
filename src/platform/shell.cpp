#include "platform/shell.h"

#include <cstdlib>

namespace platform {

int runCommandLine(const std::string& commandLine) {
    return std::system(commandLine.c_str());
}

bool commandSucceeded(int systemResult) {
    return systemResult != -1 && exitStatusOf(systemResult) == 0;
}

}  // namespace platform
