#include "platform/shell.h"

#include <cstdlib>

namespace platform {

int runCommandLine(const std::string& commandLine) {
    return std::system(commandLine.c_str());
}

}  // namespace platform
