#include "platform/files.h"

#include <unistd.h>

#include <cerrno>

namespace quorvane::platform {

bool deleteFile(const char* path) {
    return unlink(path) == 0;
}

int readAccessError(const std::string& path) {
    return access(path.c_str(), R_OK) == 0 ? 0 : errno;
}

}  // namespace quorvane::platform
