#include "platform/files.h"

#include <unistd.h>

namespace quorvane::platform {

bool deleteFile(const char* path) {
    return unlink(path) == 0;
}

}  // namespace quorvane::platform
